#include "shell/help_request.h"

#include <QAbstractButton>
#include <QApplication>
#include <QWidget>

namespace tarnel {

namespace {

constexpr const char* kHelpFileProperty = "helpFile";
constexpr const char* kHelpContextProperty = "helpContext";

HelpRequestHook& Hook()
{
    static HelpRequestHook hook;
    return hook;
}

QString Extension(const QString& file)
{
    const int slash = file.lastIndexOf(QLatin1Char('/'));
    const int dot = file.lastIndexOf(QLatin1Char('.'));
    return dot > slash ? file.mid(dot) : QString();
}

QWidget* FocusWindow()
{
    QWidget* focus = QApplication::focusWidget();
    return focus ? focus->window() : QApplication::activeWindow();
}

} // namespace

HtmlHelpRequest MapHelpCommand(unsigned command, const HelpData& data)
{
    switch (command) {
    case HELP_CONTEXT:
    case HELP_CONTEXTPOPUP: return {HH_HELP_CONTEXT, data};
    case HELP_QUIT: return {HH_CLOSE_ALL, quintptr(0)};
    case HELP_CONTENTS: return {HH_DISPLAY_TOC, quintptr(0)};
    case HELP_FINDER: return {HH_DISPLAY_TOPIC, data};
    case HELP_KEY: return {HH_DISPLAY_INDEX, data};
    default: return {HH_DISPLAY_TOPIC, quintptr(0)};
    }
}

QString TopicAddress(const QString& helpFile, const QString& topic)
{
    if (topic.isEmpty()) return helpFile;
    if (topic.startsWith(QLatin1Char('/'))) return helpFile + QStringLiteral("::") + topic;
    return helpFile + QStringLiteral("::/") + topic;
}

QString TopicOfAddress(const QString& address)
{
    const int sep = address.indexOf(QStringLiteral("::"));
    if (sep < 0) return {};
    return address.mid(sep + 2);
}

bool IsHtmlHelpFile(const QString& helpFile)
{
    return Extension(helpFile).compare(QStringLiteral(".chm"), Qt::CaseInsensitive) == 0;
}

bool IsWinHelpFile(const QString& helpFile)
{
    return Extension(helpFile).compare(QStringLiteral(".hlp"), Qt::CaseInsensitive) == 0;
}

QString ApplicationHelpFile() { return qApp ? qApp->property(kHelpFileProperty).toString() : QString(); }

void SetApplicationHelpFile(const QString& file)
{
    if (qApp) qApp->setProperty(kHelpFileProperty, file);
}

void SetHelpRequestHook(HelpRequestHook hook) { Hook() = std::move(hook); }

bool HasHelpRequestHook() { return bool(Hook()); }

bool ApplicationHelpCommand(unsigned command, const HelpData& data)
{
    if (!Hook()) return false;
    bool callHelp = true;
    // Copy: the hook may be replaced while it runs (a help window closing the program).
    const HelpRequestHook hook = Hook();
    return hook(command, data, callHelp);
}

bool ApplicationHelpContext(unsigned topic) { return ApplicationHelpCommand(HELP_CONTEXT, quintptr(topic)); }

void SetHelpContext(QWidget* widget, int topic) { widget->setProperty(kHelpContextProperty, topic); }

int NearestHelpContext(const QWidget* widget)
{
    for (const QWidget* w = widget; w; w = w->parentWidget()) {
        if (const int topic = w->property(kHelpContextProperty).toInt(); topic != 0) return topic;
        if (w->isWindow()) break;
    }
    return 0;
}

int HelpButtonClick(const QWidget* button)
{
    const int topic = NearestHelpContext(button);
    if (topic != 0) ApplicationHelpContext(unsigned(topic));
    return topic;
}

void ConnectHelpButton(QAbstractButton* button)
{
    QObject::connect(button, &QAbstractButton::clicked, button, [button] { HelpButtonClick(button); });
}

// ---- viewer

QString THTMLHelpViewer::CurrentHelpFile() const
{
    return manager_ ? manager_->CurrentHelpFile() : ApplicationHelpFile();
}

QWidget* THTMLHelpViewer::Owner() const { return manager_ ? manager_->OwnerWindow() : FocusWindow(); }

QStringList THTMLHelpViewer::GetHelpStrings(const QString& keyword, const QString& helpFile) const
{
    QStringList list;
    if (IsHtmlHelpFile(helpFile)) list << keyword;
    return list;
}

void THTMLHelpViewer::ShowTableOfContents()
{
    service_.HtmlHelp(Owner(), CurrentHelpFile(), HH_DISPLAY_TOC, quintptr(0));
}

void THTMLHelpViewer::ShowHelp(const QString& keyword)
{
    HH_AKLINK link;
    link.pszKeywords = keyword;
    link.fIndexOnFail = true;
    service_.HtmlHelp(Owner(), CurrentHelpFile(), HH_KEYWORD_LOOKUP, link);
}

void THTMLHelpViewer::ShowTopic(const QString& topic)
{
    service_.HtmlHelp(Owner(), TopicAddress(CurrentHelpFile(), topic), HH_DISPLAY_TOPIC, quintptr(0));
}

void THTMLHelpViewer::ShowContext(unsigned number)
{
    service_.HtmlHelp(Owner(), CurrentHelpFile(), HH_HELP_CONTEXT, quintptr(number));
}

void THTMLHelpViewer::SoftShutDown() { service_.HtmlHelp(nullptr, QString(), HH_CLOSE_ALL, quintptr(0)); }

void THTMLHelpViewer::ShutDown()
{
    SoftShutDown();
    manager_ = nullptr;
}

// ---- help manager

THelpManager& THelpManager::Instance()
{
    static THelpManager manager;
    return manager;
}

int THelpManager::RegisterViewer(THTMLHelpViewer* viewer)
{
    const int id = nextId_++;
    viewers_.emplace_back(id, viewer);
    viewer->SetManager(this);
    viewer->NotifyID(id);
    return id;
}

void THelpManager::Release(int viewerId)
{
    std::erase_if(viewers_, [viewerId](const auto& v) { return v.first == viewerId; });
}

THTMLHelpViewer* THelpManager::Viewer(int viewerId) const
{
    for (const auto& [id, viewer] : viewers_)
        if (id == viewerId) return viewer;
    return nullptr;
}

int THelpManager::ViewerCount() const { return int(viewers_.size()); }

QWidget* THelpManager::OwnerWindow() const { return FocusWindow(); }

// ---- component

TCHMHelper::TCHMHelper(HtmlHelpService& service, bool designing) : service_(service), viewer_(service)
{
    if (designing) return;
    THelpManager& manager = THelpManager::Instance();
    manager.SetLegacyHelpTester(&tester_);
    manager.RegisterViewer(&viewer_);
    SetHelpRequestHook([this](unsigned command, const HelpData& data, bool& callHelp) {
        return ApplicationHelp(command, data, callHelp);
    });
    installed_ = true;
}

TCHMHelper::~TCHMHelper()
{
    if (!installed_) return;
    SetHelpRequestHook(nullptr);
    THelpManager& manager = THelpManager::Instance();
    if (manager.LegacyHelpTester() == &tester_) manager.SetLegacyHelpTester(nullptr);
    const int id = viewer_.ViewerID();
    viewer_.SoftShutDown();
    manager.Release(id);
}

bool TCHMHelper::ApplicationHelp(unsigned command, const HelpData& data, bool& callHelp)
{
    callHelp = false;
    const HtmlHelpRequest request = MapHelpCommand(command, data);
    service_.HtmlHelp(FocusWindow(), ApplicationHelpFile(), request.command, request.data);
    return true;
}

} // namespace tarnel
