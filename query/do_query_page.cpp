// The "Do Query" page: its layout, its handlers and what a send takes from it.
#include "query/do_query_page.h"

#include <QButtonGroup>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>
#include <tuple>

#include "controls/error_guard.h"
#include "query/core/select_builder.h"
#include "query/field_lists.h"
#include "controls/dataset_model.h"
#include "query/user_date.h"
#include "tables/field_types.h"

namespace tarnel::query {

namespace {

// A sunken panel with a caption and the label that shows a value.
QFrame* SunkenPanel(const QString& caption, QLabel*& value)
{
    auto* panel = new QFrame;
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Sunken);
    auto* layout = new QHBoxLayout(panel);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->addWidget(new QLabel(caption));
    value = new QLabel;
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(value, 1);
    return panel;
}

QToolButton* CopyButton(const QString& boxName)
{
    auto* button = new QToolButton;
    button->setArrowType(Qt::RightArrow);
    button->setAutoRaise(false);
    button->setToolTip(QStringLiteral("Copy the selected field name into \"%1\"").arg(boxName));
    return button;
}

} // namespace

TDoQueryPage::TDoQueryPage(QWidget* parent) : QWidget(parent)
{
    Query1.setUserDateReader(tarnel::query::UserDateReader());
    auto* top = new QHBoxLayout;
    top->addWidget(buildAvailableFields());
    top->addWidget(buildCaveFields(), 1);

    auto* middle = new QHBoxLayout;
    middle->addWidget(buildQueryResults(), 0, Qt::AlignTop);
    DBGrid2 = new QTableView;
    DBGrid2->setObjectName("DBGrid2");
    auto* model = new DataSetModel(this);
    model->setReadOnly(true);
    model->setDataSet(&Query1);
    DataSource2 = model;
    DBGrid2->setModel(DataSource2);
    DBGrid2->setEditTriggers(QAbstractItemView::NoEditTriggers);
    DBGrid2->setSelectionBehavior(QAbstractItemView::SelectRows);
    DBGrid2->verticalHeader()->setDefaultSectionSize(DBGrid2->fontMetrics().height() + 6);
    DBGrid2->setMinimumHeight(150);
    middle->addWidget(DBGrid2, 1);

    auto* page = new QVBoxLayout(this);
    page->addLayout(top);
    page->addLayout(middle, 1);
    page->addWidget(buildUseResult());
    SetExportControlsEnabled(false);
    RefreshCaveFieldChoice();
}

TDoQueryPage::~TDoQueryPage()
{
    // The grid model watches Query1: let it go first.
    DBGrid2->setModel(nullptr);
    delete DataSource2;
}

QWidget* TDoQueryPage::buildAvailableFields()
{
    auto* group = new QGroupBox(QStringLiteral("Available Fields"));
    FieldList2 = new QListWidget;
    FieldList2->setObjectName("FieldList2");
    FieldList2->setSelectionMode(QAbstractItemView::SingleSelection);
    FieldList2->setMinimumSize(150, 110);
    FieldList2->setMaximumHeight(160);
    connect(FieldList2, &QListWidget::itemSelectionChanged, this, Guarded(this, [this] {
        if (!filling_) FieldList2Click();
    }));
    auto* layout = new QVBoxLayout(group);
    layout->addWidget(FieldList2, 1);
    layout->addWidget(SunkenPanel(QStringLiteral(" Type:"), FieldTypeDis2));
    FieldTypeDis2->setObjectName("FieldTypeDis2");
    return group;
}

QWidget* TDoQueryPage::buildCaveFields()
{
    auto* group = new QGroupBox(QStringLiteral("Cave Fields"));
    auto* grid = new QGridLayout(group);
    grid->setHorizontalSpacing(4);

    auto makeBox = [&](const QString& caption, QLabel*& label, QToolButton*& button, QLineEdit*& edit,
                       int row, int column) {
        label = new QLabel(caption);
        button = CopyButton(caption);
        edit = new QLineEdit;
        edit->setMinimumWidth(120);
        label->setBuddy(edit);
        grid->addWidget(label, row, column + 1);
        grid->addWidget(button, row + 1, column);
        grid->addWidget(edit, row + 1, column + 1);
    };
    makeBox(QStringLiteral("Station Field"), StationLabel, StationBtn, StationEdit, 0, 0);
    makeBox(QStringLiteral("Number Field"), NumberLabel, NumberBtn, NumberEdit, 0, 2);
    makeBox(QStringLiteral("Secondary Field"), SecondLabel, SecondBtn, SecondEdit, 2, 0);
    StationEdit->setObjectName("StationEdit");
    NumberEdit->setObjectName("NumberEdit");
    SecondEdit->setObjectName("SecondEdit");
    grid->setColumnMinimumWidth(2, 16);

    ClearFieldBtn = new QPushButton(QStringLiteral("Clear Fields"));
    grid->addWidget(ClearFieldBtn, 3, 3, Qt::AlignLeft);
    grid->setRowStretch(4, 1);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);

    connect(StationBtn, &QToolButton::clicked, this, Guarded(this, [this] { StationBtnClick(); }));
    connect(NumberBtn, &QToolButton::clicked, this, Guarded(this, [this] { NumberBtnClick(); }));
    connect(SecondBtn, &QToolButton::clicked, this, Guarded(this, [this] { SecondBtnClick(); }));
    connect(ClearFieldBtn, &QPushButton::clicked, this, Guarded(this, [this] { ClearFieldBtnClick(); }));
    return group;
}

QWidget* TDoQueryPage::buildQueryResults()
{
    auto* group = new QGroupBox(QStringLiteral("Query Results"));
    DoQueryBtn = new QPushButton(QStringLiteral("Do Query"));
    DoQueryBtn->setObjectName("DoQueryBtn");
    auto* layout = new QVBoxLayout(group);
    layout->addWidget(DoQueryBtn);
    layout->addWidget(SunkenPanel(QStringLiteral(" Hits: "), DisHitCount));
    DisHitCount->setObjectName("DisHitCount");
    DisHitCount->setMinimumWidth(60);
    layout->addStretch(1);
    connect(DoQueryBtn, &QPushButton::clicked, this, Guarded(this, [this] { DoQueryBtnClick(); }));
    return group;
}

QWidget* TDoQueryPage::buildUseResult()
{
    auto* group = new QGroupBox(QStringLiteral("Use Query Result"));
    useResultLayout_ = new QHBoxLayout(group);

    UseResultBtn = new QPushButton(QStringLiteral("Send To Viewer"));
    UseResultBtn->setObjectName("UseResultBtn");
    useResultLayout_->addWidget(UseResultBtn, 0, Qt::AlignVCenter);

    UseAsRadio = new QGroupBox(QStringLiteral("Display Method"));
    UseAsButtons = new QButtonGroup(this);
    auto* radios = new QVBoxLayout(UseAsRadio);
    radios->setSpacing(1);
    const QString methods[] = {QStringLiteral("As Marked Locations"), QStringLiteral("As Line Segments"),
                               QStringLiteral("As Continuous Line")};
    for (int k = 0; k < 3; ++k) {
        auto* radio = new QRadioButton(methods[k]);
        UseAsButtons->addButton(radio, k);
        radios->addWidget(radio);
    }
    UseAsButtons->button(0)->setChecked(true);
    useResultLayout_->addWidget(UseAsRadio);

    auto* feature = new QVBoxLayout;
    FeatureLabel = new QLabel(QStringLiteral("Feature Name"));
    FeatureNameEdit = new QLineEdit;
    FeatureNameEdit->setObjectName("FeatureNameEdit");
    FeatureNameEdit->setMinimumWidth(160);
    FeatureLabel->setBuddy(FeatureNameEdit);
    feature->addStretch(1);
    feature->addWidget(FeatureLabel);
    feature->addWidget(FeatureNameEdit);
    feature->addStretch(1);
    useResultLayout_->addLayout(feature);
    useResultLayout_->addStretch(1);

    connect(UseResultBtn, &QPushButton::clicked, this, [this] { emit useResultRequested(); });
    return group;
}

void TDoQueryPage::setConditionSource(std::function<QString()> source) { conditionSource_ = std::move(source); }

void TDoQueryPage::setCurrentTable(const QString& databaseName, const QString& tableName)
{
    databaseName_ = databaseName;
    tableName_ = tableName;
}

void TDoQueryPage::setCurrentTableSource(std::function<std::pair<QString, QString>()> source)
{
    tableSource_ = std::move(source);
}

void TDoQueryPage::addUseResultButton(QAbstractButton* button)
{
    useResultLayout_->addWidget(button, 0, Qt::AlignVCenter);
}

void TDoQueryPage::FillFieldLists(const DataSet& table) { FillFieldLists(table.fields()); }

void TDoQueryPage::FillFieldLists(const std::vector<FieldDef>& fields)
{
    fields_ = fields;
    filling_ = true;
    FillFieldListBoxes(nullptr, FieldList2, fields_);
    filling_ = false;
    RefreshCaveFieldChoice();
}

void TDoQueryPage::ResetSession()
{
    Query1.close();
    ClearFieldList();
    StationEdit->clear();
    SecondEdit->clear();
    NumberEdit->clear();
}

void TDoQueryPage::ClearFieldList()
{
    filling_ = true;
    FieldList2->clear();
    filling_ = false;
    fields_.clear();
}

void TDoQueryPage::FieldList2Click() { RefreshCaveFieldChoice(); }

void TDoQueryPage::RefreshCaveFieldChoice()
{
    const TCaveFieldChoice choice = CaveFieldChoice(FieldList2, fields_);
    FieldTypeDis2->setText(choice.TypeName);
    for (QWidget* w : {static_cast<QWidget*>(NumberLabel), static_cast<QWidget*>(NumberBtn),
                       static_cast<QWidget*>(NumberEdit)})
        w->setEnabled(choice.NumberField);
    for (QWidget* w : {static_cast<QWidget*>(StationLabel), static_cast<QWidget*>(StationBtn),
                       static_cast<QWidget*>(StationEdit), static_cast<QWidget*>(SecondLabel),
                       static_cast<QWidget*>(SecondBtn), static_cast<QWidget*>(SecondEdit)})
        w->setEnabled(choice.StationField);
}

void TDoQueryPage::SetExportControlsEnabled(bool enabled)
{
    UseResultBtn->setEnabled(enabled);
    UseAsRadio->setEnabled(enabled);
    FeatureLabel->setEnabled(enabled);
    FeatureNameEdit->setEnabled(enabled);
}

void TDoQueryPage::ClearFieldBtnClick()
{
    StationEdit->clear();
    SecondEdit->clear();
    NumberEdit->clear();
}

void TDoQueryPage::DoQueryBtnClick()
{
    WaitCursor hourglass;
    SetExportControlsEnabled(true);
    StationFieldName = StationEdit->text();
    SecondFieldName = SecondEdit->text();
    NumberFieldName = NumberEdit->text();

    if (tableSource_) std::tie(databaseName_, tableName_) = tableSource_();
    const std::string stem = QueryTableStem(tableName_.toStdString());
    const QString condition = conditionSource_ ? conditionSource_() : QString();

    Query1.close();
    Query1.setDatabaseName(databaseName_.toStdString());
    Query1.clearSql();
    Query1.addSql(BuildSelectStatement(stem, StationFieldName.toStdString(), SecondFieldName.toStdString(),
                                       NumberFieldName.toStdString(), condition.toStdString()));
    // The count reads every row, so a read error part way shows here; the
    // rows before it are not a result.
    try {
        Query1.open();
        const std::int64_t hits = Query1.recordCount();
        DisHitCount->setText(QString::number(hits));
    } catch (...) {
        Query1.close();
        throw;
    }
}

namespace {
void CopySelectedName(const QListWidget* list, QLineEdit* box)
{
    const int row = SelectedRow(list);
    if (row >= 0) box->setText(list->item(row)->text());
}
} // namespace

void TDoQueryPage::StationBtnClick() { CopySelectedName(FieldList2, StationEdit); }
void TDoQueryPage::NumberBtnClick() { CopySelectedName(FieldList2, NumberEdit); }
void TDoQueryPage::SecondBtnClick() { CopySelectedName(FieldList2, SecondEdit); }

int TDoQueryPage::displayMethod() const { return UseAsButtons->checkedId(); }

QString TDoQueryPage::featureName() const { return FeatureNameEdit->text(); }

TViewerSendRequest TDoQueryPage::SendRequest()
{
    TViewerSendRequest request;
    request.result = &Query1;
    for (int k = 0; k < FieldList2->count(); ++k)
        request.availableFields.push_back(FieldList2->item(k)->text().toStdString());
    request.stationFieldName = StationFieldName.toStdString();
    request.secondFieldName = SecondFieldName.toStdString();
    request.numberFieldName = NumberFieldName.toStdString();
    request.featureName = featureName().toStdString();
    request.displayMethod = displayMethod();
    return request;
}

} // namespace tarnel::query
