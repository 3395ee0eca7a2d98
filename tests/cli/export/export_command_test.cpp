// tarnel-cli export over a select served from memory: the options, the
// printed stream and the messages.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "cli/export_command.h"
#include "engine/error.h"
#include "query/core/viewer_link.h"
#include "tests/support/memory_dataset.h"
#include "tests/support/test_paths.h"

using namespace tarnel;
using namespace tarnel::cli;
using tarnel::test::Field;
using tarnel::test::MemoryDataSet;

namespace {

struct Outcome {
    int status = -1;
    std::string out, err;
};

struct FakeEngine {
    TSelectFields asked;
    std::string database, sql;
    std::vector<std::string> poked;
    bool linkOpens = true;
    bool pokeGoesOut = true;

    TExportServices services()
    {
        TExportServices s;
        s.buildSelect = [this](const TSelectFields& f) {
            asked = f;
            return std::string("SELECT-STATEMENT");
        };
        s.runSelect = [this](const std::string& db, const std::string& statement) -> std::unique_ptr<DataSet> {
            database = db;
            sql = statement;
            if (asked.condition == "bad") throw EngineError("Invalid use of keyword");
            auto ds = std::make_unique<MemoryDataSet>(std::vector<FieldDef>{
                Field("STATION", ftString), Field("DEPTH", ftFloat)});
            ds->addRow({Value::text("A1"), Value::real(2.5)});
            ds->addRow({Value::text("A2"), Value::real(10)});
            return ds;
        };
        s.makeLink = [this] { return std::make_unique<Link>(*this); };
        return s;
    }

    struct Link : query::TViewerLink {
        explicit Link(FakeEngine& e) : engine(e) {}
        FakeEngine& engine;
        bool openLink(const std::string&, const std::string&) override { return engine.linkOpens; }
        bool poke(const std::string&, const std::vector<std::string>& lines) override
        {
            engine.poked = lines;
            return engine.pokeGoesOut;
        }
        void closeLink() override {}
    };

    Outcome run(const std::vector<std::string>& args)
    {
        std::ostringstream out, err;
        Outcome r;
        r.status = ExportCommand(args, out, err, services());
        r.out = out.str();
        r.err = err.str();
        return r;
    }
};

} // namespace

TEST(ExportCommandTest, PrintsTheStreamOfTheChosenMethod)
{
    FakeEngine engine;
    Outcome r = engine.run({"/data/caves", "historic.dbf", "--feature", "Pools", "--method", "marked",
                        "--station", "STATION", "--number", "DEPTH", "--where", "(DEPTH > 1)"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "#R,Pools,2.5,10\r\n#L,A1,2.5\r\n#L,A2,10\r\n");
    EXPECT_EQ(engine.database, "/data/caves");
    EXPECT_EQ(engine.sql, "SELECT-STATEMENT");
    EXPECT_EQ(engine.asked.tableName, "historic.dbf");
    EXPECT_EQ(engine.asked.stationField, "STATION");
    EXPECT_EQ(engine.asked.secondField, "");
    EXPECT_EQ(engine.asked.numberField, "DEPTH");
    EXPECT_EQ(engine.asked.condition, "(DEPTH > 1)");

    r = engine.run({"db", "t", "--method", "segments", "--station", "station", "--feature", "P"});
    EXPECT_EQ(r.out, "#F,P\r\n#S,A1,0.0\r\n#S,A2,0.0\r\n");
    r = engine.run({"db", "t", "--method", "line", "--station", "STATION", "--feature", "P"});
    EXPECT_EQ(r.out, "#F,P\r\n#M,A1\r\n#D,A2\r\n");
}

TEST(ExportCommandTest, TheSendMessagesAndEngineErrorsFail)
{
    FakeEngine engine;
    Outcome r = engine.run({"db", "t", "--method", "line", "--station", "STATION"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Feature Name not specified\n");
    EXPECT_EQ(r.out, "");

    r = engine.run({"db", "t", "--method", "line", "--feature", "P"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Station Field not specified\n");

    r = engine.run({"db", "t", "--method", "line", "--feature", "P", "--station", "STATION",
                    "--where", "bad"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "tarnel-cli export: Invalid use of keyword\n");

    // A number field that is no number: the conversion error, nothing printed.
    r = engine.run({"db", "t", "--method", "marked", "--feature", "P", "--station", "STATION",
                    "--number", "STATION"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("'A1' is not a valid floating point value"), std::string::npos) << r.err;
}

TEST(ExportCommandTest, WrongUsage)
{
    FakeEngine engine;
    for (std::vector<std::string> args : {
             std::vector<std::string>{"db", "--method", "line"},
             {"db", "t", "--feature", "P", "--station", "S"},
             {"db", "t", "--method", "dots"},
             {"db", "t", "extra", "--method", "line"},
             {"db", "t", "--method", "line", "--colour", "red"},
             {"db", "t", "--method", "line", "--feature"},
         }) {
        Outcome r = engine.run(args);
        EXPECT_EQ(r.status, 2) << args.back();
        EXPECT_NE(r.err.find("usage: tarnel-cli export"), std::string::npos);
    }
    std::ostringstream out, err;
    EXPECT_EQ(ExportCommand({"db", "t", "--method", "line"}, out, err, TExportServices{}), 1);
}

TEST(ExportCommandTest, SendPokesTheSameStream)
{
    FakeEngine engine;
    Outcome r = engine.run({"db", "t", "--method", "line", "--station", "STATION", "--feature", "P",
                        "--send"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(engine.poked, (std::vector<std::string>{"#F,P", "#M,A1", "#D,A2"}));
    EXPECT_EQ(r.out, "Sent 3 lines of feature \"P\" to the viewer\n");

    engine.pokeGoesOut = false;
    r = engine.run({"db", "t", "--method", "line", "--station", "STATION", "--feature", "P", "--send"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "tarnel-cli export: the stream could not be sent to the viewer\n");

    engine.linkOpens = false;
    r = engine.run({"db", "t", "--method", "line", "--station", "STATION", "--feature", "P", "--send"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Unable to connect to Viewer.\r\nThe Viewer must be running.\r\n"
                     "If you are using the 16-bit version,\r\n"
                     "set the \"Use 16-Bit Viewer\" checkbox.\n");
}

TEST(ExportCommandTest, SendWithoutASessionBusFails)
{
    tarnel::test::ScratchDir dir;
    setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + dir.file("none")).c_str(), 1);
    setenv("PATH", dir.path().c_str(), 1);
    FakeEngine engine;
    TExportServices services = engine.services();
    services.makeLink = nullptr;   // the real D-Bus link
    std::ostringstream out, err;
    EXPECT_EQ(ExportCommand({"db", "t", "--method", "line", "--station", "STATION", "--feature", "P",
                             "--send"},
                            out, err, services),
              1);
    EXPECT_NE(err.str().find("Unable to connect to Viewer."), std::string::npos);
}
