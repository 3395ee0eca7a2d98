// Help requests through the application's hook into the help window, and the
// viewer and legacy-help tester's answers.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTextBrowser>
#include <QTreeWidget>

#include "shell/help_request.h"
#include "shell/help_service.h"
#include "shell/help_window.h"
#include "tests/support/box_recorder.h"

using namespace tarnel;

namespace {

const QString kHelpFile = QStringLiteral(TARNEL_BIN_DIR "/TARNEL32.chm");

// The component on a window, with the built help file as the application's.
struct HelpFixture : ::testing::Test {
    HelpFixture() : helper(service) { SetApplicationHelpFile(kHelpFile); }
    ~HelpFixture() override { SetApplicationHelpFile(QStringLiteral("TARNEL32.chm")); }

    THelpWindow* Window() const { return service.Window(kHelpFile); }
    QString Shown() const { return Window() ? Window()->CurrentTopic() : QString(); }

    test::BoxRecorder boxes;
    TChmHelpService service;
    TCHMHelper helper;
};

} // namespace

TEST(HelpRequest, MappingOfTheOlderCommands)
{
    struct Case { unsigned command; HelpData data; unsigned mapped; HelpData passed; };
    const Case cases[] = {
        {HELP_CONTEXT, quintptr(3), HH_HELP_CONTEXT, quintptr(3)},
        {HELP_CONTEXTPOPUP, quintptr(4), HH_HELP_CONTEXT, quintptr(4)},
        {HELP_QUIT, quintptr(9), HH_CLOSE_ALL, quintptr(0)},
        {HELP_CONTENTS, quintptr(7), HH_DISPLAY_TOC, quintptr(0)},
        {HELP_FINDER, quintptr(5), HH_DISPLAY_TOPIC, quintptr(5)},
        {HELP_KEY, QStringLiteral("memo"), HH_DISPLAY_INDEX, QStringLiteral("memo")},
        {HELP_PARTIALKEY, QStringLiteral("memo"), HH_DISPLAY_TOPIC, quintptr(0)},
        {0x1234, quintptr(8), HH_DISPLAY_TOPIC, quintptr(0)},
    };
    for (const Case& c : cases) {
        const HtmlHelpRequest r = MapHelpCommand(c.command, c.data);
        EXPECT_EQ(r.command, c.mapped) << c.command;
        EXPECT_TRUE(std::holds_alternative<quintptr>(r.data) == std::holds_alternative<quintptr>(c.passed)) << c.command;
        if (std::holds_alternative<quintptr>(c.passed)) EXPECT_EQ(std::get<quintptr>(r.data), std::get<quintptr>(c.passed));
        else EXPECT_EQ(std::get<QString>(r.data), std::get<QString>(c.passed));
    }
}

TEST(HelpRequest, TopicAddressesAndFileTests)
{
    EXPECT_EQ(TopicAddress("TARNEL32.chm", "intro.htm"), "TARNEL32.chm::/intro.htm");
    EXPECT_EQ(TopicAddress("TARNEL32.chm", "/intro.htm"), "TARNEL32.chm::/intro.htm");
    EXPECT_EQ(TopicAddress("TARNEL32.chm", ""), "TARNEL32.chm");
    EXPECT_EQ(TopicOfAddress("TARNEL32.chm::/intro.htm"), "/intro.htm");

    TChmHelpService service;
    THTMLHelpViewer viewer(service);
    TWinHelpMakeBehave tester;
    EXPECT_EQ(viewer.GetViewerName(), "HTMLHelp Viewer");
    for (const QString& chm : {QStringLiteral("TARNEL32.chm"), QStringLiteral("/a.b/x.CHM")}) {
        EXPECT_TRUE(viewer.UnderstandsKeyword(chm) && viewer.UnderstandsTopic(chm) && viewer.UnderstandsContext(chm));
        EXPECT_TRUE(viewer.CanShowTableOfContents(chm));
        EXPECT_EQ(viewer.GetHelpStrings("memo", chm), QStringList{"memo"});
        EXPECT_FALSE(tester.UnderstandsTopic("x", chm) || tester.UnderstandsContext(1, chm));
    }
    for (const QString& hlp : {QStringLiteral("OLD.HLP"), QStringLiteral("old.hlp")}) {
        EXPECT_FALSE(viewer.UnderstandsKeyword(hlp) || viewer.UnderstandsTopic(hlp) || viewer.UnderstandsContext(hlp));
        EXPECT_FALSE(viewer.CanShowTableOfContents(hlp));
        EXPECT_TRUE(viewer.GetHelpStrings("memo", hlp).isEmpty());
        EXPECT_TRUE(tester.UnderstandsLink("x", hlp) && tester.UnderstandsTopic("x", hlp) && tester.UnderstandsContext(1, hlp));
    }
    EXPECT_FALSE(viewer.UnderstandsTopic("chm") || tester.UnderstandsTopic("x", "dir.hlp/file"));
    EXPECT_TRUE(tester.GetHelpStrings("x").isEmpty() && tester.GetHelpPath().isEmpty() && tester.GetDefaultHelpFile().isEmpty());
}

TEST_F(HelpFixture, EachCommandThroughTheHook)
{
    EXPECT_TRUE(HasHelpRequestHook());

    // "&Keyword Search...": the default topic, not the index.
    EXPECT_TRUE(ApplicationHelpCommand(HELP_PARTIALKEY, QString()));
    ASSERT_TRUE(Window());
    EXPECT_TRUE(Window()->isVisible());
    EXPECT_EQ(Shown(), "/intro.htm");
    EXPECT_EQ(Window()->CurrentTab(), "Contents");

    // Topic numbers 1 to 4.
    const char* topics[] = {"/dlg_open.htm", "/dlg_create.htm", "/dlg_copy.htm", "/dlg_restructure.htm"};
    for (unsigned n = 1; n <= 4; ++n) {
        ApplicationHelpContext(n);
        EXPECT_EQ(Shown(), topics[n - 1]);
    }
    ApplicationHelpCommand(HELP_CONTEXTPOPUP, quintptr(3));
    EXPECT_EQ(Shown(), "/dlg_copy.htm");
    EXPECT_TRUE(Window()->Browser->toPlainText().contains("Copy Mode"));

    // Keyword: the index with the keyword typed and found.
    ApplicationHelpCommand(HELP_KEY, QStringLiteral("Oculo"));
    EXPECT_EQ(Window()->CurrentTab(), "Index");
    EXPECT_EQ(Window()->IndexEdit->text(), "Oculo");
    ASSERT_TRUE(Window()->IndexList->currentItem());
    EXPECT_EQ(Window()->IndexList->currentItem()->text(), "Oculo32");

    ApplicationHelpCommand(HELP_CONTENTS, quintptr(0));
    EXPECT_EQ(Window()->CurrentTab(), "Contents");
    ApplicationHelpCommand(HELP_FINDER, quintptr(0));
    EXPECT_EQ(Shown(), "/intro.htm");
    EXPECT_TRUE(boxes.errors().isEmpty()) << boxes.errors().join("\n").toStdString();

    // An unknown number is reported and changes nothing.
    ApplicationHelpContext(77);
    ASSERT_EQ(boxes.errors().size(), 1);
    EXPECT_TRUE(boxes.errors()[0].contains("77"));
    EXPECT_EQ(Shown(), "/intro.htm");

    ApplicationHelpCommand(HELP_QUIT, quintptr(0));
    EXPECT_FALSE(Window());
    EXPECT_TRUE(service.Windows().isEmpty());
}

TEST_F(HelpFixture, ViewerOperations)
{
    THTMLHelpViewer& viewer = helper.Viewer();
    EXPECT_EQ(THelpManager::Instance().Viewer(viewer.ViewerID()), &viewer);

    viewer.ShowTopic("/query_builder.htm");
    EXPECT_EQ(Shown(), "/query_builder.htm");
    viewer.ShowContext(2);
    EXPECT_EQ(Shown(), "/dlg_create.htm");
    viewer.ShowHelp("memo fields");              // known keyword: its topic
    EXPECT_EQ(Shown(), "/browsing.htm");
    viewer.ShowHelp("stalagmite");               // unknown: the index opens
    EXPECT_EQ(Window()->CurrentTab(), "Index");
    EXPECT_EQ(Window()->IndexEdit->text(), "stalagmite");
    EXPECT_EQ(Shown(), "/browsing.htm");
    viewer.ShowTableOfContents();
    EXPECT_EQ(Window()->CurrentTab(), "Contents");
    viewer.SoftShutDown();
    EXPECT_FALSE(Window());
    EXPECT_TRUE(boxes.errors().isEmpty()) << boxes.errors().join("\n").toStdString();
}

TEST_F(HelpFixture, WindowNavigationSearchAndIndex)
{
    ApplicationHelpCommand(HELP_CONTENTS, quintptr(0));
    THelpWindow* w = Window();
    ASSERT_TRUE(w);
    EXPECT_FALSE(w->BackAct->isEnabled());

    // A contents entry, then a link inside the page, then back and forward.
    const auto found = w->ContentsTree->findItems("Do Query", Qt::MatchExactly | Qt::MatchRecursive);
    ASSERT_EQ(found.size(), 1);
    const QRect rect = w->ContentsTree->visualItemRect(found[0]);
    QTest::mouseClick(w->ContentsTree->viewport(), Qt::LeftButton, {}, rect.center());
    EXPECT_EQ(w->CurrentTopic(), "/do_query.htm");
    w->Browser->setSource(w->Browser->source().resolved(QUrl("viewer.htm")));
    EXPECT_EQ(w->CurrentTopic(), "/viewer.htm");
    EXPECT_TRUE(w->BackAct->isEnabled());
    w->BackAct->trigger();
    EXPECT_EQ(w->CurrentTopic(), "/do_query.htm");
    w->ForwardAct->trigger();
    EXPECT_EQ(w->CurrentTopic(), "/viewer.htm");

    // Search lists the pages holding every word.
    w->Tabs->setCurrentIndex(2);
    QTest::keyClicks(w->SearchEdit, "restructure temporary");
    QTest::mouseClick(w->SearchBtn, Qt::LeftButton);
    ASSERT_EQ(w->SearchList->count(), 1);
    EXPECT_EQ(w->SearchList->item(0)->text(), "Edit/Restructure Table dialog");
    EXPECT_EQ(w->Search("Oculo32 nosuchword"), 0);

    // Index: typing selects the first keyword that starts so; Enter shows it.
    w->Tabs->setCurrentIndex(1);
    QTest::keyClicks(w->IndexEdit, "tarnel-c");
    ASSERT_TRUE(w->IndexList->currentItem());
    EXPECT_EQ(w->IndexList->currentItem()->text(), "tarnel-cli");
    QTest::keyClick(w->IndexEdit, Qt::Key_Return);
    EXPECT_EQ(w->CurrentTopic(), "/cli.htm");
}

TEST_F(HelpFixture, MissingFileNamesWhereItLooked)
{
    SetApplicationHelpFile(QStringLiteral("NOHELP.chm"));
    ApplicationHelpCommand(HELP_CONTENTS, quintptr(0));
    const QStringList errors = boxes.errors();
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].contains("NOHELP.chm"));
    EXPECT_TRUE(errors[0].contains(QCoreApplication::applicationDirPath()));
    EXPECT_TRUE(errors[0].contains("share/tarnel"));
    EXPECT_TRUE(service.Windows().isEmpty());
}

TEST(HelpRequest, HookLivesWithTheComponentAndButtonsFindTheNearestTopic)
{
    std::vector<std::pair<QString, unsigned>> calls;
    struct Recorder : HtmlHelpService {
        std::vector<std::pair<QString, unsigned>>* calls;
        bool HtmlHelp(QWidget*, const QString& file, unsigned command, const HelpData&) override
        {
            calls->emplace_back(file, command);
            return true;
        }
    } recorder;
    recorder.calls = &calls;
    SetApplicationHelpFile(QStringLiteral("TARNEL32.chm"));

    QWidget window;
    auto* group = new QWidget(&window);
    auto* help = new QPushButton("Help", group);
    auto* other = new QPushButton("Help", &window);
    ConnectHelpButton(help);
    ConnectHelpButton(other);
    SetHelpContext(&window, 0);
    SetHelpContext(group, 4);
    EXPECT_EQ(NearestHelpContext(help), 4);
    EXPECT_EQ(NearestHelpContext(other), 0);
    {
        TCHMHelper helper(recorder);
        QTest::mouseClick(help, Qt::LeftButton);
        QTest::mouseClick(other, Qt::LeftButton);   // no topic anywhere: nothing asked
        SetHelpContext(help, 2);
        QTest::mouseClick(help, Qt::LeftButton);     // the button's own number comes first
        ASSERT_EQ(calls.size(), 2u);
        EXPECT_EQ(calls[0], std::make_pair(QStringLiteral("TARNEL32.chm"), HH_HELP_CONTEXT));
        // A design-time component installs nothing.
        TCHMHelper designing(recorder, true);
        EXPECT_TRUE(HasHelpRequestHook());
    }
    // Gone with the component; the viewer closed its windows on the way out.
    EXPECT_FALSE(HasHelpRequestHook());
    EXPECT_FALSE(ApplicationHelpContext(1));
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[2].second, HH_CLOSE_ALL);
}
