// The main window: its parts, its menus, and its life cycle.
#include "app/main_form.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QKeyEvent>
#include <QSplitter>
#include <QToolButton>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include "app/db_navigator.h"
#include "app/db_views.h"
#include "app/form_pages.h"
#include "controls/error_guard.h"
#include "query/do_query_page.h"
#include "query/query_builder_page.h"
#include "shell/help_request.h"
#include "shell/help_service.h"
#include "tables/grid_edit_delegate.h"

namespace tarnel::app {

TForm1::TForm1(std::unique_ptr<TMainFormServices> services, const QStringList& args, QWidget* parent)
    : QMainWindow(parent), services_(services ? std::move(services) : std::make_unique<TMainFormServices>()),
      args_(args)
{
    setObjectName(QStringLiteral("Form1"));
    helpService_ = std::make_unique<TChmHelpService>();
    CHMHelper1 = std::make_unique<TCHMHelper>(*helpService_);
    setWindowTitle(QStringLiteral("Tarnel32"));
    resize(820, 640);
    Table1.setReadOnly(true);

    DataSource1 = new DataSetModel(this);
    DataSource1->setReadOnly(true);
    DataSource1->setAutoEdit(false);

    PageControl1 = new QTabWidget(this);
    setCentralWidget(PageControl1);
    buildDataBasePage();
    PageControl1->addTab(DataBasePage, QStringLiteral("Data Base"));
    QueryBuilderPage = CreateQueryBuilderPage(PageControl1);
    PageControl1->addTab(QueryBuilderPage, QStringLiteral("Query Builder"));
    DoQueryPage = CreateDoQueryPage(PageControl1, QueryBuilderPage, [this] { return CurrentTable; });
    PageControl1->addTab(DoQueryPage, QStringLiteral("Do Query"));

    OpenDialog1 = new QFileDialog(this);
    OpenDialog1->setOption(QFileDialog::DontUseNativeDialog);
    SaveDialog1 = new QFileDialog(this);
    SaveDialog1->setOption(QFileDialog::DontUseNativeDialog);

    buildMenus();
    connectSession();
    DataSource1->setDataSet(&Table1);

    FormCreate();
}

TForm1::~TForm1()
{
    // The views go before the table they show.
    DataSource1->setDataSet(nullptr);
}

void TForm1::buildDataBasePage()
{
    DataBasePage = new QWidget(this);
    auto* page = new QVBoxLayout(DataBasePage);
    page->setContentsMargins(4, 4, 4, 4);
    page->setSpacing(4);

    // Header: the title, and at its right the row count.
    auto* header = new QFrame(DataBasePage);
    header->setFrameShape(QFrame::StyledPanel);
    auto* headerLayout = new QHBoxLayout(header);
    headerLayout->setContentsMargins(6, 2, 6, 2);
    auto* title = new QLabel(QStringLiteral(" Database Table"), header);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    headerLayout->addWidget(title);
    headerLayout->addStretch(1);
    auto* rowBox = new QFrame(header);
    rowBox->setFrameShape(QFrame::Panel);
    rowBox->setFrameShadow(QFrame::Sunken);
    auto* rowLayout = new QHBoxLayout(rowBox);
    rowLayout->setContentsMargins(4, 1, 4, 1);
    rowLayout->addWidget(new QLabel(QStringLiteral(" Rows:"), rowBox));
    RowDis = new QLabel(QStringLiteral("0"), rowBox);
    RowDis->setObjectName(QStringLiteral("RowDis"));
    RowDis->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    RowDis->setMinimumWidth(RowDis->fontMetrics().horizontalAdvance(QStringLiteral("0000000000")));
    rowLayout->addWidget(RowDis);
    headerLayout->addWidget(rowBox);
    page->addWidget(header);

    GridSplitter = new QSplitter(Qt::Vertical, DataBasePage);
    GridSplitter->setChildrenCollapsible(false);

    // Upper part: the grid, and below it the navigator and the editing switches.
    auto* upper = new QWidget(GridSplitter);
    auto* upperLayout = new QVBoxLayout(upper);
    upperLayout->setContentsMargins(0, 0, 0, 0);
    DBGrid1 = new QTableView(upper);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->setModel(DataSource1);
    DBGrid1->setItemDelegate(new GridEditDelegate(DataSource1, DBGrid1));
    DBGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    DBGrid1->setSelectionBehavior(QAbstractItemView::SelectItems);
    DBGrid1->setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::EditKeyPressed
                             | QAbstractItemView::DoubleClicked);
    DBGrid1->setWordWrap(false);
    // Fixed row heights keep a table of a million rows as quick as a small one.
    DBGrid1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    DBGrid1->verticalHeader()->setDefaultSectionSize(DBGrid1->fontMetrics().height() + 6);
    DBGrid1->verticalHeader()->setMinimumWidth(18);
    DBGrid1->horizontalHeader()->setHighlightSections(false);
    upperLayout->addWidget(DBGrid1, 1);

    auto* bar = new QHBoxLayout;
    DBNavigator1 = new TDBNavigator(upper);
    DBNavigator1->setDataSource(DataSource1);
    bar->addWidget(DBNavigator1);
    bar->addStretch(1);
    auto* switches = new QVBoxLayout;
    switches->setSpacing(0);
    TableEditChk = new QCheckBox(QStringLiteral("Enable Editing"), upper);
    AutoEditChk = new QCheckBox(QStringLiteral("Auto Editing"), upper);
    TableEditChk->setEnabled(false);
    AutoEditChk->setEnabled(false);
    switches->addWidget(TableEditChk);
    switches->addWidget(AutoEditChk);
    bar->addLayout(switches);
    upperLayout->addLayout(bar);

    // Lower part: the memo pane and the image pane side by side.
    FieldSplitter = new QSplitter(Qt::Horizontal, GridSplitter);
    FieldSplitter->setChildrenCollapsible(false);
    auto* memoPane = new QGroupBox(QStringLiteral("Memo Field"), FieldSplitter);
    auto* memoLayout = new QVBoxLayout(memoPane);
    DBMemo1 = new TDBMemo(memoPane);
    DBMemo1->setDataSource(DataSource1);
    memoLayout->addWidget(DBMemo1);
    auto* imagePane = new QGroupBox(QStringLiteral("Image Field"), FieldSplitter);
    auto* imageLayout = new QVBoxLayout(imagePane);
    DBImage1 = new TDBImage(imagePane);
    DBImage1->setDataSource(DataSource1);
    imageLayout->addWidget(DBImage1);
    FieldSplitter->addWidget(memoPane);
    FieldSplitter->addWidget(imagePane);

    GridSplitter->addWidget(upper);
    GridSplitter->addWidget(FieldSplitter);
    GridSplitter->setStretchFactor(0, 3);
    GridSplitter->setStretchFactor(1, 2);
    GridSplitter->setSizes({360, 220});
    FieldSplitter->setSizes({400, 400});
    page->addWidget(GridSplitter, 1);
}

void TForm1::buildMenus()
{
    auto add = [this](QMenu* menu, const QString& caption, void (TForm1::*handler)(), bool enabled) {
        QAction* a = menu->addAction(caption);
        a->setEnabled(enabled);
        connect(a, &QAction::triggered, this, [this, handler] { run([this, handler] { (this->*handler)(); }); });
        return a;
    };

    FileMenu = menuBar()->addMenu(QStringLiteral("&File"));
    OpenDBFileMenu = add(FileMenu, QStringLiteral("&Open Database..."), &TForm1::OpenDBFileMenuClick, true);
    ReopenMenu = FileMenu->addMenu(QStringLiteral("Reopen"));
    FileMenu->addSeparator();
    CreateNewDataBase1 = add(FileMenu, QStringLiteral("C&reate New Database..."), &TForm1::CreateNewDataBase1Click, true);
    FileMenu->addSeparator();
    CloseDB = add(FileMenu, QStringLiteral("&Close"), &TForm1::CloseDBClick, false);
    FileMenu->addSeparator();
    Exit1 = add(FileMenu, QStringLiteral("&Exit"), &TForm1::Exit1Click, true);

    EditMenu = menuBar()->addMenu(QStringLiteral("&Edit"));
    Cut1 = add(EditMenu, QStringLiteral("Cu&t"), &TForm1::Cut1Click, true);
    Copy1 = add(EditMenu, QStringLiteral("&Copy"), &TForm1::Copy1Click, true);
    Paste1 = add(EditMenu, QStringLiteral("&Paste"), &TForm1::Paste1Click, true);
    EditMenu->addSeparator();
    EditTableFieldsMnu = add(EditMenu, QStringLiteral("&Edit Table Fields..."), &TForm1::EditTableFieldsMnuClick, false);
    CopyDatabase1 = add(EditMenu, QStringLiteral("Copy &Database..."), &TForm1::CopyDatabase1Click, true);
    EditMenu->addSeparator();
    LoadFromFile1 = add(EditMenu, QStringLiteral("&Load From File.."), &TForm1::LoadFromFile1Click, false);
    SaveToFile1 = add(EditMenu, QStringLiteral("&Save To File..."), &TForm1::SaveToFile1Click, false);
    EditMenu->addSeparator();
    CodePage1 = add(EditMenu, QStringLiteral("Code P&age..."), &TForm1::CodePage1Click, false);

    HelpMenu = menuBar()->addMenu(QStringLiteral("&Help"));
    Contents1 = add(HelpMenu, QStringLiteral("&Contents"), &TForm1::Contents1Click, true);
    SearchforHelpOn1 = add(HelpMenu, QStringLiteral("&Keyword Search..."), &TForm1::SearchforHelpOn1Click, true);
    About1 = add(HelpMenu, QStringLiteral("&About..."), &TForm1::About1Click, true);

    services_->AttachReopenMenu(ReopenMenu, [this](const QString& entry) {
        const QString text = entry;
        run([this, text] { ReopenMenuMenuClick(text); });
    });
}

void TForm1::connectSession()
{
    connect(TableEditChk, &QCheckBox::toggled, this, [this] { run([this] { TableEditChkClick(); }); });
    connect(AutoEditChk, &QCheckBox::toggled, this, [this] { run([this] { AutoEditChkClick(); }); });

    // The table hooks.
    connect(DataSource1, &DataSetModel::opened, this, [this] { run([this] { Table1AfterOpen(); }); });
    connect(DataSource1, &DataSetModel::closed, this, [this] { run([this] { Table1AfterClose(); }); });
    connect(DataSource1, &DataSetModel::posted, this, [this] { run([this] { Table1AfterPost(); }); });
    connect(DataSource1, &DataSetModel::deleted, this, [this] { run([this] { Table1AfterDelete(); }); });
    connect(DataSource1, &DataSetModel::errorRaised, this, [this](const QString& m) { ShowErrorBox(this, m); });

    // The grid's current cell and the table's cursor follow each other.
    connect(DataSource1, &DataSetModel::currentRowChanged, this, [this] { run([this] { syncGridToCursor(); }); });
    connect(DataSource1, &QAbstractItemModel::modelReset, this, [this] {
        run([this] {
            sizeColumns();
            syncGridToCursor();
            if (Table1.active()) ShowRowCount();   // a closed table's count stays shown
        });
    });
    connect(DataSource1, &DataSetModel::rowCountKnown, this, [this] { run([this] { ShowRowCount(); }); });
    connect(DBGrid1->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) { gridCurrentChanged(current); });

    DBNavigator1->setCommandRunner([this](std::function<void()> command) {
        // A value still in a cell editor belongs to the row the buttons act on.
        closeGridEditor(true);
        run(command);
    });
    DBGrid1->installEventFilter(this);
    DBNavigator1->setConfirmDelete([this] { return services_->ConfirmDelete(this); });
}

// --- start-up and shutdown ---

void TForm1::FormCreate()
{
    PageControl1->setCurrentWidget(DataBasePage);
    DoQueryPage->SetExportControlsEnabled(false);
    services_->SetReopenSettingsFile(services_->ProgramSettingsFile());
    services_->LoadReopenEntries();
    FirstActivation = true;
}

void TForm1::FormActivate()
{
    if (!FirstActivation) return;
    FirstActivation = false;
    services_->ReadViewerPath();
    const QString arg = args_.value(1);
    if (arg.isEmpty()) return;
    const QFileInfo file(arg);
    if (!file.isFile()) return;
    // The entry is recorded with its full path, so that it still names the
    // table once its folder has become the working folder.
    OpenRecentEntry(file.absoluteFilePath());
}

bool TForm1::FormClose()
{
    // A changed row is saved before the table closes, as moving off it would.
    if (!RunGuarded(this, [this] {
            closeGridEditor(true);
            DataSource1->finishEditing();
        }))
        return false;
    run([this] {
        Table1.close();
        DoQueryPage->query().close();
    });
    return true;
}

bool TForm1::event(QEvent* e)
{
    if (e->type() == QEvent::WindowActivate) run([this] { FormActivate(); });
    return QMainWindow::event(e);
}

void TForm1::showEvent(QShowEvent* e)
{
    QMainWindow::showEvent(e);
    // Not every desktop makes a new window the active one; the work of the
    // first activation then runs once the window is up.
    if (FirstActivation)
        QTimer::singleShot(0, this, [this] { run([this] { FormActivate(); }); });
}

bool TForm1::eventFilter(QObject* watched, QEvent* e)
{
    // The grid's keys for the navigator's row commands: Insert, Ctrl+Delete,
    // and Escape (when no cell editor is open).
    if (watched == DBGrid1 && e->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(e);
        NavButton button;
        if (key->key() == Qt::Key_Insert && key->modifiers() == Qt::NoModifier)
            button = NavButton::Insert;
        else if (key->key() == Qt::Key_Delete && key->modifiers() == Qt::ControlModifier)
            button = NavButton::Delete;
        else if (key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier)
            button = NavButton::Cancel;
        else
            return QMainWindow::eventFilter(watched, e);
        if (DBNavigator1->button(button)->isEnabled()) DBNavigator1->button(button)->click();
        return true;
    }
    return QMainWindow::eventFilter(watched, e);
}

void TForm1::closeEvent(QCloseEvent* e)
{
    if (FormClose())
        e->accept();
    else
        e->ignore();
}

void TForm1::Exit1Click() { close(); }

} // namespace tarnel::app
