// The main window's handling of tables written elsewhere: the code page of a
// table that names none, and tables whose index files would go stale.
#include <QCheckBox>
#include <QTest>
#include <fstream>

#include "engine/profile_file.h"
#include "tests/app/form_fixture.h"
#include "tests/support/bare_table.h"

using namespace tarnel;
using namespace tarnel::app;
using namespace tarnel::test;


TEST_F(FormTest, CodePageReopensTheTableAndIsRememberedForTheFile)
{
    MakeTableWithoutCodePage(dir.file("bare.dbf"), "NAME", "Grét");
    services->settingsFile = QString::fromStdString(dir.file("Tarnel.ini"));
    OpenThroughDialog("bare.dbf");
    ASSERT_TRUE(form->CodePage1->isEnabled());
    form->Table1.first();
    EXPECT_EQ(form->Table1.asText(0), "Grét");

    services->codePageAnswer = 437;
    form->CodePage1->trigger();
    EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
    EXPECT_EQ(services->codePageTables, QStringList({"bare.dbf"}));
    EXPECT_EQ(form->Table1.codePage(), 437);
    EXPECT_EQ(form->DataSource1->data(form->DataSource1->index(0, 0)).toString(), "GrΘt");
    EXPECT_EQ(ProfileFile(dir.file("Tarnel.ini")).readString("CodePages", form->Table1.filePath()), "437");

    // Opened again, the table is read in the chosen code page.
    form->CloseDB->trigger();
    OpenThroughDialog("bare.dbf");
    EXPECT_EQ(form->Table1.codePage(), 437);

    // A table that names its code page keeps it, says so, and nothing is kept.
    MakeTable("named.dbf", 1);
    OpenThroughDialog("named.dbf");
    form->CodePage1->trigger();
    EXPECT_EQ(form->Table1.codePage(), 1252);
    ASSERT_EQ(services->informations.size(), 1);
    EXPECT_TRUE(services->informations[0].contains("names its code page (1252)"));
    EXPECT_FALSE(ProfileFile(dir.file("Tarnel.ini")).hasKey("CodePages", form->Table1.filePath()));
}

TEST_F(FormTest, ATableWithAnIndexWeDoNotKeepOpensForReadingOnly)
{
    MakeTable("idx.dbf", 3);
    std::ofstream(dir.file("IDX.NDX")) << "index";
    OpenThroughDialog("idx.dbf");
    ASSERT_EQ(services->informations.size(), 1);
    EXPECT_TRUE(services->informations[0].contains("IDX.NDX cannot be kept up to date; the table is open read-only"))
        << services->informations[0].toStdString();
    // Rebuilding it would lose that index too: no restructure either.
    EXPECT_FALSE(form->EditTableFieldsMnu->isEnabled());

    QTest::keyClick(form->TableEditChk, Qt::Key_Space);
    EXPECT_FALSE(form->TableEditChk->isChecked());
    EXPECT_TRUE(form->Table1.readOnly());
    EXPECT_FALSE(form->AutoEditChk->isEnabled());
    EXPECT_EQ(services->informations.size(), 2);
    EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
}

TEST_F(FormTest, AParadoxTableWithADamagedSecondaryIndexOpensForReadingOnly)
{
    MakeTable("cave.db", 2);
    std::ofstream(dir.file("cave.X02")) << "index";   // not an index we can read, nor keep
    OpenThroughDialog("cave.db");
    ASSERT_EQ(services->informations.size(), 1);
    EXPECT_TRUE(services->informations[0].contains("cave.X02 cannot be kept up to date; the table is open read-only"))
        << services->informations[0].toStdString();
    EXPECT_FALSE(form->EditTableFieldsMnu->isEnabled());
    QTest::keyClick(form->TableEditChk, Qt::Key_Space);
    EXPECT_TRUE(form->Table1.readOnly());
    EXPECT_EQ(form->Table1.recordCount(), 2);
    EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
}
