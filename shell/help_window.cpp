#include "shell/help_window.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace tarnel {

namespace {

constexpr int kObjectRole = Qt::UserRole;

QString Decode(const std::string& bytes) { return QString::fromUtf8(bytes.data(), qsizetype(bytes.size())); }

} // namespace

// ---- browser

THelpBrowser::THelpBrowser(const ChmFile& file, QWidget* parent) : QTextBrowser(parent), file_(file)
{
    setOpenExternalLinks(false);
}

QString THelpBrowser::ObjectOf(const QUrl& url)
{
    QString path = url.path();
    if (!path.startsWith(QLatin1Char('/'))) path.prepend(QLatin1Char('/'));
    return path;
}

QUrl THelpBrowser::UrlOf(const QString& objectPath)
{
    QString path = objectPath;
    QString fragment;
    if (const int hash = path.indexOf(QLatin1Char('#')); hash >= 0) {
        fragment = path.mid(hash + 1);
        path.truncate(hash);
    }
    QUrl url;
    url.setScheme(QStringLiteral("chm"));
    url.setPath(path.startsWith(QLatin1Char('/')) ? path : QLatin1Char('/') + path);
    if (!fragment.isEmpty()) url.setFragment(fragment);
    return url;
}

QVariant THelpBrowser::loadResource(int type, const QUrl& name)
{
    if (name.scheme() != QLatin1String("chm") && !name.isRelative()) return {};
    const auto data = file_.Read(ObjectOf(name).toStdString());
    if (!data) return {};
    const QByteArray bytes(data->data(), qsizetype(data->size()));
    if (type == QTextDocument::HtmlResource || type == QTextDocument::StyleSheetResource) return QString::fromUtf8(bytes);
    return bytes;
}

// ---- window

THelpWindow::THelpWindow(std::unique_ptr<ChmFile> file, QWidget* parent) : QMainWindow(parent), file_(std::move(file))
{
    const QString title = Decode(file_->Title());
    setWindowTitle(title.isEmpty() ? QStringLiteral("Help") : title);
    resize(900, 620);

    auto* bar = addToolBar(QStringLiteral("Navigation"));
    bar->setMovable(false);
    BackAct = bar->addAction(QStringLiteral("&Back"));
    ForwardAct = bar->addAction(QStringLiteral("&Forward"));
    HomeAct = bar->addAction(QStringLiteral("&Home"));
    BackAct->setShortcut(QKeySequence::Back);
    ForwardAct->setShortcut(QKeySequence::Forward);
    BackAct->setEnabled(false);
    ForwardAct->setEnabled(false);

    auto* splitter = new QSplitter(this);
    Tabs = new QTabWidget(splitter);

    ContentsTree = new QTreeWidget;
    ContentsTree->setHeaderHidden(true);
    Tabs->addTab(ContentsTree, QStringLiteral("&Contents"));

    auto* indexPage = new QWidget;
    auto* indexLayout = new QVBoxLayout(indexPage);
    auto* indexLabel = new QLabel(QStringLiteral("&Type in the keyword to find:"));
    IndexEdit = new QLineEdit;
    indexLabel->setBuddy(IndexEdit);
    IndexList = new QListWidget;
    IndexDisplayBtn = new QPushButton(QStringLiteral("&Display"));
    indexLayout->addWidget(indexLabel);
    indexLayout->addWidget(IndexEdit);
    indexLayout->addWidget(IndexList, 1);
    indexLayout->addWidget(IndexDisplayBtn, 0, Qt::AlignRight);
    Tabs->addTab(indexPage, QStringLiteral("I&ndex"));

    auto* searchPage = new QWidget;
    auto* searchLayout = new QVBoxLayout(searchPage);
    auto* searchLabel = new QLabel(QStringLiteral("Type in the &word(s) to search for:"));
    SearchEdit = new QLineEdit;
    searchLabel->setBuddy(SearchEdit);
    SearchBtn = new QPushButton(QStringLiteral("&List Topics"));
    SearchList = new QListWidget;
    searchLayout->addWidget(searchLabel);
    searchLayout->addWidget(SearchEdit);
    searchLayout->addWidget(SearchBtn, 0, Qt::AlignRight);
    searchLayout->addWidget(SearchList, 1);
    Tabs->addTab(searchPage, QStringLiteral("&Search"));

    Browser = new THelpBrowser(*file_, splitter);
    splitter->addWidget(Tabs);
    splitter->addWidget(Browser);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({260, 640});
    setCentralWidget(splitter);

    buildContents();
    buildIndex();

    connect(BackAct, &QAction::triggered, Browser, &QTextBrowser::backward);
    connect(ForwardAct, &QAction::triggered, Browser, &QTextBrowser::forward);
    connect(HomeAct, &QAction::triggered, this, &THelpWindow::ShowDefaultTopic);
    connect(Browser, &QTextBrowser::backwardAvailable, BackAct, &QAction::setEnabled);
    connect(Browser, &QTextBrowser::forwardAvailable, ForwardAct, &QAction::setEnabled);
    connect(Browser, &QTextBrowser::sourceChanged, this, [this](const QUrl& url) { selectContentsFor(THelpBrowser::ObjectOf(url)); });
    connect(ContentsTree, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        if (const QString topic = item->data(0, kObjectRole).toString(); !topic.isEmpty()) ShowTopic(topic);
    });
    connect(ContentsTree, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) {
        if (const QString topic = item->data(0, kObjectRole).toString(); !topic.isEmpty()) ShowTopic(topic);
    });
    connect(IndexEdit, &QLineEdit::textEdited, this, &THelpWindow::indexEditChanged);
    connect(IndexEdit, &QLineEdit::returnPressed, this, [this] { showIndexItem(IndexList->currentItem()); });
    connect(IndexList, &QListWidget::itemActivated, this, &THelpWindow::showIndexItem);
    connect(IndexList, &QListWidget::itemDoubleClicked, this, &THelpWindow::showIndexItem);
    connect(IndexDisplayBtn, &QPushButton::clicked, this, [this] { showIndexItem(IndexList->currentItem()); });
    connect(SearchBtn, &QPushButton::clicked, this, [this] { Search(SearchEdit->text()); });
    connect(SearchEdit, &QLineEdit::returnPressed, this, [this] { Search(SearchEdit->text()); });
    connect(SearchList, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        ShowTopic(item->data(kObjectRole).toString());
    });
    connect(SearchList, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        ShowTopic(item->data(kObjectRole).toString());
    });
}

THelpWindow::~THelpWindow() = default;

void THelpWindow::buildContents()
{
    if (file_->ContentsFile().empty()) return;
    const auto text = file_->Read(file_->ContentsFile());
    if (!text) return;
    contents_ = ParseSitemap(Decode(*text));
    std::function<void(const std::vector<SitemapEntry>&, QTreeWidgetItem*)> add =
        [&](const std::vector<SitemapEntry>& entries, QTreeWidgetItem* parent) {
            for (const SitemapEntry& e : entries) {
                auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(ContentsTree);
                item->setText(0, e.name);
                if (!e.locals.isEmpty()) item->setData(0, kObjectRole, e.locals.front());
                add(e.children, item);
            }
        };
    add(contents_, nullptr);
    ContentsTree->expandAll();
}

void THelpWindow::buildIndex()
{
    if (file_->IndexFile().empty()) return;
    const auto text = file_->Read(file_->IndexFile());
    if (!text) return;
    const std::vector<SitemapEntry> index = ParseSitemap(Decode(*text));
    for (const SitemapEntry* e : FlattenSitemap(index)) {
        if (e->name.isEmpty()) continue;
        auto* item = new QListWidgetItem(e->name, IndexList);
        item->setData(kObjectRole, e->locals.isEmpty() ? QString() : e->locals.front());
    }
    IndexList->sortItems();
}

bool THelpWindow::ShowTopic(const QString& topic)
{
    const QUrl url = THelpBrowser::UrlOf(topic);
    const auto where = file_->Locate(THelpBrowser::ObjectOf(url).toStdString());
    if (!where) return false;
    QUrl found = THelpBrowser::UrlOf(QString::fromStdString(*where));
    found.setFragment(url.fragment());
    Browser->setSource(found);
    return true;
}

void THelpWindow::ShowDefaultTopic()
{
    if (!file_->DefaultTopic().empty() && ShowTopic(QString::fromStdString(file_->DefaultTopic()))) return;
    // No default topic: the first page of the contents, else any page.
    for (const SitemapEntry* e : FlattenSitemap(contents_))
        if (!e->locals.isEmpty() && ShowTopic(e->locals.front())) return;
    const auto pages = file_->Pages();
    if (!pages.empty()) ShowTopic(QString::fromStdString(pages.front()));
}

void THelpWindow::ShowContents()
{
    Tabs->setCurrentIndex(0);
    if (Browser->source().isEmpty()) ShowDefaultTopic();
}

void THelpWindow::ShowIndex(const QString& keyword)
{
    Tabs->setCurrentIndex(1);
    IndexEdit->setText(keyword);
    indexEditChanged(keyword);
    IndexEdit->setFocus();
    if (Browser->source().isEmpty()) ShowDefaultTopic();
}

bool THelpWindow::LookupKeyword(const QString& keywords)
{
    for (const QString& part : keywords.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString keyword = part.trimmed();
        for (int i = 0; i < IndexList->count(); ++i) {
            QListWidgetItem* item = IndexList->item(i);
            if (item->text().compare(keyword, Qt::CaseInsensitive) != 0) continue;
            IndexList->setCurrentItem(item);
            if (ShowTopic(item->data(kObjectRole).toString())) return true;
        }
    }
    return false;
}

void THelpWindow::indexEditChanged(const QString& text)
{
    // Select the first keyword starting with the typed text.
    for (int i = 0; i < IndexList->count(); ++i) {
        if (IndexList->item(i)->text().startsWith(text, Qt::CaseInsensitive)) {
            IndexList->setCurrentRow(i);
            IndexList->scrollToItem(IndexList->item(i), QAbstractItemView::PositionAtTop);
            return;
        }
    }
}

void THelpWindow::showIndexItem(QListWidgetItem* item)
{
    if (item) ShowTopic(item->data(kObjectRole).toString());
}

int THelpWindow::Search(const QString& words)
{
    SearchList->clear();
    const QStringList terms = words.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (terms.isEmpty()) return 0;
    if (pageTexts_.empty())
        for (const std::string& page : file_->Pages())
            if (const auto html = file_->Read(page)) {
                const QString decoded = Decode(*html);
                QString title = PageTitle(decoded);
                QString text = title + QLatin1Char(' ') + PageText(decoded);
                pageTexts_.push_back({QString::fromStdString(page), std::move(title), std::move(text)});
            }
    for (const auto& [page, title, text] : pageTexts_) {
        const bool all = std::all_of(terms.begin(), terms.end(),
                                     [&](const QString& t) { return text.contains(t, Qt::CaseInsensitive); });
        if (!all) continue;
        auto* item = new QListWidgetItem(title.isEmpty() ? page : title, SearchList);
        item->setData(kObjectRole, page);
    }
    if (SearchList->count() > 0) SearchList->setCurrentRow(0);
    return SearchList->count();
}

QString THelpWindow::CurrentTopic() const
{
    return Browser->source().isEmpty() ? QString() : THelpBrowser::ObjectOf(Browser->source());
}

QString THelpWindow::CurrentTab() const { return Tabs->tabText(Tabs->currentIndex()).remove(QLatin1Char('&')); }

void THelpWindow::selectContentsFor(const QString& objectPath)
{
    for (QTreeWidgetItemIterator it(ContentsTree); *it; ++it) {
        const QString local = (*it)->data(0, kObjectRole).toString();
        if (!local.isEmpty() && THelpBrowser::ObjectOf(THelpBrowser::UrlOf(local)) == objectPath) {
            const QSignalBlocker block(ContentsTree);
            ContentsTree->setCurrentItem(*it);
            return;
        }
    }
}

} // namespace tarnel
