// The Help menu of the main window opens the help file.
#include <QAction>
#include <QApplication>
#include <QTreeWidget>

#include "shell/help_request.h"
#include "shell/help_window.h"
#include "tests/app/form_fixture.h"

using namespace tarnel;
using test::FormTest;

namespace {

THelpWindow* OpenHelpWindow()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* help = qobject_cast<THelpWindow*>(w); help && help->isVisible()) return help;
    return nullptr;
}

} // namespace

TEST_F(FormTest, HelpMenuOpensContentsAndTheDefaultTopic)
{
    SetApplicationHelpFile(QStringLiteral(TARNEL_BIN_DIR "/TARNEL32.chm"));
    ASSERT_TRUE(form->SearchforHelpOn1->isEnabled() && form->Contents1->isEnabled());

    form->SearchforHelpOn1->trigger();
    THelpWindow* help = OpenHelpWindow();
    ASSERT_TRUE(help);
    EXPECT_EQ(help->CurrentTopic(), "/intro.htm");
    EXPECT_EQ(help->CurrentTab(), "Contents");

    help->ShowIndex(QStringLiteral("alias"));
    form->Contents1->trigger();
    EXPECT_EQ(OpenHelpWindow(), help);
    EXPECT_EQ(help->CurrentTab(), "Contents");
    EXPECT_GT(help->ContentsTree->topLevelItemCount(), 5);

    // A missing help file is an error box naming it.
    SetApplicationHelpFile(QStringLiteral("ELSEWHERE.chm"));
    ApplicationHelpCommand(HELP_QUIT, quintptr(0));
    EXPECT_FALSE(OpenHelpWindow());
    form->Contents1->trigger();
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].contains("ELSEWHERE.chm"));
    SetApplicationHelpFile(QStringLiteral("TARNEL32.chm"));
}
