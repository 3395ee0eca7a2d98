#include "shell/shell_open.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace tarnel::shell {

std::string ShellErrorText(int code)
{
    switch (code) {
    case seOutOfResources: return "The operating system is out of memory or resources.";
    case seFileNotFound: return "The specified file was not found.";
    case sePathNotFound: return "The specified path was not found.";
    case seAccessDenied: return "The operating system denied access to the specified file. ";
    case seOutOfMemory: return "There was not enough memory to complete the operation.";
    case seBadFormat: return "The .EXE file is invalid (non-Win32 .EXE or error in .EXE image).";
    case seShare: return "A sharing violation occurred.";
    case seAssocIncomplete: return "The filename association is incomplete or invalid.";
    case seDdeTimeout:
        return "The DDE transaction could not be completed because the request timed out.";
    case seDdeFail: return "The DDE transaction failed.";
    case seDdeBusy:
        return "The DDE transaction could not be completed because other DDE transactions "
               "were being processed.";
    case seNoAssoc: return "There is no application associated with the given filename extension.";
    case seDllNotFound: return "The specified dynamic-link library was not found. ";
    default: return {};
    }
}

namespace {

bool LooksLikeAddress(const QString& target)
{
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+:"));
    return scheme.match(target).hasMatch();
}

int LocalFileCode(const QString& path)
{
    QFileInfo info(path);
    if (!info.exists()) return QFileInfo(info.absolutePath()).isDir() ? seFileNotFound : sePathNotFound;
    if (!info.isReadable()) return seAccessDenied;
    return seSuccess;
}

} // namespace

int ShellExecuteOpen(const std::string& target, const TUrlOpener& opener)
{
    QString text = QString::fromStdString(target).trimmed();
    if (text.isEmpty()) return seFileNotFound;
    QUrl url;
    if (LooksLikeAddress(text)) {
        url = QUrl(text, QUrl::StrictMode);
        if (!url.isValid()) return seFileNotFound;
        if (url.isLocalFile()) {
            int code = LocalFileCode(url.toLocalFile());
            if (code != seSuccess) return code;
        }
    } else {
        int code = LocalFileCode(text);
        if (code != seSuccess) return code;
        url = QUrl::fromLocalFile(QFileInfo(text).absoluteFilePath());
    }
    bool opened = opener ? opener(url) : QDesktopServices::openUrl(url);
    return opened ? seSuccess : seNoAssoc;
}

void ShellOpen(const std::string& target)
{
    int code = ShellExecuteOpen(target);
    if (code > 32) return;
    throw ShellError(code, ShellErrorText(code));
}

} // namespace tarnel::shell
