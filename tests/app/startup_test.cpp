#include <QApplication>
#include <gtest/gtest.h>
#include <stdexcept>

#include "app/startup.h"
#include "controls/error_guard.h"
#include "tests/support/box_recorder.h"

using namespace tarnel;

TEST(Startup, NamesTheProgramAndTitlesEveryErrorBoxWithTheApplicationTitle)
{
    test::BoxRecorder boxes;
    app::InitApplication(*qApp);
    EXPECT_EQ(QApplication::applicationName(), "Tarnel");
    EXPECT_EQ(qApp->property(app::kHelpFileProperty).toString(), "TARNEL32.chm");

    EXPECT_FALSE(RunGuarded(nullptr, [] { throw std::runtime_error("Table does not exist"); }));
    SetApplicationTitle("historic.dbf - Tarnel 32");
    EXPECT_FALSE(RunGuarded(nullptr, [] { throw 42; }));
    ASSERT_EQ(boxes.boxes.size(), 2);
    EXPECT_EQ(boxes.boxes[0].title, "Tarnel");
    EXPECT_EQ(boxes.boxes[0].text, "Table does not exist");
    EXPECT_EQ(boxes.boxes[1].title, "historic.dbf - Tarnel 32");
    EXPECT_EQ(boxes.boxes[1].text, "Unknown error");

    // The box shows the normal pointer; the hourglass of a failed command is
    // gone once it has failed.
    bool hourglassUnderBox = true;
    SetMessageBoxHook([&](const ShownBox&) {
        hourglassUnderBox = QApplication::overrideCursor() != nullptr;
        return true;
    });
    RunGuarded(nullptr, [] {
        WaitCursor wait;
        ShowErrorBox(nullptr, "late");
        EXPECT_NE(QApplication::overrideCursor(), nullptr);
        throw std::runtime_error("later");
    });
    EXPECT_FALSE(hourglassUnderBox);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    SetApplicationTitle("Tarnel");
}
