#pragma once
// The main window: the one window that stays open for the whole run. It
// browses one table at a time, the browse table Table1, named by CurrentTable.
#include <QMainWindow>
#include <QStringList>
#include <memory>

#include "app/form_services.h"
#include "controls/error_guard.h"
#include "engine/table.h"
#include "shell/help_service.h"
#include "controls/dataset_model.h"
#include "tables/table_reference.h"

class QAction;
class QCheckBox;
class QFileDialog;
class QLabel;
class QMenu;
class QSplitter;
class QTabWidget;
class QTableView;

namespace tarnel::query {
class TDoQueryPage;
class TQueryBuilderPage;
}

namespace tarnel::app {

class TDBImage;
class TDBMemo;
class TDBNavigator;

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    // services: the dialogs, settings and recent-files menu (default: the
    // built-in stand-ins). args: the command line; args[1] names a table to
    // open at the first activation.
    explicit TForm1(std::unique_ptr<TMainFormServices> services = nullptr,
                    const QStringList& args = {}, QWidget* parent = nullptr);
    ~TForm1() override;

    TMainFormServices& services() { return *services_; }

    // --- session state ---
    TableReference CurrentTable;
    Table Table1;
    bool FirstActivation = false;

    // --- controls ---
    QTabWidget* PageControl1 = nullptr;
    QWidget* DataBasePage = nullptr;
    query::TQueryBuilderPage* QueryBuilderPage = nullptr;
    query::TDoQueryPage* DoQueryPage = nullptr;
    QLabel* RowDis = nullptr;
    QTableView* DBGrid1 = nullptr;
    DataSetModel* DataSource1 = nullptr;
    TDBNavigator* DBNavigator1 = nullptr;
    QCheckBox* TableEditChk = nullptr;
    QCheckBox* AutoEditChk = nullptr;
    TDBMemo* DBMemo1 = nullptr;
    TDBImage* DBImage1 = nullptr;
    QSplitter* GridSplitter = nullptr;    // grid above, field panes below
    QSplitter* FieldSplitter = nullptr;   // memo pane | image pane
    QFileDialog* OpenDialog1 = nullptr;
    QFileDialog* SaveDialog1 = nullptr;

    // --- menus ---
    QMenu* FileMenu = nullptr;
    QMenu* ReopenMenu = nullptr;
    QMenu* EditMenu = nullptr;
    QMenu* HelpMenu = nullptr;
    QAction* OpenDBFileMenu = nullptr;
    QAction* CreateNewDataBase1 = nullptr;
    QAction* CloseDB = nullptr;
    QAction* Exit1 = nullptr;
    QAction* Cut1 = nullptr;
    QAction* Copy1 = nullptr;
    QAction* Paste1 = nullptr;
    QAction* EditTableFieldsMnu = nullptr;
    QAction* CopyDatabase1 = nullptr;
    QAction* LoadFromFile1 = nullptr;
    QAction* SaveToFile1 = nullptr;
    QAction* CodePage1 = nullptr;
    QAction* Contents1 = nullptr;
    QAction* SearchforHelpOn1 = nullptr;
    QAction* About1 = nullptr;

    // --- routines of the session (each may throw; handlers run them guarded) ---
    void OpenCurrentTable();
    void ResetSession();
    void SetTableMenusEnabled(bool flag);
    void SetBlobMenusEnabled(bool flag);
    void ShowRowCount();
    // After the restructure dialog: the grid, panes and field lists follow
    // the table's new layout (`before` is the layout it had).
    void ShowRestructuredTable(const std::vector<FieldDef>& before);
    // Closes and opens the browse table again, read in the code page given.
    void ReopenInCodePage(int codePage);
    void OpenRecentEntry(QString entry);
    // The field of the grid's selected column; nullptr with no table open.
    const FieldDef* SelectedField() const;
    int SelectedColumn() const { return selectedColumn_; }

    // --- handlers ---
    void OpenDBFileMenuClick();
    void ReopenMenuMenuClick(const QString& entry);
    void CreateNewDataBase1Click();
    void CloseDBClick();
    void Exit1Click();
    void Cut1Click();
    void Copy1Click();
    void Paste1Click();
    void EditTableFieldsMnuClick();
    void CopyDatabase1Click();
    void LoadFromFile1Click();
    void SaveToFile1Click();
    void CodePage1Click();
    void Contents1Click();
    void SearchforHelpOn1Click();
    void About1Click();
    void TableEditChkClick();
    void AutoEditChkClick();
    void DBGrid1ColEnter();
    void Table1AfterOpen();
    void Table1AfterClose();
    void Table1AfterPost();
    void Table1AfterDelete();
    void FormCreate();
    void FormActivate();
    // Returns false when the window must stay open (a changed row could not be saved).
    bool FormClose();

    void LoadMemoFromFile(const FieldDef& field);
    void SaveMemoToFile(const FieldDef& field);
    void LoadImageFromFile(const FieldDef& field);
    void SaveImageToFile(const FieldDef& field);

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void buildMenus();
    void buildDataBasePage();
    void connectSession();
    // Runs a handler under the error guard.
    template <class F> void run(F f) { RunGuarded(this, f); }
    void syncGridToCursor();
    // Hands a value typed into an open grid cell to the row (or drops it), and
    // closes the cell editor.
    void closeGridEditor(bool keepValue);
    void gridCurrentChanged(const QModelIndex& current);
    void sizeColumns();
    QString chooseFile(QFileDialog& dialog, const QString& title, const QString& filter);
    int fieldIndex(const FieldDef& field) const;

    std::unique_ptr<TMainFormServices> services_;
    // Help: the help windows, and the component that sends every help request there.
    std::unique_ptr<TChmHelpService> helpService_;
    std::unique_ptr<TCHMHelper> CHMHelper1;
    QStringList args_;
    int selectedColumn_ = 0;
    bool syncingGrid_ = false;
};

} // namespace tarnel::app
