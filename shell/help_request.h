#pragma once
// Help requests. The program asks for help in the older command style (a
// command and a data value); the application's request hook, installed by
// TCHMHelper, turns each request into a command of the HTML Help service
// and passes it on. THTMLHelpViewer is the help manager's viewer for .chm
// files; TWinHelpMakeBehave tells the help system which files are the
// legacy help engine's (.hlp).
#include <QAbstractButton>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>
#include <variant>

class QWidget;

namespace tarnel {

// Older help commands.
inline constexpr unsigned HELP_CONTEXT = 1;
inline constexpr unsigned HELP_QUIT = 2;
inline constexpr unsigned HELP_CONTENTS = 3;
inline constexpr unsigned HELP_CONTEXTPOPUP = 8;
inline constexpr unsigned HELP_FINDER = 0x0B;
inline constexpr unsigned HELP_KEY = 0x101;
inline constexpr unsigned HELP_PARTIALKEY = 0x105;

// HTML Help commands.
inline constexpr unsigned HH_DISPLAY_TOPIC = 0;
inline constexpr unsigned HH_DISPLAY_TOC = 1;
inline constexpr unsigned HH_DISPLAY_INDEX = 2;
inline constexpr unsigned HH_KEYWORD_LOOKUP = 13;
inline constexpr unsigned HH_HELP_CONTEXT = 15;
inline constexpr unsigned HH_CLOSE_ALL = 18;

// A keyword lookup record.
struct HH_AKLINK {
    int cbStruct = 32;
    bool fReserved = false;
    QString pszKeywords;        // one keyword, or several separated by ";"
    QString pszUrl, pszMsgText, pszMsgTitle, pszWindow;
    bool fIndexOnFail = true;
};

// A request's data: a number (topic number, or 0), a text (keyword or
// topic address) or a keyword lookup record.
using HelpData = std::variant<quintptr, QString, HH_AKLINK>;

struct HtmlHelpRequest {
    unsigned command = HH_DISPLAY_TOPIC;
    HelpData data = quintptr(0);
};

// The request hook's mapping of an older command and its data.
HtmlHelpRequest MapHelpCommand(unsigned command, const HelpData& data);

// "file::/topic" ("file::" + topic when the topic starts with "/"; the file
// alone for an empty topic).
QString TopicAddress(const QString& helpFile, const QString& topic);
// The topic part of an address ("/intro.htm"), or empty text when it has none.
QString TopicOfAddress(const QString& address);

bool IsHtmlHelpFile(const QString& helpFile);   // extension ".chm", any case
bool IsWinHelpFile(const QString& helpFile);    // extension ".hlp", any case

// The HTML Help service: shows help for a file in help windows of its own.
class HtmlHelpService {
public:
    virtual ~HtmlHelpService() = default;
    // The service reports its own failures (an error box); the result is not looked at.
    virtual bool HtmlHelp(QWidget* owner, const QString& helpFile, unsigned command, const HelpData& data) = 0;
};

// The application's help file (set at start-up) and its request hook.
QString ApplicationHelpFile();
void SetApplicationHelpFile(const QString& file);
// The hook takes the command, the data and "call the platform's help too";
// it returns whether the request was handled.
using HelpRequestHook = std::function<bool(unsigned command, const HelpData& data, bool& callHelp)>;
void SetHelpRequestHook(HelpRequestHook hook);
bool HasHelpRequestHook();
// Sends a request through the hook; false when none is installed.
bool ApplicationHelpCommand(unsigned command, const HelpData& data);
bool ApplicationHelpContext(unsigned topic);   // HELP_CONTEXT with the topic number

// A control's help topic number (0: none), kept as the "helpContext" property.
void SetHelpContext(QWidget* widget, int topic);
// The topic number of the nearest control, the widget first and then its
// containers up to its window, whose topic number is not 0.
int NearestHelpContext(const QWidget* widget);
// What a Help button does when clicked: asks for the nearest topic number
// (HELP_CONTEXT) and returns it; asks nothing and returns 0 when there is none.
int HelpButtonClick(const QWidget* button);
// Connects a Help button's click to HelpButtonClick.
void ConnectHelpButton(QAbstractButton* button);
// A dialog's Help button: HelpButtonClick, and then the dialog's signal
// `told` (its helpRequested) with the topic asked for, when there was one.
template <class Dialog>
void ConnectHelpButton(QAbstractButton* button, Dialog* dialog, void (Dialog::*told)(int))
{
    QObject::connect(button, &QAbstractButton::clicked, dialog, [button, dialog, told] {
        if (const int topic = HelpButtonClick(button)) (dialog->*told)(topic);
    });
}

class THelpManager;

// The help manager's viewer for .chm files.
class THTMLHelpViewer {
public:
    explicit THTMLHelpViewer(HtmlHelpService& service) : service_(service) {}
    QString GetViewerName() const { return QStringLiteral("HTMLHelp Viewer"); }
    bool UnderstandsKeyword(const QString& helpFile) const { return IsHtmlHelpFile(helpFile); }
    bool UnderstandsTopic(const QString& helpFile) const { return IsHtmlHelpFile(helpFile); }
    bool UnderstandsContext(const QString& helpFile) const { return IsHtmlHelpFile(helpFile); }
    QStringList GetHelpStrings(const QString& keyword, const QString& helpFile) const;
    bool CanShowTableOfContents(const QString& helpFile) const { return IsHtmlHelpFile(helpFile); }
    void ShowTableOfContents();
    void ShowHelp(const QString& keyword);
    void ShowTopic(const QString& topic);
    void ShowContext(unsigned number);
    void NotifyID(int viewerId) { viewerId_ = viewerId; }
    int ViewerID() const { return viewerId_; }
    void SoftShutDown();
    void ShutDown();
    void SetManager(THelpManager* manager) { manager_ = manager; }
    THelpManager* Manager() const { return manager_; }

private:
    QString CurrentHelpFile() const;
    QWidget* Owner() const;

    HtmlHelpService& service_;
    THelpManager* manager_ = nullptr;
    int viewerId_ = 0;
};

// Keeps the legacy help engine to .hlp files.
class TWinHelpMakeBehave {
public:
    bool UnderstandsLink(const QString&, const QString& helpFile) const { return IsWinHelpFile(helpFile); }
    bool UnderstandsTopic(const QString&, const QString& helpFile) const { return IsWinHelpFile(helpFile); }
    bool UnderstandsContext(unsigned, const QString& helpFile) const { return IsWinHelpFile(helpFile); }
    QStringList GetHelpStrings(const QString&) const { return {}; }
    QString GetHelpPath() const { return {}; }
    QString GetDefaultHelpFile() const { return {}; }
};

// The help manager: holds the registered viewers, the legacy-help tester and
// the current help file (the application's).
class THelpManager {
public:
    static THelpManager& Instance();
    int RegisterViewer(THTMLHelpViewer* viewer);
    void Release(int viewerId);
    THTMLHelpViewer* Viewer(int viewerId) const;
    int ViewerCount() const;
    void SetLegacyHelpTester(const TWinHelpMakeBehave* tester) { tester_ = tester; }
    const TWinHelpMakeBehave* LegacyHelpTester() const { return tester_; }
    QString CurrentHelpFile() const { return ApplicationHelpFile(); }
    QWidget* OwnerWindow() const;

private:
    std::vector<std::pair<int, THTMLHelpViewer*>> viewers_;
    const TWinHelpMakeBehave* tester_ = nullptr;
    int nextId_ = 1;
};

// Placed once on the main window: makes the viewer and the legacy-help
// tester, registers the viewer and installs the request hook; undoes all of
// it when destroyed.
class TCHMHelper {
public:
    explicit TCHMHelper(HtmlHelpService& service, bool designing = false);
    ~TCHMHelper();
    TCHMHelper(const TCHMHelper&) = delete;
    TCHMHelper& operator=(const TCHMHelper&) = delete;

    THTMLHelpViewer& Viewer() { return viewer_; }
    // The request hook.
    bool ApplicationHelp(unsigned command, const HelpData& data, bool& callHelp);

private:
    HtmlHelpService& service_;
    THTMLHelpViewer viewer_;
    TWinHelpMakeBehave tester_;
    bool installed_ = false;
};

} // namespace tarnel
