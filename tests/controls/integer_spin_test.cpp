#include <QClipboard>
#include <QLineEdit>
#include <QSignalSpy>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include <limits>

#include "controls/integer_spin.h"
#include "widget_helpers.h"

using namespace tarnel;
using namespace tarnel::test;

namespace {

class CountingSpin : public TIntegerSpin {
public:
    using TIntegerSpin::TIntegerSpin;
    int beeps = 0;

protected:
    void beep() override { ++beeps; }
};

// The "Field Size" set-up of the table design dialogs, in a window with a
// second control to move the focus to.
struct SizeSpin : ::testing::Test {
    QWidget window;
    CountingSpin* spin = new CountingSpin(&window);
    QLineEdit* other = new QLineEdit(&window);

    void SetUp() override
    {
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(spin);
        layout->addWidget(other);
        spin->setUseLimit(true);
        spin->setIncrement(1);
        spin->setMaxValue(100000000);
        spin->setMinValue(0);
        spin->setValue(16);
        ASSERT_TRUE(ShowActive(window));
        spin->setFocus();
    }

    void typeAndLeave(const QString& text)
    {
        spin->setFocus();
        spin->selectAll();
        QTest::keyClicks(spin, text);
        other->setFocus();
    }
};

} // namespace

TEST_F(SizeSpin, LeavingShowsALimitedNumber)
{
    typeAndLeave("150000000");
    EXPECT_EQ(spin->text(), "100000000");
    typeAndLeave("-5");
    EXPECT_EQ(spin->text(), "0");
    typeAndLeave("077");
    EXPECT_EQ(spin->text(), "77");

    // Not a number: the last good value stands in, and comes back on leaving.
    spin->setFocus();
    spin->clear();
    EXPECT_EQ(spin->Value(), 77);
    EXPECT_EQ(spin->text(), "");
    other->setFocus();
    EXPECT_EQ(spin->text(), "77");
    typeAndLeave("-");
    EXPECT_EQ(spin->text(), "77");
}

TEST_F(SizeSpin, StepsByKeysAndArrows)
{
    QTest::keyClick(spin, Qt::Key_Up);
    EXPECT_EQ(spin->Value(), 17);
    QTest::keyClick(spin, Qt::Key_Up, Qt::ControlModifier);
    EXPECT_EQ(spin->Value(), 27);
    QTest::keyClick(spin, Qt::Key_Down, Qt::ControlModifier);
    QTest::keyClick(spin, Qt::Key_Down);
    EXPECT_EQ(spin->Value(), 16);
    QTest::mouseClick(spin->button()->upButton(), Qt::LeftButton);
    EXPECT_EQ(spin->text(), "17");
    QTest::mouseClick(spin->button()->downButton(), Qt::LeftButton);
    EXPECT_EQ(spin->text(), "16");

    spin->setValue(100000000);
    QTest::keyClick(spin, Qt::Key_Up);
    EXPECT_EQ(spin->text(), "100000000");
    spin->setValue(3);
    QTest::keyClick(spin, Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(spin->text(), "0");
    EXPECT_EQ(spin->beeps, 0);
}

TEST_F(SizeSpin, TypingFilterBeepsAtRefusedCharacters)
{
    spin->selectAll();
    QTest::keyClicks(spin, "1x2");
    EXPECT_EQ(spin->text(), "12");
    EXPECT_EQ(spin->beeps, 1);

    spin->setHexMode(true);
    EXPECT_EQ(spin->text(), "000C");
    spin->selectAll();
    QTest::keyClicks(spin, "bG");
    EXPECT_EQ(spin->text(), "b");
    EXPECT_EQ(spin->beeps, 2);
    EXPECT_EQ(spin->Value(), 11);

    // Typing switched off: digits and Backspace are refused, the arrows still work.
    spin->setHexMode(false);
    spin->setEditorEnabled(false);
    spin->setCursorPosition(2);
    QTest::keyClick(spin, Qt::Key_5);
    QTest::keyClick(spin, Qt::Key_Backspace);
    EXPECT_EQ(spin->text(), "11");
    EXPECT_EQ(spin->beeps, 4);
    QApplication::clipboard()->setText("999");
    spin->selectAll();
    QTest::keyClick(spin, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(spin, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(spin->text(), "11");
    QTest::keyClick(spin, Qt::Key_Up);
    EXPECT_EQ(spin->text(), "12");
}

TEST_F(SizeSpin, HexModeKeepsTheValue)
{
    spin->setValue(255);
    spin->setHexMode(true);
    EXPECT_EQ(spin->text(), "00FF");
    spin->setHexDigits(6);
    EXPECT_EQ(spin->text(), "0000FF");
    QTest::keyClick(spin, Qt::Key_Up);
    EXPECT_EQ(spin->text(), "000100");
    spin->setHexMode(false);
    EXPECT_EQ(spin->text(), "256");
}

TEST_F(SizeSpin, MovingALimitPastTheValueMovesTheValue)
{
    spin->setValue(500);
    spin->setMaxValue(100);
    EXPECT_EQ(spin->text(), "100");
    spin->setMaxValue(1000);
    spin->setMinValue(200);
    EXPECT_EQ(spin->text(), "200");
    spin->setMinValue(10);
    spin->setMaxValue(300);
    EXPECT_EQ(spin->text(), "200");
}

TEST_F(SizeSpin, UndoAndRedoOfTyping)
{
    spin->setShortCutMode(smStandard);
    spin->setCursorPosition(2);
    QTest::keyClicks(spin, "34");
    EXPECT_EQ(spin->text(), "1634");
    QSignalSpy undone(spin, &TCustomEditEx::OnUndo);
    QTest::keyClick(spin, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(spin->text(), "163");
    EXPECT_EQ(spin->cursorPosition(), 3);
    QTest::keyClick(spin, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(spin->text(), "16");
    QTest::keyClick(spin, Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(spin->text(), "163");
    QTest::keyClick(spin, Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(spin->text(), "1634");
    QTest::keyClick(spin, Qt::Key_Y, Qt::ControlModifier);   // nothing left to redo
    EXPECT_EQ(spin->text(), "1634");
    EXPECT_EQ(undone.count(), 2);

    // Delete records too; a new change forgets what could be redone.
    spin->setCursorPosition(0);
    QTest::keyClick(spin, Qt::Key_Delete);
    EXPECT_EQ(spin->text(), "634");
    QTest::keyClick(spin, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(spin->text(), "1634");
    spin->setCursorPosition(4);
    QTest::keyClick(spin, Qt::Key_1);
    QTest::keyClick(spin, Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(spin->text(), "16341");

    // Backspace at the start does nothing and leaves the history alone.
    spin->setCursorPosition(0);
    QTest::keyClick(spin, Qt::Key_Backspace);
    QTest::keyClick(spin, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(spin->text(), "1634");
    QTest::keyClick(spin, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(spin->selectedText(), "1634");
}

TEST_F(SizeSpin, ReadOnlyAndOwnerSteps)
{
    spin->setReadOnly(true);
    QTest::keyClick(spin, Qt::Key_Up);
    EXPECT_EQ(spin->text(), "16");
    EXPECT_EQ(spin->beeps, 1);
    spin->setReadOnly(false);

    spin->setOwnerIncrement(true);
    spin->OnIncrement = [](TIntegerSpin*, bool up, qint64& value) { value = up ? value * 2 : value / 2; };
    QTest::keyClick(spin, Qt::Key_Up, Qt::ControlModifier);
    EXPECT_EQ(spin->text(), "32");
    spin->StepDown();
    EXPECT_EQ(spin->text(), "16");
    spin->OnIncrement = nullptr;
    spin->StepUp();
    EXPECT_EQ(spin->text(), "16");
}

TEST(IntegerSpin, OverflowLeavesTheValueAndIsReportedFromKeys)
{
    CapturedErrors errors;
    TIntegerSpin spin;
    spin.setValue(std::numeric_limits<qint64>::max());
    const QString before = spin.text();
    EXPECT_THROW(spin.StepUp(), IntegerOverflowError);
    EXPECT_EQ(spin.text(), before);
    QTest::keyClick(&spin, Qt::Key_Up);
    EXPECT_EQ(spin.text(), before);
    EXPECT_EQ(errors.messages(), QStringList{"Integer overflow"});
}

TEST(IntegerSpin, WrapsAndTellsWhichWay)
{
    TIntegerSpin spin;
    spin.setUseLimit(true);
    spin.setWrap(true);
    spin.setMaxValue(59);
    QSignalSpy wrapped(&spin, &TCustomSpin::OnWrap);
    spin.setValue(59);
    spin.StepUp();
    EXPECT_EQ(spin.text(), "0");
    spin.StepDown();
    EXPECT_EQ(spin.text(), "59");
    ASSERT_EQ(wrapped.count(), 2);
    EXPECT_EQ(wrapped.at(0).at(1).toInt(), 0);
    EXPECT_EQ(wrapped.at(1).at(1).toInt(), 1);
}

TEST(IntegerSpin, ChangeEventsAndUnitsPanel)
{
    TIntegerSpin spin;
    spin.resize(120, 24);
    spin.show();
    EXPECT_EQ(spin.text(), "0");
    QSignalSpy changes(&spin, &TCustomSpin::OnChange);
    spin.setValue(5);
    spin.setBlockChangeEvent(true);
    spin.setValue(6);
    spin.setBlockChangeEvent(false);
    EXPECT_EQ(changes.count(), 1);

    EXPECT_FALSE(spin.panel()->isVisible());
    spin.setUnitsString("mm");
    EXPECT_TRUE(spin.panel()->isVisible());
    EXPECT_EQ(spin.panel()->width(), spin.panel()->fontMetrics().horizontalAdvance("mm") + 6);
    EXPECT_EQ(spin.panel()->geometry().right() + 1, spin.button()->geometry().left());
    spin.setPanelWidth(40);
    EXPECT_EQ(spin.panel()->width(), 40);
    EXPECT_EQ(spin.textMargins().right(), spin.button()->width() + 2 + 40);
    spin.setUnitsString("");
    EXPECT_FALSE(spin.panel()->isVisible());
    EXPECT_EQ(spin.textMargins().right(), spin.button()->width() + 2);
    // The arrows sit inside the right edge.
    EXPECT_LE(spin.button()->geometry().right(), spin.width() - 1);
}
