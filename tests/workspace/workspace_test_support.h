#pragma once
// Helpers for driving the modal choosers in tests.
#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <cstdlib>
#include <gtest/gtest.h>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <unistd.h>

#include "controls/error_guard.h"
#include "engine/aliases.h"
#include "tests/support/test_paths.h"

// Readable QString values in test failures.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace tarnel::test {

// Runs `whileOpen` once `dialog` shows; the caller then starts the dialog.
inline void WhenShown(QDialog* dialog, std::function<void()> whileOpen)
{
    auto* timer = new QTimer(dialog);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, dialog, [dialog, timer, whileOpen] {
        if (!dialog->isVisible()) return;
        timer->stop();
        timer->deleteLater();
        whileOpen();
        // A check that failed must not leave the dialog waiting for ever.
        if (dialog->isVisible() && ::testing::Test::HasFailure()) dialog->reject();
    });
    timer->start();
}

// Answers the next message box the program shows (OK), remembering its text;
// later boxes go where they went before.
inline void AnswerNextMessageBox(QString* text)
{
    auto previous = std::make_shared<MessageBoxHook>();
    auto answered = std::make_shared<bool>(false);
    *previous = SetMessageBoxHook([text, previous, answered](const ShownBox& box) {
        if (*answered) return *previous ? (*previous)(box) : true;
        *answered = true;
        if (text) *text = box.text;
        return true;
    });
}

// A scratch settings folder (with the alias store) and a scratch working
// folder, both put back afterwards.
class ChooserEnvironment {
public:
    ChooserEnvironment()
    {
        if (const char* old = std::getenv("XDG_CONFIG_HOME")) oldConfig_ = old, hadConfig_ = true;
        ::setenv("XDG_CONFIG_HOME", config_.path().c_str(), 1);
        char buffer[4096];
        if (::getcwd(buffer, sizeof buffer)) oldFolder_ = buffer;
        (void)::chdir(data_.path().c_str());
    }
    ~ChooserEnvironment()
    {
        (void)::chdir(oldFolder_.c_str());
        if (hadConfig_) ::setenv("XDG_CONFIG_HOME", oldConfig_.c_str(), 1);
        else ::unsetenv("XDG_CONFIG_HOME");
    }
    const ScratchDir& data() const { return data_; }
    const ScratchDir& config() const { return config_; }

private:
    ScratchDir config_;
    ScratchDir data_;
    std::string oldFolder_;
    std::string oldConfig_;
    bool hadConfig_ = false;
};

} // namespace tarnel::test
