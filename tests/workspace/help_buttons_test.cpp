// The choosers' Help buttons, through the help hook into the help window.
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include "shell/help_request.h"
#include "shell/help_service.h"
#include "shell/help_window.h"
#include "tests/support/box_recorder.h"
#include "tests/workspace/workspace_test_support.h"
#include "workspace/open_db_dlg.h"
#include "workspace/path_alias_dlg.h"

using namespace tarnel;

TEST(HelpButtons, OpenDatabaseShowsTopicOneAndThePathChooserNothing)
{
    test::ChooserEnvironment env;
    const QString file = QStringLiteral(TARNEL_BIN_DIR "/TARNEL32.chm");
    SetApplicationHelpFile(file);
    test::BoxRecorder boxes;
    TChmHelpService service;
    TCHMHelper helper(service);

    TPathAliasDlg chooser;
    chooser.show();
    QTest::mouseClick(chooser.HelpBtn, Qt::LeftButton);
    EXPECT_TRUE(service.Windows().isEmpty());

    TOpenDBDlg dlg;
    dlg.show();
    QTest::mouseClick(dlg.HelpBtn, Qt::LeftButton);
    ASSERT_TRUE(service.Window(file));
    EXPECT_TRUE(service.Window(file)->isVisible());
    EXPECT_EQ(service.Window(file)->CurrentTopic(), "/dlg_open.htm");
    EXPECT_TRUE(boxes.errors().isEmpty()) << boxes.errors().join("\n").toStdString();
    SetApplicationHelpFile(QStringLiteral("TARNEL32.chm"));
}
