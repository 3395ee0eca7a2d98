#pragma once
// The "Do Query" page of the main window: the "Available Fields" list, the
// three cave-field boxes, the query run and its result grid, and the controls
// of the "Use Query Result" group.
#include <QWidget>
#include <functional>
#include <utility>
#include <vector>

#include "engine/dataset.h"
#include "engine/sql/query.h"
#include "query/core/viewer_send.h"

class QAbstractButton;
class QButtonGroup;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTableView;
class QToolButton;
class QAbstractTableModel;

namespace tarnel::query {

class TDoQueryPage : public QWidget {
    Q_OBJECT
public:
    explicit TDoQueryPage(QWidget* parent = nullptr);
    ~TDoQueryPage() override;

    // Wiring by the main window.
    // Where "Do Query" takes its condition from (the builder's QueryEdit).
    void setConditionSource(std::function<QString()> source);
    // The open table: database (folder or alias) and table file name.
    void setCurrentTable(const QString& databaseName, const QString& tableName);
    // Where "Do Query" reads the table from at the moment it runs (the main
    // window's current table); overrides setCurrentTable.
    void setCurrentTableSource(std::function<std::pair<QString, QString>()> source);
    // Room for further buttons at the right of the "Use Query Result" group.
    void addUseResultButton(QAbstractButton* button);

    // The session.
    void FillFieldLists(const DataSet& table);
    void FillFieldLists(const std::vector<FieldDef>& fields);
    // Closing the table: closes the query and empties the list and the three
    // cave-field boxes.
    void ResetSession();
    // Empties "Available Fields" as closing a table does: the type label and
    // the cave-field controls stay as they are until the next fill or click.
    void ClearFieldList();

    // Handlers (they keep the form's names).
    void FieldList2Click();
    void RefreshCaveFieldChoice();
    void SetExportControlsEnabled(bool enabled);
    void ClearFieldBtnClick();
    // Throws EngineError when the query fails; the button's click shows it.
    void DoQueryBtnClick();
    void StationBtnClick();
    void NumberBtnClick();
    void SecondBtnClick();

    // What the export reads.
    Query& query() { return Query1; }
    const QString& stationFieldName() const { return StationFieldName; }
    const QString& secondFieldName() const { return SecondFieldName; }
    const QString& numberFieldName() const { return NumberFieldName; }
    int displayMethod() const;   // 0 marked locations, 1 line segments, 2 continuous line
    QString featureName() const;
    // What "Send To Viewer" sends: the result, the "Available Fields" names,
    // the cave fields remembered by the last "Do Query", the display method
    // and the feature name.
    TViewerSendRequest SendRequest();

    // The controls, by the form's names.
    QListWidget* FieldList2 = nullptr;
    QLabel* FieldTypeDis2 = nullptr;
    QLabel* StationLabel = nullptr;
    QToolButton* StationBtn = nullptr;
    QLineEdit* StationEdit = nullptr;
    QLabel* NumberLabel = nullptr;
    QToolButton* NumberBtn = nullptr;
    QLineEdit* NumberEdit = nullptr;
    QLabel* SecondLabel = nullptr;
    QToolButton* SecondBtn = nullptr;
    QLineEdit* SecondEdit = nullptr;
    QPushButton* ClearFieldBtn = nullptr;
    QPushButton* DoQueryBtn = nullptr;
    QLabel* DisHitCount = nullptr;
    QTableView* DBGrid2 = nullptr;
    QPushButton* UseResultBtn = nullptr;
    QGroupBox* UseAsRadio = nullptr;
    QButtonGroup* UseAsButtons = nullptr;
    QLabel* FeatureLabel = nullptr;
    QLineEdit* FeatureNameEdit = nullptr;

signals:
    // "Send To Viewer" was pressed; the export does the sending.
    void useResultRequested();

private:
    QWidget* buildAvailableFields();
    QWidget* buildCaveFields();
    QWidget* buildQueryResults();
    QWidget* buildUseResult();

    Query Query1;
    QAbstractTableModel* DataSource2 = nullptr;
    std::vector<FieldDef> fields_;   // the open table's field descriptors
    QString StationFieldName, SecondFieldName, NumberFieldName;
    QString databaseName_, tableName_;
    std::function<QString()> conditionSource_;
    std::function<std::pair<QString, QString>()> tableSource_;
    QHBoxLayout* useResultLayout_ = nullptr;
    bool filling_ = false;
};

} // namespace tarnel::query
