// The Open Database dialog and the path/alias chooser: what they return and
// what they keep from one use to the next.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "shell/system_support.h"
#include "tests/workspace/workspace_test_support.h"
#include "workspace/folder_widgets.h"
#include "workspace/open_db_dlg.h"
#include "workspace/path_alias_dlg.h"

using namespace tarnel;
using namespace tarnel::test;

namespace {

void Touch(const std::string& path) { std::ofstream(path) << "x"; }

QStringList Items(const QListWidget* list)
{
    QStringList items;
    for (int i = 0; i < list->count(); ++i) items << list->item(i)->text();
    return items;
}

void Select(QListWidget* list, const QString& text)
{
    const auto found = list->findItems(text, Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1) << text.toStdString();
    list->setCurrentItem(found.first());
}

} // namespace

TEST(FolderWidgets, MasksIgnoreLetterCase)
{
    EXPECT_TRUE(MaskMatches("*.DBF;*.DB;*.TXT", "historic.dbf"));
    EXPECT_TRUE(MaskMatches("*.DBF;*.DB;*.TXT", "Survey.Db"));
    EXPECT_FALSE(MaskMatches("*.DBF;*.DB;*.TXT", "survey.dbt"));
    EXPECT_TRUE(MaskMatches("*.*", "README"));
    EXPECT_TRUE(MaskMatches("HISTORIC.DBF", "historic.dbf"));
    EXPECT_FALSE(MaskMatches("historic.dbf", "historic.dbf.bak"));
    EXPECT_TRUE(MaskMatches("t?.db", "T1.DB"));
    EXPECT_FALSE(MaskMatches("", "a.dbf"));
}

TEST(FolderWidgets, RootsFromTheMountsTable)
{
    const QString mounts =
        "/dev/sda1 / ext4 rw 0 0\n"
        "proc /proc proc rw 0 0\n"
        "tmpfs /run tmpfs rw 0 0\n"
        "/dev/sdb1 /media/ann/CAVE\\040DATA vfat rw 0 0\n"
        "/dev/sdc1 /run/media/ann/USB vfat rw 0 0\n"
        "server:/srv /mnt/survey nfs4 rw 0 0\n"
        "cgroup2 /sys/fs/cgroup cgroup2 rw 0 0\n"
        "/dev/sda2 /home ext4 rw 0 0\n";
    EXPECT_EQ(RootsFromMounts(mounts, "/home/ann"),
              (QStringList{"/", "/home/ann", "/home", "/media/ann/CAVE DATA", "/mnt/survey",
                           "/run/media/ann/USB"}));
    const QStringList live = FileSystemRoots();
    ASSERT_FALSE(live.isEmpty());
    EXPECT_EQ(live.first(), "/");
}

TEST(OpenDBDlg, StartsOnFilesWithTheDatabaseMask)
{
    ChooserEnvironment env;
    TOpenDBDlg dlg;
    EXPECT_EQ(dlg.windowTitle(), "Select Database File/Alias");
    EXPECT_EQ(dlg.PageControl1->currentIndex(), 0);
    EXPECT_TRUE(dlg.UseFileChk->isChecked());
    EXPECT_FALSE(dlg.UseAliasChk->isChecked());
    EXPECT_EQ(dlg.FileEdit1->text(), "*.*");
    EXPECT_EQ(dlg.FileList1->mask(), "*.DBF;*.DB;*.TXT");
    EXPECT_EQ(dlg.Filter1->count(), 5);
    EXPECT_EQ(dlg.Filter1->itemText(2), "Paradox Files");
    EXPECT_TRUE(dlg.FileList1->isEnabled());
    EXPECT_FALSE(dlg.AliasList->isEnabled());

    dlg.Filter1->setCurrentIndex(2);
    EXPECT_EQ(dlg.FileEdit1->text(), "*.DB");
    EXPECT_EQ(dlg.FileList1->mask(), "*.DB");
}

TEST(OpenDBDlg, ReturnsAFileOfTheWorkingFolder)
{
    ChooserEnvironment env;
    for (const char* n : {"historic.dbf", "SURVEY.DB", "notes.txt", "readme", "photo.jpg"})
        Touch(env.data().file(n));
    TOpenDBDlg dlg;
    QString path = "untouched", table = "untouched";

    // No aliases: "Use Alias" cannot be chosen; OK with nothing selected
    // filters by "File Name" instead of closing; Cancel leaves the texts.
    WhenShown(&dlg, [&] {
        EXPECT_FALSE(dlg.UseAliasChk->isEnabled());
        EXPECT_EQ(Items(dlg.FileList1), (QStringList{"historic.dbf", "notes.txt", "SURVEY.DB"}));
        dlg.FileEdit1->setText("*.db");
        QTest::mouseClick(dlg.OKBtn, Qt::LeftButton);
        EXPECT_TRUE(dlg.isVisible());
        EXPECT_EQ(Items(dlg.FileList1), QStringList{"SURVEY.DB"});
        QTest::mouseClick(dlg.CancelBtn, Qt::LeftButton);
    });
    EXPECT_FALSE(dlg.ExecuteOpenDBDlg(path, table));
    EXPECT_EQ(path, "untouched");
    EXPECT_EQ(table, "untouched");

    // The typed mask stays for the next use; selecting a file names it.
    WhenShown(&dlg, [&] {
        EXPECT_EQ(Items(dlg.FileList1), QStringList{"SURVEY.DB"});
        dlg.Filter1->setCurrentIndex(1);
        Select(dlg.FileList1, "historic.dbf");
        EXPECT_EQ(dlg.FileEdit1->text(), "historic.dbf");
        EXPECT_EQ(dlg.PathLabel->text(), QString::fromStdString(env.data().file("historic.dbf")));
        QTest::mouseClick(dlg.OKBtn, Qt::LeftButton);
    });
    ASSERT_TRUE(dlg.ExecuteOpenDBDlg(path, table));
    EXPECT_EQ(dlg.FileEdit1->text(), "historic.dbf");
    EXPECT_EQ(path, QString::fromStdString(env.data().path() + "/"));
    EXPECT_EQ(table, "historic.dbf");

    // A click names the file clicked, also when moving from one file to
    // another; a double-click returns the file at once.
    WhenShown(&dlg, [&] {
        dlg.Filter1->setCurrentIndex(0);
        auto click = [&](const QString& name) {
            auto* item = dlg.FileList1->findItems(name, Qt::MatchExactly).first();
            QTest::mouseClick(dlg.FileList1->viewport(), Qt::LeftButton, {},
                              dlg.FileList1->visualItemRect(item).center());
            EXPECT_EQ(dlg.FileEdit1->text(), name);
            EXPECT_EQ(dlg.PathLabel->text(), QString::fromStdString(env.data().file(name.toStdString())));
        };
        click("notes.txt");
        click("SURVEY.DB");
        auto* item = dlg.FileList1->findItems("SURVEY.DB", Qt::MatchExactly).first();
        QRect r = dlg.FileList1->visualItemRect(item);
        QTest::mouseDClick(dlg.FileList1->viewport(), Qt::LeftButton, {}, r.center());
    });
    ASSERT_TRUE(dlg.ExecuteOpenDBDlg(path, table));
    EXPECT_EQ(table, "SURVEY.DB");
}

TEST(OpenDBDlg, FolderListTakesAFolderFromOutside)
{
    ChooserEnvironment env;
    std::string sub = env.data().file("Data");
    ::mkdir(sub.c_str(), 0755);
    Touch(sub + "/cave.dbf");
    TOpenDBDlg dlg;
    dlg.setDirectory(QString::fromStdString(sub + "/"));
    EXPECT_EQ(dlg.directory(), QString::fromStdString(sub));
    EXPECT_EQ(dlg.PathLabel->text(), QString::fromStdString(sub));
    EXPECT_EQ(Items(dlg.FileList1), QStringList{"cave.dbf"});

    EXPECT_THROW(dlg.setDirectory(QString::fromStdString(env.data().file("Missing/"))), InOutError);
    EXPECT_EQ(dlg.directory(), QString::fromStdString(sub));

    AddAlias("SURVEYDB", env.data().path());
    dlg.setDirectory("SURVEYDB");   // an alias has no folder to show
    EXPECT_EQ(dlg.directory(), QString::fromStdString(sub));
}

TEST(OpenDBDlg, AliasesAndTheirTables)
{
    ChooserEnvironment env;
    std::string a = env.data().file("a"), b = env.data().file("b");
    ::mkdir(a.c_str(), 0755);
    ::mkdir(b.c_str(), 0755);
    Touch(a + "/alpha.dbf");
    Touch(a + "/beta.db");
    Touch(a + "/beta.mb");
    Touch(b + "/gamma.dbf");
    AddAlias("ARCHIVE", a);
    AddAlias("SURVEYDB", b);
    TOpenDBDlg dlg;
    QString path = "untouched", table = "untouched";

    // First use: "Use Alias" before any alias was clicked is an invalid alias.
    QString warning;
    WhenShown(&dlg, [&] {
        EXPECT_TRUE(dlg.UseAliasChk->isEnabled());
        EXPECT_EQ(Items(dlg.AliasList), (QStringList{"ARCHIVE", "SURVEYDB"}));
        EXPECT_EQ(dlg.AliasList->currentRow(), 0);
        dlg.UseAliasChk->click();
        EXPECT_FALSE(dlg.UseFileChk->isChecked());
        EXPECT_TRUE(dlg.AliasList->isEnabled());
        EXPECT_FALSE(dlg.FileList1->isEnabled());
        AnswerNextMessageBox(&warning);
        QTest::mouseClick(dlg.OKBtn, Qt::LeftButton);
    });
    EXPECT_FALSE(dlg.ExecuteOpenDBDlg(path, table));
    EXPECT_EQ(warning, "Invalid Alias");
    EXPECT_EQ(path, "untouched");

    // Clicking an alias lists its tables and selects the first.
    WhenShown(&dlg, [&] {
        EXPECT_TRUE(dlg.UseAliasChk->isChecked());   // kept from the last use
        auto* item = dlg.AliasList->item(0);
        QTest::mouseClick(dlg.AliasList->viewport(), Qt::LeftButton, {},
                          dlg.AliasList->visualItemRect(item).center());
        EXPECT_EQ(Items(dlg.TableList), (QStringList{"alpha.dbf", "beta.db"}));
        Select(dlg.AliasList, "SURVEYDB");
        EXPECT_EQ(Items(dlg.TableList), QStringList{"gamma.dbf"});
        QTest::mouseClick(dlg.OKBtn, Qt::LeftButton);
    });
    ASSERT_TRUE(dlg.ExecuteOpenDBDlg(path, table));
    EXPECT_EQ(path, "SURVEYDB");
    EXPECT_EQ(table, "gamma.dbf");

    // The next use keeps the table list and shows the alias it belongs to,
    // so the pair returned always belongs together.
    WhenShown(&dlg, [&] {
        EXPECT_EQ(dlg.AliasList->currentItem()->text(), "SURVEYDB");
        EXPECT_EQ(Items(dlg.TableList), QStringList{"gamma.dbf"});
        QTest::mouseClick(dlg.OKBtn, Qt::LeftButton);
    });
    ASSERT_TRUE(dlg.ExecuteOpenDBDlg(path, table));
    EXPECT_EQ(path, "SURVEYDB");
    EXPECT_EQ(table, "gamma.dbf");

    // That alias is gone: its tables go with it, and OK is an invalid alias.
    RemoveAlias("SURVEYDB");
    warning.clear();
    WhenShown(&dlg, [&] {
        EXPECT_EQ(dlg.TableList->count(), 0);
        AnswerNextMessageBox(&warning);
        QTest::mouseClick(dlg.OKBtn, Qt::LeftButton);
    });
    EXPECT_FALSE(dlg.ExecuteOpenDBDlg(path, table));
    EXPECT_EQ(warning, "Invalid Alias");

    // With no aliases at all "Use Alias" is disabled again.
    RemoveAlias("ARCHIVE");
    WhenShown(&dlg, [&] {
        EXPECT_FALSE(dlg.UseAliasChk->isEnabled());
        dlg.reject();
    });
    EXPECT_FALSE(dlg.ExecuteOpenDBDlg(path, table));
}

TEST(OpenDBDlg, HelpAsksForTopicOne)
{
    ChooserEnvironment env;
    TOpenDBDlg dlg;
    QSignalSpy spy(&dlg, &TOpenDBDlg::helpRequested);
    dlg.HelpBtn->click();
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.first().first().toInt(), 1);
}

TEST(PathAliasDlg, FolderOrAlias)
{
    ChooserEnvironment env;
    std::string sub = env.data().file("Survey Data");
    ::mkdir(sub.c_str(), 0755);
    TPathAliasDlg dlg;
    EXPECT_EQ(dlg.windowTitle(), "Select Path/Alias");
    EXPECT_EQ(dlg.DirectoryListBox1->folder(), QString::fromStdString(env.data().path()));
    QString result = "untouched";

    // No aliases: always a folder, without a final "/".
    WhenShown(&dlg, [&] {
        EXPECT_FALSE(dlg.AliasChk->isEnabled());
        EXPECT_TRUE(dlg.PathChk->isChecked());
        dlg.DirectoryListBox1->setFolder(QString::fromStdString(sub + "/"));
        QTest::mouseClick(dlg.OKBtn, Qt::LeftButton);
    });
    ASSERT_TRUE(dlg.ExecutePathAliasDlg(result));
    EXPECT_EQ(result, QString::fromStdString(sub));

    // Unchecking "Use Path" checks the disabled "Use Alias"; with no alias to
    // give, OK still gives the folder.
    WhenShown(&dlg, [&] {
        dlg.PathChk->click();
        EXPECT_TRUE(dlg.AliasChk->isChecked());
        QTest::mouseClick(dlg.OKBtn, Qt::LeftButton);
    });
    result.clear();
    ASSERT_TRUE(dlg.ExecutePathAliasDlg(result));
    EXPECT_EQ(result, QString::fromStdString(sub));

    // Keyboard: Enter on a folder opens it and leaves the dialog open; the next Enter is OK.
    WhenShown(&dlg, [&] {
        dlg.DirectoryListBox1->setFolder(QString::fromStdString(env.data().path()));
        auto found = dlg.DirectoryListBox1->findItems("Survey Data", Qt::MatchExactly | Qt::MatchRecursive);
        ASSERT_EQ(found.size(), 1);
        dlg.DirectoryListBox1->setFocus();
        dlg.DirectoryListBox1->setCurrentItem(found.first());
        QTest::keyClick(dlg.DirectoryListBox1, Qt::Key_Return);
        EXPECT_TRUE(dlg.isVisible());
        EXPECT_EQ(dlg.DirectoryListBox1->folder(), QString::fromStdString(sub));
        QTest::keyClick(dlg.DirectoryListBox1, Qt::Key_Return);
        EXPECT_FALSE(dlg.isVisible());
    });
    result.clear();
    ASSERT_TRUE(dlg.ExecutePathAliasDlg(result));
    EXPECT_EQ(result, QString::fromStdString(sub));

    // The tree keeps the folder; the root comes back as "/".
    WhenShown(&dlg, [&] {
        EXPECT_EQ(dlg.DirectoryListBox1->folder(), QString::fromStdString(sub));
        dlg.DirectoryListBox1->setFolder("/");
        QTest::mouseClick(dlg.OKBtn, Qt::LeftButton);
    });
    ASSERT_TRUE(dlg.ExecutePathAliasDlg(result));
    EXPECT_EQ(result, "/");

    AddAlias("SURVEYDB", env.data().path());
    AddAlias("ARCHIVE", sub);
    WhenShown(&dlg, [&] {
        EXPECT_TRUE(dlg.AliasChk->isEnabled());
        dlg.AliasChk->click();
        EXPECT_FALSE(dlg.PathChk->isChecked());
        EXPECT_TRUE(dlg.DirectoryListBox1->isEnabled());   // both lists stay usable
        QTest::mouseClick(dlg.OKBtn, Qt::LeftButton);
    });
    ASSERT_TRUE(dlg.ExecutePathAliasDlg(result));
    EXPECT_EQ(result, "ARCHIVE");

    // Every use starts with "Use Path"; Cancel leaves the text; Help asks nothing.
    QSignalSpy help(&dlg, &TPathAliasDlg::helpRequested);
    WhenShown(&dlg, [&] {
        EXPECT_TRUE(dlg.PathChk->isChecked());
        EXPECT_FALSE(dlg.AliasChk->isChecked());
        dlg.HelpBtn->click();
        QTest::mouseClick(dlg.CancelBtn, Qt::LeftButton);
    });
    result = "kept";
    EXPECT_FALSE(dlg.ExecutePathAliasDlg(result));
    EXPECT_EQ(result, "kept");
    EXPECT_EQ(help.count(), 0);
}
