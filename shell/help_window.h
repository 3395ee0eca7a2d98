#pragma once
// The help window: one compiled help file shown with its table of contents,
// its keyword index, a text search over its pages, and back/forward.
#include <QMainWindow>
#include <QTextBrowser>
#include <memory>

#include "shell/chm_file.h"
#include "shell/help_sitemap.h"

class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QTabWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace tarnel {

// A text browser whose pages, style sheets and pictures come from a help file.
// Addresses are "chm:/page.htm".
class THelpBrowser : public QTextBrowser {
    Q_OBJECT
public:
    THelpBrowser(const ChmFile& file, QWidget* parent = nullptr);
    QVariant loadResource(int type, const QUrl& name) override;
    // The stored object an address stands for ("/page.htm"), without its anchor.
    static QString ObjectOf(const QUrl& url);
    static QUrl UrlOf(const QString& objectPath);

private:
    const ChmFile& file_;
};

class THelpWindow : public QMainWindow {
    Q_OBJECT
public:
    // Takes the opened file.
    explicit THelpWindow(std::unique_ptr<ChmFile> file, QWidget* parent = nullptr);
    ~THelpWindow() override;

    const ChmFile& file() const { return *file_; }

    // Shows a topic ("/intro.htm", "intro.htm#part"); false when the file has no such page.
    bool ShowTopic(const QString& topic);
    void ShowDefaultTopic();
    // Brings the contents tab to the front (and the default topic when nothing is shown yet).
    void ShowContents();
    // Brings the index tab to the front with the keyword typed into its box.
    void ShowIndex(const QString& keyword);
    // Shows the topic of an index keyword (exact, letter case ignored; several
    // keywords separated by ";" are tried in turn). False when none is known.
    bool LookupKeyword(const QString& keywords);
    // Lists the pages holding every word of the text; returns how many.
    int Search(const QString& words);

    QString CurrentTopic() const;    // "/intro.htm", or empty
    QString CurrentTab() const;      // "Contents", "Index" or "Search"

    QTabWidget* Tabs;
    QTreeWidget* ContentsTree;
    QLineEdit* IndexEdit;
    QListWidget* IndexList;
    QPushButton* IndexDisplayBtn;
    QLineEdit* SearchEdit;
    QPushButton* SearchBtn;
    QListWidget* SearchList;
    THelpBrowser* Browser;
    QAction* BackAct;
    QAction* ForwardAct;
    QAction* HomeAct;

private:
    void buildContents();
    void buildIndex();
    void indexEditChanged(const QString& text);
    void showIndexItem(QListWidgetItem* item);
    void selectContentsFor(const QString& objectPath);

    std::unique_ptr<ChmFile> file_;
    std::vector<SitemapEntry> contents_;
    struct PageWords {
        QString page;    // object path
        QString title;
        QString text;    // title and plain text, searched
    };
    std::vector<PageWords> pageTexts_;   // filled on first search
};

} // namespace tarnel
