#pragma once
// Opening a document, folder or address with the desktop's default handler.
#include <QUrl>
#include <functional>
#include <stdexcept>
#include <string>

namespace tarnel::shell {

// The error ShellOpen raises; its message is ShellErrorText of the code.
class ShellError : public std::runtime_error {
public:
    ShellError(int code, const std::string& message) : std::runtime_error(message), code_(code) {}
    int code() const { return code_; }

private:
    int code_;
};

// Failure codes (values above 32 mean success).
enum : int {
    seOutOfResources = 0,
    seFileNotFound = 2,
    sePathNotFound = 3,
    seAccessDenied = 5,
    seOutOfMemory = 8,
    seBadFormat = 11,
    seShare = 26,
    seAssocIncomplete = 27,
    seDdeTimeout = 28,
    seDdeFail = 29,
    seDdeBusy = 30,
    seNoAssoc = 31,
    seDllNotFound = 32,
    seSuccess = 42,
};

// The message text for a failure code; empty for a code not listed.
std::string ShellErrorText(int code);

// Opens the target: an address with a scheme ("https://...", "mailto:...")
// or a local path (relative paths from the working folder). Returns a code
// above 32 on success, else a failure code: a missing file 2, a missing
// folder on its path 3, an unreadable file 5, no handler 31.
using TUrlOpener = std::function<bool(const QUrl&)>;
int ShellExecuteOpen(const std::string& target, const TUrlOpener& opener = {});

// As ShellExecuteOpen, throwing ShellError on failure.
void ShellOpen(const std::string& target);

} // namespace tarnel::shell
