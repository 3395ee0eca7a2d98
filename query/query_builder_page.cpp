// The "Query Builder" page: its layout and its handlers.
#include "query/query_builder_page.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "controls/date_spin.h"
#include "controls/error_guard.h"
#include "controls/radio_group.h"
#include "engine/dataset.h"

namespace tarnel::query {

namespace {

// The small picture beside the term buttons: an arrow pointing down into the box.
QIcon FillArrowIcon()
{
    QPixmap pixmap(12, 12);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 160));
    painter.drawRect(4, 1, 4, 5);
    painter.drawPolygon(QPolygon({QPoint(1, 6), QPoint(11, 6), QPoint(6, 11)}));
    return QIcon(pixmap);
}

QPushButton* TermButton(const QString& caption, QWidget* parent)
{
    auto* button = new QPushButton(caption, parent);
    button->setIcon(FillArrowIcon());
    // Right-to-left direction puts the picture after the caption.
    button->setLayoutDirection(Qt::RightToLeft);
    return button;
}

QGroupBox* StatementGroup(const QString& title, QPushButton* termBtn, QLineEdit* termEdit,
                          QPushButton* opBtn, QLineEdit* opEdit, QPushButton* targetBtn,
                          QLineEdit* targetEdit, QWidget* parent)
{
    auto* group = new QGroupBox(title, parent);
    auto* grid = new QGridLayout(group);
    grid->addWidget(termBtn, 0, 0);
    grid->addWidget(termEdit, 1, 0);
    grid->addWidget(opBtn, 0, 1);
    grid->addWidget(opEdit, 1, 1);
    grid->addWidget(targetBtn, 0, 2);
    grid->addWidget(targetEdit, 1, 2);
    grid->setColumnStretch(0, 3);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(2, 3);
    opEdit->setMaximumWidth(80);
    return group;
}

} // namespace

TQueryBuilderPage::TQueryBuilderPage(QWidget* parent) : QWidget(parent)
{
    FieldList1 = new QListWidget(this);
    FieldTypeDis = new QLabel(this);
    OperatorRadio = new TRadioGroup(
        tr("Operators"),
        {"Equal", "Not Equal", "Less", "Greater", "Less+Equal", "Greater+Equal"}, 1, this);
    OperatorRadio->setItemIndex(0);
    TargetRadio = new TRadioGroup(tr("Targets"), {"True", "False", "Field", "Date", "Null"}, 2, this);
    TargetRadio->setItemIndex(0);
    QuoteChk = new QCheckBox(tr("Quote"), this);
    DateSpin = new TDateSpin(this);
    DateSpin->setFixedHeight(25);
    DateSpin->setYear(2000);
    DateSpin->setMonth(7);
    DateSpin->setDay(18);

    Term1Btn = TermButton(tr("Field"), this);
    Op1Btn = TermButton(tr("Operator"), this);
    Term2Btn = TermButton(tr("Target"), this);
    Term3Btn = TermButton(tr("Field"), this);
    Op2Btn = TermButton(tr("Operator"), this);
    Term4Btn = TermButton(tr("Target"), this);
    Term1Edit = new QLineEdit(this);
    Op1Edit = new QLineEdit(this);
    Term2Edit = new QLineEdit(this);
    Term3Edit = new QLineEdit(this);
    Op2Edit = new QLineEdit(this);
    Term4Edit = new QLineEdit(this);
    BooleanRadio = new TRadioGroup(tr("Boolean"), {"Or", "And"}, 2, this);
    BooleanRadio->setItemIndex(0);
    ClearAllBtn = new QPushButton(tr("Clear All"), this);
    QueryEdit = new QLineEdit(this);

    Term1Btn->setObjectName("Term1Btn");
    Op1Btn->setObjectName("Op1Btn");
    Term2Btn->setObjectName("Term2Btn");
    Term3Btn->setObjectName("Term3Btn");
    Op2Btn->setObjectName("Op2Btn");
    Term4Btn->setObjectName("Term4Btn");
    QueryEdit->setObjectName("QueryEdit");

    buildLayout();

    // A click or an arrow key in the list; refilling the list runs nothing.
    connect(FieldList1, &QListWidget::itemClicked, this, Guarded(this, [this] { FieldList1Click(); }));
    connect(FieldList1, &QListWidget::currentRowChanged, this, Guarded(this, [this] { FieldList1Click(); }));
    connect(Term1Btn, &QPushButton::clicked, this, Guarded(this, [this] { Term1BtnClick(); }));
    connect(Term3Btn, &QPushButton::clicked, this, Guarded(this, [this] { Term3BtnClick(); }));
    connect(Op1Btn, &QPushButton::clicked, this, Guarded(this, [this] { Op1BtnClick(); }));
    connect(Op2Btn, &QPushButton::clicked, this, Guarded(this, [this] { Op2BtnClick(); }));
    connect(Term2Btn, &QPushButton::clicked, this, Guarded(this, [this] { Term2BtnClick(); }));
    connect(Term4Btn, &QPushButton::clicked, this, Guarded(this, [this] { Term4BtnClick(); }));
    connect(ClearAllBtn, &QPushButton::clicked, this, Guarded(this, [this] { ClearAllBtnClick(); }));
    // textChanged fires only when a box's text really changes, whoever set it.
    for (QLineEdit* box : {Term1Edit, Op1Edit, Term2Edit, Term3Edit, Op2Edit, Term4Edit})
        connect(box, &QLineEdit::textChanged, this, Guarded(this, [this] { Term1EditChange(); }));
    connect(BooleanRadio, &TRadioGroup::OnClick, this, Guarded(this, [this] { Term1EditChange(); }));
}

void TQueryBuilderPage::buildLayout()
{
    // Top row: fields, operators, targets with the date under them.
    auto* fieldsGroup = new QGroupBox(tr("Fields"), this);
    auto* fieldsBox = new QVBoxLayout(fieldsGroup);
    fieldsBox->addWidget(FieldList1);
    auto* typePanel = new QFrame(fieldsGroup);
    typePanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    auto* typeRow = new QHBoxLayout(typePanel);
    typeRow->setContentsMargins(2, 2, 2, 2);
    typeRow->addWidget(new QLabel(tr(" Type:"), typePanel));
    typeRow->addWidget(FieldTypeDis, 1);
    fieldsBox->addWidget(typePanel);

    // "Quote" goes in the second column, right under its last item ("Null").
    TargetRadio->grid()->addWidget(QuoteChk, TargetRadio->count() - TargetRadio->rows(), 1);
    auto* targetColumn = new QVBoxLayout;
    targetColumn->addWidget(TargetRadio);
    targetColumn->addWidget(new QLabel(tr("Date"), this));
    targetColumn->addWidget(DateSpin);
    targetColumn->addStretch(1);

    auto* operatorColumn = new QVBoxLayout;
    operatorColumn->addWidget(OperatorRadio);
    operatorColumn->addStretch(1);

    auto* topRow = new QHBoxLayout;
    topRow->addWidget(fieldsGroup, 1);
    topRow->addLayout(operatorColumn);
    topRow->addLayout(targetColumn);

    auto* booleanRow = new QHBoxLayout;
    booleanRow->addWidget(BooleanRadio);
    booleanRow->addWidget(ClearAllBtn, 0, Qt::AlignVCenter);
    booleanRow->addStretch(1);

    auto* paramsGroup = new QGroupBox(tr("Query Parameters"), this);
    auto* paramsBox = new QVBoxLayout(paramsGroup);
    paramsBox->addWidget(QueryEdit);

    auto* page = new QVBoxLayout(this);
    page->addLayout(topRow, 1);
    page->addWidget(StatementGroup(tr("First Statement"), Term1Btn, Term1Edit, Op1Btn, Op1Edit,
                                   Term2Btn, Term2Edit, this));
    page->addLayout(booleanRow);
    page->addWidget(StatementGroup(tr("Second Statement"), Term3Btn, Term3Edit, Op2Btn, Op2Edit,
                                   Term4Btn, Term4Edit, this));
    page->addWidget(paramsGroup);
}

void TQueryBuilderPage::setFields(const BuilderFields& fields)
{
    const QSignalBlocker quiet(FieldList1);
    fields_ = fields;
    FieldList1->clear();
    for (const BuilderField& field : fields_) FieldList1->addItem(field.name);
    if (!fields_.isEmpty()) FieldList1->setCurrentRow(0);
}

void TQueryBuilderPage::setFields(const std::vector<FieldDef>& fields)
{
    BuilderFields list;
    for (const FieldDef& f : fields) list.append({QString::fromStdString(f.name), f.type});
    setFields(list);
}

void TQueryBuilderPage::resetSession()
{
    for (QLineEdit* box : {Term1Edit, Op1Edit, Term2Edit, Term3Edit, Op2Edit, Term4Edit})
        box->clear();
    const QSignalBlocker quiet(FieldList1);
    fields_.clear();
    FieldList1->clear();
}

QString TQueryBuilderPage::queryText() const
{
    return QueryEdit->text();
}

QString TQueryBuilderPage::selectedFieldName() const
{
    const QList<QListWidgetItem*> selected = FieldList1->selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->text();
}

QString TQueryBuilderPage::OperatorText() const
{
    return query::OperatorText(OperatorRadio->ItemIndex());
}

QString TQueryBuilderPage::TargetText() const
{
    return query::TargetText(TargetRadio->ItemIndex(), selectedFieldName(), DateSpin->Year(),
                              DateSpin->Month(), DateSpin->Day(), QuoteChk->isChecked());
}

QString TQueryBuilderPage::BuildCondition() const
{
    const ConditionTerms terms{Term1Edit->text(), Op1Edit->text(), Term2Edit->text(),
                               Term3Edit->text(), Op2Edit->text(), Term4Edit->text()};
    return query::BuildCondition(terms, BooleanRadio->ItemIndex(), fields_);
}

void TQueryBuilderPage::FieldList1Click()
{
    const int row = FieldList1->currentRow();
    if (row < 0 || !FieldList1->currentItem()->isSelected() || row >= fields_.size()) return;
    if (typeName_) FieldTypeDis->setText(typeName_(fields_[row].type));
}

void TQueryBuilderPage::Term1BtnClick()
{
    if (!FieldList1->selectedItems().isEmpty()) Term1Edit->setText(selectedFieldName());
}

void TQueryBuilderPage::Term3BtnClick()
{
    if (!FieldList1->selectedItems().isEmpty()) Term3Edit->setText(selectedFieldName());
}

void TQueryBuilderPage::Op1BtnClick() { Op1Edit->setText(OperatorText()); }
void TQueryBuilderPage::Op2BtnClick() { Op2Edit->setText(OperatorText()); }
void TQueryBuilderPage::Term2BtnClick() { Term2Edit->setText(TargetText()); }
void TQueryBuilderPage::Term4BtnClick() { Term4Edit->setText(TargetText()); }

void TQueryBuilderPage::Term1EditChange()
{
    QueryEdit->setText(BuildCondition());
}

void TQueryBuilderPage::ClearAllBtnClick()
{
    for (QLineEdit* box : {Term1Edit, Op1Edit, Term2Edit, Term3Edit, Op2Edit, Term4Edit})
        box->setText(QString());
}

} // namespace tarnel::query
