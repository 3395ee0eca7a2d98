#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include "controls/date_spin.h"
#include "controls/radio_group.h"
#include "engine/engine_types.h"
#include "query/query_builder_page.h"

using namespace tarnel;
using namespace tarnel::query;

namespace {

const BuilderFields kFields = {
    {"NAME", ftString}, {"DEPTH", ftFloat}, {"LENGTH", ftFloat}, {"TITLE", ftString}};

void Click(QAbstractButton* button)
{
    QTest::mouseClick(button, Qt::LeftButton);
}

void SelectField(TQueryBuilderPage& page, int row)
{
    QListWidget* list = page.FieldList1;
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(row)).center());
}

struct Page : ::testing::Test {
    TQueryBuilderPage page;
    void SetUp() override
    {
        page.resize(640, 600);
        page.show();
        page.setFields(kFields);
    }
};

} // namespace

TEST_F(Page, StartValues)
{
    EXPECT_EQ(page.OperatorRadio->ItemIndex(), 0);
    EXPECT_EQ(page.TargetRadio->ItemIndex(), 0);
    EXPECT_EQ(page.BooleanRadio->ItemIndex(), 0);
    EXPECT_FALSE(page.QuoteChk->isChecked());
    EXPECT_EQ(page.DateSpin->Year(), 2000);
    EXPECT_EQ(page.DateSpin->Month(), 7);
    EXPECT_EQ(page.DateSpin->Day(), 18);
    EXPECT_EQ(page.FieldList1->count(), 4);
    EXPECT_EQ(page.FieldList1->selectedItems().value(0)->text(), "NAME");
    EXPECT_TRUE(page.QueryEdit->text().isEmpty());
    EXPECT_TRUE(page.FieldTypeDis->text().isEmpty());   // not set by filling the list
}

TEST_F(Page, ButtonsBuildBothStatements)
{
    // First statement: DEPTH > 36725 via the Date target.
    SelectField(page, 1);
    Click(page.Term1Btn);
    page.OperatorRadio->item(3)->click();
    Click(page.Op1Btn);
    page.TargetRadio->item(tkDate)->click();
    Click(page.Term2Btn);
    EXPECT_EQ(page.Term1Edit->text(), "DEPTH");
    EXPECT_EQ(page.Op1Edit->text(), ">");
    EXPECT_EQ(page.Term2Edit->text(), "36725");
    EXPECT_EQ(page.QueryEdit->text(), "(DEPTH  > 36725)");

    // Second statement: NAME <> True, the target gets quoted for the text field.
    SelectField(page, 0);
    Click(page.Term3Btn);
    page.OperatorRadio->item(1)->click();
    Click(page.Op2Btn);
    page.TargetRadio->item(tkTrue)->click();
    Click(page.Term4Btn);
    EXPECT_EQ(page.QueryEdit->text(), "(DEPTH  > 36725) OR (NAME  <> \"True\")");

    // Switching the conjunction rebuilds at once.
    Click(page.BooleanRadio->item(1));
    EXPECT_EQ(page.QueryEdit->text(), "(DEPTH  > 36725) AND (NAME  <> \"True\")");
    Click(page.BooleanRadio->item(0));
    EXPECT_EQ(page.QueryEdit->text(), "(DEPTH  > 36725) OR (NAME  <> \"True\")");

    // The date spin's date is what the Date target reads.
    page.DateSpin->setYear(1999);
    page.DateSpin->setMonth(12);
    page.DateSpin->setDay(31);
    page.TargetRadio->item(tkDate)->click();
    Click(page.Term2Btn);
    EXPECT_EQ(page.QueryEdit->text(), "(DEPTH  > 36525) OR (NAME  <> \"True\")");
}

TEST_F(Page, SecondStatementAloneStartsWithConjunction)
{
    page.Term3Edit->setText("DEPTH");
    page.Op2Edit->setText(">");
    page.Term4Edit->setText("10");
    EXPECT_EQ(page.QueryEdit->text(), " OR (DEPTH  > 10)");
    Click(page.BooleanRadio->item(1));
    EXPECT_EQ(page.QueryEdit->text(), " AND (DEPTH  > 10)");
}

TEST_F(Page, NullAndFieldTargetsWithoutSelection)
{
    page.Term2Edit->setText("x");
    page.TargetRadio->item(tkNull)->click();
    Click(page.Term2Btn);
    EXPECT_EQ(page.Term2Edit->text(), "");      // the box is set even to empty text
    page.QuoteChk->setChecked(true);
    Click(page.Term2Btn);
    EXPECT_EQ(page.Term2Edit->text(), "\"\"");

    page.FieldList1->clearSelection();
    page.QuoteChk->setChecked(false);
    page.TargetRadio->item(tkField)->click();
    Click(page.Term2Btn);
    EXPECT_EQ(page.Term2Edit->text(), "");

    // "Field" with nothing selected leaves the left box alone.
    page.Term1Edit->setText("KEEP");
    Click(page.Term1Btn);
    Click(page.Term3Btn);
    EXPECT_EQ(page.Term1Edit->text(), "KEEP");
    EXPECT_EQ(page.Term3Edit->text(), "");
}

TEST_F(Page, QuotedTargetAgainstTextFieldIsWrappedTwice)
{
    page.Term1Edit->setText("name");
    Click(page.Op1Btn);
    page.QuoteChk->setChecked(true);
    Click(page.Term2Btn);
    EXPECT_EQ(page.Term2Edit->text(), "\"True\"");
    EXPECT_EQ(page.QueryEdit->text(), "(name  = \"\"True\"\")");
}

TEST_F(Page, TypedConditionSurvivesUntilTheNextRealChange)
{
    page.Term1Edit->setText("DEPTH");
    page.Op1Edit->setText("=");
    page.Term2Edit->setText("1");
    ASSERT_EQ(page.QueryEdit->text(), "(DEPTH  = 1)");

    page.QueryEdit->setFocus();
    page.QueryEdit->selectAll();
    QTest::keyClicks(page.QueryEdit, "DEPTH > 2");
    EXPECT_EQ(page.QueryEdit->text(), "DEPTH > 2");

    // Setting a box to the text it holds is no change.
    page.Term1Edit->setText("DEPTH");
    Click(page.Op1Btn);                     // "=" again
    EXPECT_EQ(page.QueryEdit->text(), "DEPTH > 2");

    // Clear All on empty boxes changes nothing either.
    page.ClearAllBtnClick();
    EXPECT_EQ(page.QueryEdit->text(), "");
    page.QueryEdit->setText("typed");
    Click(page.ClearAllBtn);
    EXPECT_EQ(page.QueryEdit->text(), "typed");

    // Typing into a term box is a change.
    QTest::keyClicks(page.Term1Edit, "A");
    EXPECT_EQ(page.QueryEdit->text(), "");
    page.Op1Edit->setText("=");
    page.Term2Edit->setText("B");
    EXPECT_EQ(page.QueryEdit->text(), "(A  = B)");
    // The Boolean click overwrites typed text even when the content is the same.
    page.QueryEdit->setText("typed");
    Click(page.BooleanRadio->item(1));
    EXPECT_EQ(page.QueryEdit->text(), "(A  = B)");
}

TEST_F(Page, ResetSessionEmptiesBoxesConditionAndList)
{
    page.Term1Edit->setText("DEPTH");
    page.Op1Edit->setText("=");
    page.Term2Edit->setText("1");
    page.resetSession();
    EXPECT_EQ(page.QueryEdit->text(), "");
    EXPECT_EQ(page.FieldList1->count(), 0);
    EXPECT_TRUE(page.fields().isEmpty());
    // Without fields nothing is a text field any more.
    page.Term1Edit->setText("NAME");
    page.Op1Edit->setText("=");
    page.Term2Edit->setText("x");
    EXPECT_EQ(page.QueryEdit->text(), "(NAME  = x)");
}

TEST_F(Page, FieldTypeShownOnClick)
{
    page.setTypeNameFunction([](int type) { return QString("type %1").arg(type); });
    SelectField(page, 2);
    EXPECT_EQ(page.FieldTypeDis->text(), QString("type %1").arg(int(ftFloat)));
    page.setFields(kFields);   // refilling does not touch the label
    EXPECT_EQ(page.FieldTypeDis->text(), QString("type %1").arg(int(ftFloat)));
}
