#include "shell/help_service.h"

#include <QCoreApplication>
#include <QFileInfo>

#include "controls/error_guard.h"
#include "shell/help_window.h"

#ifndef TARNEL_DATA_DIR
#define TARNEL_DATA_DIR "/usr/local/share/tarnel"
#endif

namespace tarnel {

QStringList HelpFileCandidates(const QString& helpFile)
{
    if (helpFile.contains(QLatin1Char('/'))) return {helpFile};
    const QString exeDir = QCoreApplication::applicationDirPath();
    QStringList places{exeDir + QLatin1Char('/') + helpFile,
                       QFileInfo(exeDir + QStringLiteral("/../share/tarnel/") + helpFile).absoluteFilePath(),
                       QStringLiteral(TARNEL_DATA_DIR "/") + helpFile};
    places.removeDuplicates();
    return places;
}

TChmHelpService::~TChmHelpService() { CloseAll(); }

THelpWindow* TChmHelpService::Window(const QString& helpFile) const
{
    for (const QString& place : HelpFileCandidates(helpFile))
        if (const auto it = windows_.find(place); it != windows_.end() && *it) return *it;
    return nullptr;
}

QList<THelpWindow*> TChmHelpService::Windows() const
{
    QList<THelpWindow*> list;
    for (const auto& w : windows_)
        if (w) list << w.data();
    return list;
}

void TChmHelpService::CloseAll()
{
    for (const auto& w : windows_)
        if (w) delete w.data();
    windows_.clear();
}

THelpWindow* TChmHelpService::OpenWindow(QWidget* owner, const QString& helpFile)
{
    if (THelpWindow* open = Window(helpFile)) return open;
    const QStringList places = HelpFileCandidates(helpFile);
    for (const QString& place : places) {
        if (!QFileInfo(place).isFile()) continue;
        try {
            auto* window = new THelpWindow(std::make_unique<ChmFile>(QFile::encodeName(place).toStdString()));
            window->setAttribute(Qt::WA_QuitOnClose, false);
            windows_.insert(place, window);
            return window;
        } catch (const std::exception& e) {
            ShowErrorBox(owner, QString::fromUtf8(e.what()));
            return nullptr;
        }
    }
    ShowErrorBox(owner, QStringLiteral("The help file \"%1\" was not found. Looked in:\n%2")
                       .arg(QFileInfo(helpFile).fileName(), places.join(QLatin1Char('\n'))));
    return nullptr;
}

bool TChmHelpService::HtmlHelp(QWidget* owner, const QString& helpFile, unsigned command, const HelpData& data)
{
    if (command == HH_CLOSE_ALL) {
        CloseAll();
        return true;
    }
    // The file part of a topic address ("TARNEL32.chm::/intro.htm").
    const int sep = helpFile.indexOf(QStringLiteral("::"));
    const QString file = sep < 0 ? helpFile : helpFile.left(sep);
    const QString addressTopic = TopicOfAddress(helpFile);
    THelpWindow* window = OpenWindow(owner, file);
    if (!window) return false;

    const quintptr number = std::holds_alternative<quintptr>(data) ? std::get<quintptr>(data) : 0;
    const QString text = std::holds_alternative<QString>(data) ? std::get<QString>(data) : QString();
    bool ok = true;
    switch (command) {
    case HH_DISPLAY_TOPIC: {
        const QString topic = !text.isEmpty() ? TopicOfAddress(text).isEmpty() ? text : TopicOfAddress(text) : addressTopic;
        if (topic.isEmpty()) window->ShowDefaultTopic();
        else if (!window->ShowTopic(topic)) {
            ShowErrorBox(owner, QStringLiteral("The help file \"%1\" has no topic \"%2\".").arg(file, topic));
            ok = false;
        }
        break;
    }
    case HH_DISPLAY_TOC: window->ShowContents(); break;
    case HH_DISPLAY_INDEX: window->ShowIndex(text); break;
    case HH_KEYWORD_LOOKUP: {
        const HH_AKLINK link = std::holds_alternative<HH_AKLINK>(data) ? std::get<HH_AKLINK>(data) : HH_AKLINK{};
        if (!window->LookupKeyword(link.pszKeywords)) {
            if (link.fIndexOnFail) window->ShowIndex(link.pszKeywords);
            else ok = false;
        }
        break;
    }
    case HH_HELP_CONTEXT: {
        const auto topic = window->file().TopicForContext(unsigned(number));
        if (!topic || !window->ShowTopic(QString::fromStdString(*topic))) {
            ShowErrorBox(owner, QStringLiteral("The help file \"%1\" has no topic number %2.").arg(file).arg(number));
            ok = false;
        }
        break;
    }
    default: ok = false; break;
    }
    if (window->isHidden() && (ok || window->Browser->source().isValid())) window->show();
    window->raise();
    window->activateWindow();
    return ok;
}

} // namespace tarnel
