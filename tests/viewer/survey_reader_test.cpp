// The survey reader against the survey-data tool's own dump of the same files,
// and on damaged files.
#include <gtest/gtest.h>

#include <QRegularExpression>
#include <algorithm>
#include <fstream>
#include <sstream>

using namespace std::string_literals;

#include "tests/viewer/survey_files.h"
#include "viewer/station_index.h"
#include "viewer/survey_3d.h"

using tarnel::test::Dump3d;
using tarnel::test::ProcessSurvey;
using tarnel::test::ScratchDir;

namespace {

QString Metres(std::int32_t cm)
{
    return QString::asprintf("%.2f", cm / 100.0);
}

QString Point(const TSurveyPoint& p)
{
    return Metres(p.x) + ' ' + Metres(p.y) + ' ' + Metres(p.z);
}

// The legs and stations as `dump3d -l` prints them, sorted.
QStringList AsDump(const TSurvey& s)
{
    static const char* legFlags[] = {"SURFACE", "DUPLICATE", "SPLAY"};
    static const char* stationFlags[] = {"SURFACE", "UNDERGROUND", "ENTRANCE", "EXPORTED", "FIXED", "ANON", "WALL"};
    static const char* styles[] = {"NORMAL", "DIVING", "CARTESIAN", "CYLPOLAR", "NOSURVEY"};
    QStringList lines;
    for (const TSurveyLeg& leg : s.legs) {
        QString line = QStringLiteral("LEG %1 %2 [%3] STYLE=%4")
                           .arg(Point(leg.from), Point(leg.to), QString::fromStdString(s.surveys[leg.survey]),
                                QLatin1String(styles[leg.style]));
        for (int k = 0; k < 3; ++k)
            if (leg.flags & (1u << k)) line += ' ' + QLatin1String(legFlags[k]);
        lines << line;
    }
    for (const TSurveyStation& st : s.stations) {
        QString line = QStringLiteral("NODE %1 [%2]").arg(Point(st.at), QString::fromStdString(st.name));
        for (int k = 0; k < 7; ++k)
            if (st.flags & (1u << k)) line += ' ' + QLatin1String(stationFlags[k]);
        lines << line;
    }
    lines.sort();
    return lines;
}

QStringList DumpLines(const std::string& path)
{
    QStringList lines;
    for (const QString& line : Dump3d(path, {QStringLiteral("-l")}).split('\n'))
        if (line.startsWith(QLatin1String("LEG ")) || line.startsWith(QLatin1String("NODE "))) lines << line;
    lines.sort();
    return lines;
}

std::string Bytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

TEST(SurveyReader, AgreesWithTheToolsOwnDump)
{
    ScratchDir dir;
    // Nested surveys, a fixed entrance, surface legs, splays to anonymous
    // points, equated stations, a station name used in two surveys, a loop.
    std::string twoBranch = ProcessSurvey(dir, "branches", tarnel::test::kTwoBranchSurvey);
    std::string deep = ProcessSurvey(dir, "deep", R"(*begin a
*begin b
*begin c
*fix 1 0 0 0
1 2 5.5 45 -10
2 3 7.25 135 20
3 1 6.0 300 -5
*data diving from to tape compass fromdepth todepth
3 4 12.0 200 10.0 14.5
*end c
*end b
*end a
)");
    ASSERT_FALSE(twoBranch.empty());
    ASSERT_FALSE(deep.empty());
    for (const std::string& path : {twoBranch, deep}) {
        TSurvey s = ReadSurvey3d(path);
        QStringList expected = DumpLines(path);
        ASSERT_FALSE(expected.isEmpty());
        EXPECT_EQ(AsDump(s), expected) << path;
    }
    TSurvey s = ReadSurvey3d(twoBranch);
    EXPECT_EQ(s.title, "branches");
    EXPECT_EQ(s.timestamp.substr(0, 1), "@");
    EXPECT_TRUE(std::any_of(s.legs.begin(), s.legs.end(), [](auto& l) { return l.flags & lfSplay; }));
    EXPECT_TRUE(std::any_of(s.legs.begin(), s.legs.end(), [](auto& l) { return l.flags & lfSurface; }));
}

TEST(SurveyReader, DamagedAndForeignFilesAreErrorsNamingTheFile)
{
    ScratchDir dir;
    std::string path = ProcessSurvey(dir, "cave", tarnel::test::kTwoBranchSurvey);
    ASSERT_FALSE(path.empty());
    const std::string good = Bytes(path);
    // Cut anywhere before the end marker: always an error, never a crash or a
    // survey with silently missing data.
    for (size_t n = 0; n < good.size(); ++n) {
        try {
            ParseSurvey3d(std::string_view(good).substr(0, n), "cut.3d");
            ADD_FAILURE() << "no error for a file cut at " << n;
        } catch (const TSurveyError& e) {
            EXPECT_EQ(std::string(e.what()).rfind("cut.3d: ", 0), 0u) << e.what();
        }
    }
    // Any byte changed: an error or a survey, nothing worse.
    for (size_t n = 0; n < good.size(); ++n)
        for (unsigned char v : {0x00, 0x2f, 0x7f, 0xff}) {
            std::string bad = good;
            bad[n] = static_cast<char>(v);
            try {
                ParseSurvey3d(bad, "bad.3d");
            } catch (const TSurveyError&) {
            }
        }
    auto message = [](const std::string& bytes) {
        try {
            ParseSurvey3d(bytes, "x.3d");
        } catch (const TSurveyError& e) {
            return std::string(e.what());
        }
        return std::string("(read)");
    };
    EXPECT_EQ(message("Survex 3D Image File\nv7\n"),
              "x.3d: survey file format \"v7\" is not supported (version 8 is needed)");
    EXPECT_NE(message("PK\3\4 not a survey").find("not a survey file"), std::string::npos);
    // A label that takes away more than there is.
    EXPECT_NE(message(good.substr(0, good.find('@')) + "@1\n\0\x80\x31X\0\0\0\0\0\0\0\0\0\0\0\0\0"s)
                  .find("damaged station name"),
              std::string::npos);
    // A name of 5000 characters, then stations that would each copy it.
    std::string header = good.substr(0, good.find('@')) + "@1\n\0"s;
    std::string longName = header + "\x80\0\0\xff"s + std::string("\x88\x13\0\0", 4) + std::string(5000, 'n')
                           + std::string(12, '\0');
    EXPECT_NE(message(longName).find("longer than 4096 characters"), std::string::npos) << message(longName);
    try {
        ReadSurvey3d(dir.file("missing.3d"));
        ADD_FAILURE();
    } catch (const TSurveyError& e) {
        EXPECT_NE(std::string(e.what()).find("missing.3d"), std::string::npos);
    }
}

TEST(StationIndex, FullNameThenUniqueTrailingComponents)
{
    ScratchDir dir;
    std::string path = ProcessSurvey(dir, "cave", tarnel::test::kTwoBranchSurvey);
    ASSERT_FALSE(path.empty());
    TCave cave(ReadSurvey3d(path));
    auto name = [&](const char* ref) {
        TStationMatch m = cave.index.match(ref);
        return m.status == TStationMatch::Found ? cave.survey.stations[m.station].name
               : m.status == TStationMatch::Ambiguous ? "ambiguous " + std::to_string(m.candidates)
                                                      : std::string("unknown");
    };
    EXPECT_EQ(name("cave.north.S2"), "cave.north.S2");
    EXPECT_EQ(name("north.S2"), "cave.north.S2");
    EXPECT_EQ(name("T1"), "cave.top.T1");
    EXPECT_EQ(name("S2"), "ambiguous 2");          // in north and in south
    EXPECT_EQ(name("S1"), "ambiguous 2");
    EXPECT_EQ(name("s2"), "unknown");              // case counts
    EXPECT_EQ(name("rth.S2"), "unknown");          // whole components only
    EXPECT_EQ(name(""), "unknown");
    EXPECT_EQ(name("cave.north.S9"), "unknown");
    // The legs ending at a station, found by its place.
    TStationMatch m = cave.index.match("north.S2");
    EXPECT_EQ(cave.index.legsAt(cave.survey.stations[m.station].at).size(), 2u);
}
