// Tables we write, read by independent tools; tables they write, read by us.
// Skipped where the tools are not installed.
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

#include "engine/daynum.h"
#include "engine/table.h"
#include "tests/support/test_paths.h"

using namespace tarnel;
using tarnel::test::ScratchDir;

namespace {

const char* kPython = "/usr/bin/python3";

std::string RunCommand(const std::string& command)
{
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return out;
    std::array<char, 4096> buf;
    while (size_t n = fread(buf.data(), 1, buf.size(), p)) out.append(buf.data(), n);
    pclose(p);
    return out;
}

bool HasPythonModule(const char* module)
{
    return std::filesystem::exists(kPython) &&
           RunCommand(std::string(kPython) + " -c 'import " + module + "; print(1)' 2>/dev/null") == "1\n";
}

void WriteSurvey(Table& t, const std::string& folder, const std::string& name, TableType type)
{
    t.setDatabaseName(folder);
    t.setTableName(name);
    t.setTableType(type);
    t.addFieldDef("STATION", ftString, 12);
    t.addFieldDef("DEPTH", ftFloat, 10, false, 2);
    t.addFieldDef("COUNT", ftInteger, 0);
    t.addFieldDef("SURVEYED", ftDate, 0);
    t.addFieldDef("FLAG", ftBoolean, 0);
    t.addFieldDef("NOTE", ftMemo, 0);
    t.createTable();
    t.open();
    const char* stations[] = {"A1", "Grotte É", "B12"};
    for (int k = 0; k < 3; ++k) {
        t.append();
        t.setText(0, stations[k]);
        t.setValue(1, Value::real(10.25 * (k + 1)));
        t.setValue(2, Value::integer(k * 100 - 5));
        t.setValue(3, Value::integer(DayNumber(2000, 7, 18 + k)));
        t.setValue(4, Value::integer(k % 2));
        t.setText(5, k == 1 ? std::string(1500, 'm') + " end" : "note " + std::to_string(k));
        t.post();
    }
    t.moveTo(2);
    t.edit();
    t.setText(5, "rewritten note");
    t.post();
    t.close();
}

} // namespace

TEST(DbfInterop, TablesWeWriteReadBackIdenticallyInDbfread)
{
    if (!HasPythonModule("dbfread")) GTEST_SKIP() << "python3-dbfread is not installed";
    for (TableType type : {TableType::dBASE, TableType::FoxPro}) {
        ScratchDir dir;
        Table t;
        WriteSurvey(t, dir.path(), "survey.dbf", type);
        std::string script =
            "import dbfread\n"
            "for r in dbfread.DBF('" + dir.file("survey.dbf") + "', encoding='cp1252'):\n"
            "    print('|'.join(str(r[k]) if k != 'NOTE' else str(len(r[k])) + ':' + r[k][-4:] for k in "
            "['STATION','DEPTH','COUNT','SURVEYED','FLAG','NOTE']))\n";
        std::string out = RunCommand(std::string(kPython) + " -c \"" + script + "\" 2>&1");
        EXPECT_EQ(out,
                  "A1|10.25|-5|2000-07-18|False|6:te 0\n"
                  "Grotte É|20.5|95|2000-07-19|True|1504: end\n"
                  "B12|30.75|195|2000-07-20|False|14:note\n")
            << "type " << static_cast<int>(type);
    }
}

TEST(DbfInterop, TablesWeWriteOpenInGdal)
{
    if (RunCommand("command -v ogrinfo").empty()) GTEST_SKIP() << "gdal-bin is not installed";
    ScratchDir dir;
    Table t;
    t.setDatabaseName(dir.path());
    t.setTableName("plain.dbf");
    t.addFieldDef("STATION", ftString, 12);
    t.addFieldDef("DEPTH", ftFloat, 10, false, 2);
    t.addFieldDef("SURVEYED", ftDate, 0);
    t.createTable();
    t.open();
    t.append();
    t.setText(0, "A1");
    t.setText(1, "12.5");
    t.setText(2, "2000-07-18");
    t.post();
    t.close();
    std::string out = RunCommand("ogrinfo -ro -al -q '" + dir.file("plain.dbf") + "' 2>&1");
    EXPECT_NE(out.find("STATION (String) = A1"), std::string::npos) << out;
    EXPECT_NE(out.find("DEPTH (Real) = 12.50"), std::string::npos) << out;
    EXPECT_NE(out.find("SURVEYED (Date) = 2000/07/18"), std::string::npos) << out;
}

TEST(DbfInterop, TablesWrittenByPythonDbfReadHere)
{
    if (!HasPythonModule("dbf")) GTEST_SKIP() << "python3-dbf is not installed";
    for (const char* kind : {"db3", "vfp"}) {
        ScratchDir dir;
        std::string script =
            "import dbf, datetime\n"
            "t = dbf.Table('" + dir.file("py.dbf") + "', 'STATION C(10); DEPTH N(8,2); SEEN D; OK L; NOTE M', dbf_type='" +
            kind + "', codepage='cp1252')\n"
            "t.open(mode=dbf.READ_WRITE)\n"
            "t.append(('A1', 12.5, datetime.date(2000,7,18), True, 'first note'))\n"
            "t.append(('B2', -3.75, datetime.date(1999,12,31), False, 'x' * 700))\n"
            "t.close()\n";
        ASSERT_EQ(RunCommand(std::string(kPython) + " -c \"" + script + "\" 2>&1"), "") << kind;
        Table t;
        t.setDatabaseName(dir.path());
        t.setTableName("py.dbf");
        t.setReadOnly(true);
        t.open();
        ASSERT_EQ(t.recordCount(), 2) << kind;
        t.first();
        EXPECT_EQ(t.asText(0), "A1");
        EXPECT_EQ(t.asText(1), "12.5");
        EXPECT_EQ(t.asText(2), "2000-07-18");
        EXPECT_EQ(t.asText(3), "True");
        EXPECT_EQ(t.asText(4), "first note");
        t.next();
        EXPECT_EQ(t.asText(1), "-3.75");
        EXPECT_EQ(t.asText(4), std::string(700, 'x'));
    }
}

TEST(DbfInterop, TablesWrittenByGdalReadHere)
{
    if (RunCommand("command -v ogr2ogr").empty()) GTEST_SKIP() << "gdal-bin is not installed";
    ScratchDir dir;
    {
        std::ofstream csv(dir.file("in.csv"));
        csv << "STATION,DEPTH,NOTE\nA1,12.5,Pool\nB2,-3.25,\"Grotte \xC3\x89, east\"\n";
        std::ofstream types(dir.file("in.csvt"));
        types << "\"String(12)\",\"Real(10.2)\",\"String(40)\"\n";
    }
    RunCommand("cd '" + dir.path() + "' && ogr2ogr -f 'ESRI Shapefile' out.dbf in.csv 2>&1");
    Table t;
    t.setDatabaseName(dir.path());
    t.setTableName("out.dbf");
    t.setReadOnly(true);
    t.open();
    ASSERT_EQ(t.recordCount(), 2);
    EXPECT_EQ(t.fieldByName("DEPTH").type, ftFloat);
    t.last();
    EXPECT_EQ(t.asText(0), "B2");
    EXPECT_EQ(t.asText(1), "-3.25");
    EXPECT_EQ(t.asText(2), "Grotte \xC3\x89, east");
}
