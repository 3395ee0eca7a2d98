#pragma once
// Surveys for the viewer's tests: written as survey data, processed by the
// survey-data tool's own `cavern`, and read back with `dump3d` for comparison.
#include <QProcess>
#include <QString>
#include <QStringList>
#include <fstream>
#include <string>

#include "tests/support/test_paths.h"

namespace tarnel::test {

// Writes `svx` as NAME.svx in `dir` and processes it; returns the .3d path,
// or an empty text (after a test failure) when cavern fails.
inline std::string ProcessSurvey(const ScratchDir& dir, const std::string& name, const std::string& svx)
{
    std::string source = dir.file(name + ".svx"), output = dir.file(name + ".3d");
    std::ofstream(source) << svx;
    QProcess cavern;
    cavern.setWorkingDirectory(QString::fromStdString(dir.path()));
    cavern.start(QStringLiteral("cavern"), {QStringLiteral("--output=") + QString::fromStdString(output),
                                            QString::fromStdString(source)});
    if (!cavern.waitForFinished(30000) || cavern.exitCode() != 0) {
        ADD_FAILURE() << "cavern failed (is the survex package installed?): "
                      << cavern.readAllStandardError().toStdString() << cavern.readAllStandardOutput().toStdString();
        return {};
    }
    return output;
}

inline QString Dump3d(const std::string& path, const QStringList& options = {})
{
    QProcess dump;
    dump.start(QStringLiteral("dump3d"), options + QStringList{QString::fromStdString(path)});
    if (!dump.waitForFinished(30000) || dump.exitCode() != 0) {
        ADD_FAILURE() << "dump3d failed on " << path;
        return {};
    }
    return QString::fromUtf8(dump.readAllStandardOutput());
}

// Two surveys of their own inside one cave, each with a station "S1", a fixed
// entrance, a surface leg and splays; used by several tests.
inline const char* kTwoBranchSurvey = R"(*case preserve
*alias station - ..
*begin cave
*fix north.S1 reference 100.00 200.00 50.00
*entrance north.S1
*equate north.S3 south.S1
*begin north
S1 S2 10.00 000 0
S2 S3 10.00 090 0
*end north
*begin south
S1 S2 20.00 180 0
S2 S3 10.00 180 -10
S2 - 2.0 090 0
S2 - 2.0 270 0
*end south
*begin top
*flags surface
T0 T1 15.00 270 5
*end top
*equate north.S1 top.T0
*end cave
)";

} // namespace tarnel::test
