#pragma once
// Records every message box the program would show, instead of showing it.
#include <QList>
#include <QStringList>

#include "controls/error_guard.h"

namespace tarnel::test {

struct BoxRecorder {
    QList<ShownBox> boxes;
    bool answer = true;   // the answer to a question box

    BoxRecorder()
    {
        previous_ = SetMessageBoxHook([this](const ShownBox& box) {
            boxes << box;
            return answer;
        });
    }
    ~BoxRecorder() { SetMessageBoxHook(std::move(previous_)); }
    BoxRecorder(const BoxRecorder&) = delete;
    BoxRecorder& operator=(const BoxRecorder&) = delete;

    // The texts of the error boxes so far.
    QStringList errors() const
    {
        QStringList texts;
        for (const ShownBox& box : boxes)
            if (box.kind == BoxKind::Error) texts << box.text;
        return texts;
    }

private:
    MessageBoxHook previous_;
};

} // namespace tarnel::test
