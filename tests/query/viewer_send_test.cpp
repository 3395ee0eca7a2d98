// "Send To Viewer": the order of its steps, its messages and its clean-up,
// against a link that records what it is asked.
#include <gtest/gtest.h>

#include <QLocale>

#include "engine/error.h"
#include "query/core/locale_separators.h"
#include "query/core/viewer_send.h"
#include "tests/support/memory_dataset.h"

using namespace tarnel;
using namespace tarnel::query;
using tarnel::test::Field;
using tarnel::test::MemoryDataSet;

namespace {

class RecordingLink : public TViewerLink {
public:
    explicit RecordingLink(MemoryDataSet* watched = nullptr) : watched_(watched) {}
    bool openResult = true;
    std::vector<std::string> calls;
    TLineList poked;
    QChar decimalAtPoke;
    bool viewsDisabledAtPoke = false;

    bool openLink(const std::string& service, const std::string& topic) override
    {
        calls.push_back("open " + service + " " + topic);
        return openResult;
    }
    bool poke(const std::string& item, const std::vector<std::string>& lines) override
    {
        calls.push_back("poke " + item);
        poked = lines;
        decimalAtPoke = DecimalSeparator();
        if (watched_) viewsDisabledAtPoke = watched_->viewsDisabled();
        return false;   // a failed poke is not reported
    }
    void closeLink() override { calls.push_back("close"); }

private:
    MemoryDataSet* watched_;
};

MemoryDataSet PoolsResult()
{
    MemoryDataSet ds({Field("STATION", ftString), Field("DEPTH", ftFloat), Field("NOTE", ftString)});
    ds.addRow({Value::text("A1"), Value::real(2.5), Value::text("dry")});
    ds.addRow({Value::text("A2"), Value::real(10), Value::text("")});
    return ds;
}

struct Send {
    MemoryDataSet result = PoolsResult();
    TViewerSendRequest request;
    std::vector<std::string> messages;

    Send()
    {
        request.result = &result;
        request.availableFields = {"STATION", "DEPTH", "NOTE"};
        request.stationFieldName = "STATION";
        request.numberFieldName = "DEPTH";
        request.featureName = "Pools";
        request.userLocale = QLocale(QLocale::German, QLocale::Germany);
    }
    bool run(TViewerLink& link)
    {
        return UseResultSend(request, link, [this](const std::string& m) { messages.push_back(m); });
    }
};

class ViewerSendTest : public ::testing::Test {
protected:
    void TearDown() override { SetLocaleSeparators(true, QLocale::c()); }
};

} // namespace

TEST_F(ViewerSendTest, PokesTheWholeStreamOnceAndCleansUp)
{
    Send send;
    RecordingLink link(&send.result);
    EXPECT_TRUE(send.run(link));
    EXPECT_TRUE(send.messages.empty());
    EXPECT_EQ(link.calls, (std::vector<std::string>{"open Oculo32 ViewerTopic", "poke ViewerItem", "close"}));
    EXPECT_EQ(link.poked, (TLineList{"#R,Pools,2.5,10", "#L,A1,2.5", "#L,A2,10"}));
    // During the walk: "." whatever the locale, views suspended.
    EXPECT_EQ(link.decimalAtPoke, QLatin1Char('.'));
    EXPECT_TRUE(link.viewsDisabledAtPoke);
    // Afterwards: the locale's separators and views back, cursor at the end.
    EXPECT_EQ(DecimalSeparator(), QLatin1Char(','));
    EXPECT_EQ(ThousandSeparator(), QLatin1Char('.'));
    EXPECT_FALSE(send.result.viewsDisabled());
    EXPECT_TRUE(send.result.eof());
}

TEST_F(ViewerSendTest, DisplayMethodChoosesTheWriter)
{
    Send send;
    send.request.secondFieldName = "note";
    send.request.displayMethod = dmContinuousLine;
    RecordingLink link;
    EXPECT_TRUE(send.run(link));
    EXPECT_EQ(link.poked, (TLineList{"#F,Pools", "#M,A1dry", "#D,A2"}));
    send.request.displayMethod = dmLineSegments;
    send.request.featureName = "   ";   // blanks are a name
    EXPECT_TRUE(send.run(link));
    EXPECT_EQ(link.poked, (TLineList{"#F,   ", "#S,A1dry,2.5", "#S,A2,10"}));
}

TEST_F(ViewerSendTest, MissingInputsStopBeforeTheLinkIsOpened)
{
    {
        Send send;
        send.request.featureName.clear();
        RecordingLink link;
        EXPECT_FALSE(send.run(link));
        EXPECT_EQ(send.messages, (std::vector<std::string>{"Feature Name not specified"}));
        EXPECT_TRUE(link.calls.empty());
    }
    for (std::string station : {"", "DEPTHS"}) {
        Send send;
        send.request.stationFieldName = station;
        RecordingLink link;
        EXPECT_FALSE(send.run(link));
        EXPECT_EQ(send.messages, (std::vector<std::string>{"Station Field not specified"}));
        EXPECT_TRUE(link.calls.empty());
    }
}

TEST_F(ViewerSendTest, FieldMissingFromTheResultFailsBeforeTheNameCheck)
{
    Send send;
    send.request.availableFields.push_back("SUFFIX");
    send.request.secondFieldName = "SUFFIX";
    send.request.featureName.clear();
    RecordingLink link;
    EXPECT_THROW(send.run(link), EngineError);
    EXPECT_TRUE(send.messages.empty());
    EXPECT_TRUE(link.calls.empty());
}

TEST_F(ViewerSendTest, UnreachableViewerShowsTheConnectionMessage)
{
    Send send;
    SetLocaleSeparators(true, QLocale(QLocale::German, QLocale::Germany));
    RecordingLink link;
    link.openResult = false;
    EXPECT_FALSE(send.run(link));
    ASSERT_EQ(send.messages.size(), 1u);
    EXPECT_EQ(send.messages[0],
              "Unable to connect to Viewer.\r\nThe Viewer must be running.\r\n"
              "If you are using the 16-bit version,\r\nset the \"Use 16-Bit Viewer\" checkbox.");
    EXPECT_EQ(link.calls, (std::vector<std::string>{"open Oculo32 ViewerTopic"}));
    EXPECT_EQ(DecimalSeparator(), QLatin1Char(','));   // never switched
}

TEST_F(ViewerSendTest, FailureWhileWritingStillCleansUpAndPokesNothing)
{
    Send send;
    send.request.numberFieldName = "NOTE";   // "dry" is no number
    RecordingLink link;
    EXPECT_THROW(send.run(link), EngineError);
    EXPECT_EQ(link.calls, (std::vector<std::string>{"open Oculo32 ViewerTopic", "close"}));
    EXPECT_FALSE(send.result.viewsDisabled());
    EXPECT_EQ(DecimalSeparator(), QLatin1Char(','));
}

TEST_F(ViewerSendTest, ClosedQueryEndsTheSendWithTheEngineError)
{
    Send send;
    send.result.close();
    RecordingLink link;
    EXPECT_THROW(send.run(link), EngineError);
    EXPECT_TRUE(link.calls.empty());

    send.request.result = nullptr;
    EXPECT_THROW(send.run(link), EngineError);
}

TEST(LocaleSeparators, FallBackWhenTheLocaleGivesNone)
{
    SetLocaleSeparators(false);
    EXPECT_EQ(DecimalSeparator(), QLatin1Char('.'));
    EXPECT_EQ(ThousandSeparator(), QLatin1Char(','));
    SetLocaleSeparators(true, QLocale(QLocale::French, QLocale::France));
    EXPECT_EQ(DecimalSeparator(), QLatin1Char(','));
    EXPECT_NE(ThousandSeparator(), QLatin1Char(','));
    SetLocaleSeparators(true, QLocale::c());
    EXPECT_EQ(DecimalSeparator(), QLatin1Char('.'));
    EXPECT_EQ(ThousandSeparator(), QLatin1Char(','));
}

TEST_F(ViewerSendTest, LineBreakOrZeroByteInAStationReferenceStopsTheSendBeforeThePoke)
{
    struct Case {
        const char* field;
        std::string text;
    };
    const Case cases[] = {{"STATION", "A2\r\n#F,X"}, {"STATION", "A2\n"}, {"NOTE", std::string("x\0y", 3)}};
    for (const Case& c : cases) {
        const bool inNote = c.field == std::string("NOTE");
        Send send;
        send.request.secondFieldName = "NOTE";
        send.result.addRow({Value::text(inNote ? "A3" : c.text), Value::real(1), Value::text(inNote ? c.text : "")});
        RecordingLink link;
        try {
            send.run(link);
            ADD_FAILURE() << "sent " << c.field;
        } catch (const TViewerLinkError& e) {
            EXPECT_NE(std::string(e.what()).find(std::string("Row 3, field ") + c.field), std::string::npos)
                << e.what();
        }
        EXPECT_EQ(link.calls, (std::vector<std::string>{"open Oculo32 ViewerTopic", "close"}));
    }
}
