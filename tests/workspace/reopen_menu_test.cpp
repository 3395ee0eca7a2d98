// The recent-files menu: order, limits, duplicates, its settings section.
#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>

#include "engine/profile_file.h"
#include "tests/support/test_paths.h"
#include "tests/workspace/workspace_test_support.h"
#include "workspace/reopen_menu.h"

using namespace tarnel;
using tarnel::test::ScratchDir;

namespace {

QStringList Captions(QMenu& menu)
{
    QStringList list;
    for (QAction* a : menu.actions()) list << a->text();
    return list;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct MenuFixture : ::testing::Test {
    MenuFixture()
    {
        reopen.setIniFile(QString::fromStdString(dir.file("Tarnel.ini")));
        reopen.setIniSection("FileHistory");
        reopen.setMenuItem(&menu);
    }
    void WriteIni(const std::string& text) { std::ofstream(dir.file("Tarnel.ini")) << text; }

    ScratchDir dir;
    QMenu menu;
    TReopenMenu reopen;
};

} // namespace

TEST(ReopenMenu, DefaultsAndNoMenu)
{
    TReopenMenu r;
    EXPECT_EQ(r.limit(), 5);
    EXPECT_TRUE(r.iniFile().isEmpty());
    EXPECT_TRUE(r.iniSection().isEmpty());
    EXPECT_EQ(r.menuItem(), nullptr);
    EXPECT_TRUE(r.numberItems());
    EXPECT_TRUE(r.noDuplicates());
    EXPECT_FALSE(r.showPath());
    EXPECT_FALSE(r.showErrors());
    EXPECT_FALSE(r.updateOnClick());
    r.AddEntry("/a/b.dbf");   // without a submenu nothing happens
    EXPECT_TRUE(r.entries().isEmpty());
}

TEST_F(MenuFixture, NewestFirstNoDuplicatesAndTheLimit)
{
    reopen.AddEntry("$:/home/ann/caves//historic.dbf");
    reopen.AddEntry("$:/SURVEYDB/survey.dbf");
    EXPECT_EQ(Captions(menu), (QStringList{"&1 survey.dbf", "&2 historic.dbf"}));

    reopen.AddEntry("$:/HOME/ANN/caves//HISTORIC.dbf");   // same text but for case
    EXPECT_EQ(reopen.entries(),
              (QStringList{"$:/HOME/ANN/caves//HISTORIC.dbf", "$:/SURVEYDB/survey.dbf"}));

    // The whole text decides: a plain path is another entry with the same caption.
    reopen.AddEntry("/HOME/ANN/caves/HISTORIC.dbf");
    EXPECT_EQ(Captions(menu),
              (QStringList{"&1 HISTORIC.dbf", "&2 HISTORIC.dbf", "&3 survey.dbf"}));

    for (int i = 0; i < 4; ++i) reopen.AddEntry(QString("/t/t%1.dbf").arg(i));
    EXPECT_EQ(menu.actions().size(), 5);
    EXPECT_EQ(reopen.entries().first(), "/t/t3.dbf");
    EXPECT_EQ(reopen.entries().last(), "/HOME/ANN/caves/HISTORIC.dbf");

    reopen.SaveEntries();
    ProfileFile ini(dir.file("Tarnel.ini"));
    EXPECT_EQ(ini.readInteger("FileHistory", "Count"), 5);
    EXPECT_EQ(ini.readString("FileHistory", "Path0"), "/t/t3.dbf");
    EXPECT_EQ(ini.readString("FileHistory", "Path4"), "/HOME/ANN/caves/HISTORIC.dbf");
}

TEST_F(MenuFixture, CaptionsOptions)
{
    reopen.AddEntry("/caves/Tom & Jerry.dbf");
    EXPECT_EQ(Captions(menu), QStringList{"&1 Tom && Jerry.dbf"});
    reopen.setShowPath(true);
    reopen.AddEntry("/caves/b.dbf");
    EXPECT_EQ(Captions(menu), (QStringList{"&1 /caves/b.dbf", "&2 /caves/Tom && Jerry.dbf"}));
    reopen.setNumberItems(false);
    reopen.setShowPath(false);
    reopen.AddEntry("/caves/c.dbf");
    EXPECT_EQ(Captions(menu).first(), "c.dbf");
}

TEST_F(MenuFixture, LoadsWhatTheFileHolds)
{
    std::string keys;
    for (int i = 0; i < 8; ++i) keys += "Path" + std::to_string(i) + "=/d/t" + std::to_string(i) + ".dbf\n";
    WriteIni("[Other]\nx=1\n[FileHistory]\nCount=8\n" + keys);
    reopen.LoadEntries();
    ASSERT_EQ(menu.actions().size(), 8);   // no trimming while loading
    EXPECT_EQ(menu.actions()[7]->text(), "&8 t7.dbf");
    reopen.AddEntry("/d/new.dbf");
    EXPECT_EQ(menu.actions().size(), 5);
    EXPECT_EQ(Captions(menu).first(), "&1 new.dbf");

    // A missing key is an empty entry; a repeated text keeps its later place.
    WriteIni("[filehistory]\ncount = 4\nPath0=/d/a.dbf\nPath2=/d/a.dbf\nPath3=/d/b.dbf\n");
    reopen.LoadEntries();
    EXPECT_EQ(reopen.entries(), (QStringList{"", "/d/a.dbf", "/d/b.dbf"}));
    EXPECT_EQ(Captions(menu), (QStringList{"&1 ", "&2 a.dbf", "&3 b.dbf"}));

    // Counts that are not numbers, and absurd counts.
    WriteIni("[FileHistory]\nCount=many\nPath0=/d/a.dbf\n");
    reopen.LoadEntries();
    EXPECT_TRUE(reopen.entries().isEmpty());
    WriteIni("[FileHistory]\nCount=99999999999999\nPath0=/d/a.dbf\n");
    reopen.setNoDuplicates(false);   // else the empty entries would fold into one
    reopen.LoadEntries();
    EXPECT_EQ(reopen.entries().size(), TReopenMenu::MaxLoadedEntries);

    // A missing file is an empty menu, without a message.
    reopen.setIniFile(QString::fromStdString(dir.file("missing.ini")));
    reopen.LoadEntries();
    EXPECT_TRUE(menu.actions().isEmpty());
}

TEST_F(MenuFixture, SavingRewritesOnlyItsSection)
{
    WriteIni("; Tarnel\n[Window]\nLeft=3\n[FileHistory]\nCount=3\nPath0=a\nPath1=b\nPath2=c\n[Z]\nk=v\n");
    reopen.SaveEntries();   // an empty menu
    EXPECT_EQ(ReadFile(dir.file("Tarnel.ini")), "; Tarnel\n[Window]\nLeft=3\n[Z]\nk=v\n[FileHistory]\nCount=0\n");

    reopen.AddEntry("$:/home/ann/caves//historic.dbf");
    reopen.AddEntry(" /lead/blank.dbf");
    reopen.SaveEntries();
    TReopenMenu other;
    QMenu otherMenu;
    other.setIniFile(reopen.iniFile());
    other.setIniSection("FileHistory");
    other.setMenuItem(&otherMenu);
    other.LoadEntries();
    EXPECT_EQ(other.entries(), (QStringList{" /lead/blank.dbf", "$:/home/ann/caves//historic.dbf"}));
    EXPECT_NE(ReadFile(dir.file("Tarnel.ini")).find("Path1=$:/home/ann/caves//historic.dbf\n"),
              std::string::npos);
}

TEST_F(MenuFixture, UnwritableFileIsDroppedSilently)
{
    std::string locked = dir.file("locked");
    ::mkdir(locked.c_str(), 0755);
    std::ofstream(locked + "/Tarnel.ini") << "[FileHistory]\nCount=1\nPath0=/x/kept.dbf\n";
    ::chmod(locked.c_str(), 0555);
    reopen.setIniFile(QString::fromStdString(locked + "/Tarnel.ini"));
    reopen.LoadEntries();
    reopen.AddEntry("/x/new.dbf");
    reopen.SaveEntries();   // no box, no exception
    if (::geteuid() != 0) {
        EXPECT_EQ(ReadFile(locked + "/Tarnel.ini"), "[FileHistory]\nCount=1\nPath0=/x/kept.dbf\n");
    }
    ::chmod(locked.c_str(), 0755);
}

TEST_F(MenuFixture, ErrorsAreShownOnlyWhenAsked)
{
    reopen.setIniFile(QString::fromStdString(dir.path()));   // a folder: cannot be read
    reopen.LoadEntries();                                    // silent by default
    reopen.setShowErrors(true);
    QString text;
    tarnel::test::AnswerNextMessageBox(&text);
    reopen.LoadEntries();
    EXPECT_EQ(text, QString::fromStdString("Unable to access: " + dir.path() + "\n" +
                                           "You may not permission to access the Windows folder"));
}

TEST(ReopenMenu, BareFileNameLivesInTheSettingsFolder)
{
    tarnel::test::ChooserEnvironment env;
    TReopenMenu r;
    r.setIniFile("tarnel.ini");
    EXPECT_EQ(r.settingsPath(), QString::fromStdString(env.config().path() + "/vantor/tarnel.ini"));
}

TEST(ReopenMenu, ListIsKeptWhenTheConfigHomeDoesNotExistYet)
{
    tarnel::test::ChooserEnvironment env;
    ::setenv("XDG_CONFIG_HOME", (env.config().path() + "/new/config").c_str(), 1);
    QMenu menu;
    {
        TReopenMenu r;
        r.setIniFile("tarnel.ini");
        r.setIniSection("FileHistory");
        r.setMenuItem(&menu);
        r.AddEntry("/d/caves.dbf");
        r.SaveEntries();
    }
    TReopenMenu again;
    again.setIniFile("tarnel.ini");
    again.setIniSection("FileHistory");
    again.setMenuItem(&menu);
    again.LoadEntries();
    EXPECT_EQ(again.entries(), QStringList{"/d/caves.dbf"});
}

TEST_F(MenuFixture, ClicksReportTheEntry)
{
    reopen.AddEntry("/d/a.dbf");
    reopen.AddEntry("/d/b.dbf");
    QStringList seen;
    TReopenMenu* sender = nullptr;
    reopen.setOnMenuClick([&](TReopenMenu* s, const QString& path) {
        sender = s;
        seen << path;
    });
    QStringList signalled;
    QObject::connect(&reopen, &TReopenMenu::menuClick, [&](const QString& p) { signalled << p; });

    menu.actions()[1]->trigger();
    EXPECT_EQ(sender, &reopen);
    EXPECT_EQ(seen, QStringList{"/d/a.dbf"});
    EXPECT_EQ(signalled, QStringList{"/d/a.dbf"});
    EXPECT_EQ(reopen.entries().first(), "/d/b.dbf");   // UpdateOnClick is off

    reopen.setUpdateOnClick(true);
    menu.actions()[1]->trigger();
    EXPECT_EQ(reopen.entries().first(), "/d/a.dbf");
    QCoreApplication::processEvents();
}

TEST(ReopenMenu, ForgetsADestroyedMenu)
{
    TReopenMenu r;
    auto* menu = new QMenu;
    r.setMenuItem(menu);
    r.AddEntry("/d/a.dbf");
    delete menu;
    EXPECT_EQ(r.menuItem(), nullptr);
    r.AddEntry("/d/b.dbf");
    EXPECT_TRUE(r.entries().isEmpty());
}
