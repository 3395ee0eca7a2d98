#include <QApplication>
#include <gtest/gtest.h>
#include <stdexcept>

#include "app/guarded.h"
#include "app/startup.h"
#include "controls/error_report.h"

using namespace tarnel::app;

TEST(Startup, NamesTheProgramAndRoutesEveryErrorToOneBox)
{
    QStringList shown;
    SetErrorReporter([&](QWidget*, const QString& m) { shown << m; });
    InitApplication(*qApp);
    EXPECT_EQ(QApplication::applicationName(), "Tarnel");
    EXPECT_EQ(qApp->property(kHelpFileProperty).toString(), "TARNEL32.chm");

    // An input control's error and a command's error reach the same place.
    tarnel::ReportControlError(nullptr, std::runtime_error("Invalid date"));
    EXPECT_FALSE(RunGuarded(nullptr, [] { throw std::runtime_error("Table does not exist"); }));
    EXPECT_EQ(shown, QStringList({"Invalid date", "Table does not exist"}));

    // The hourglass of a failed command is gone when its error is shown.
    RunGuarded(nullptr, [] {
        WaitCursor wait;
        throw std::runtime_error("late");
    });
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    tarnel::SetControlErrorReporter({});
    SetErrorReporter({});
}
