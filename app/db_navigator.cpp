#include "app/db_navigator.h"

#include <QHBoxLayout>
#include <QToolButton>

#include "controls/error_guard.h"
#include "engine/table.h"
#include "controls/dataset_model.h"

namespace tarnel::app {

namespace {
struct ButtonText {
    const char* glyph;
    const char* hint;
};
constexpr ButtonText kButtons[kNavButtonCount] = {
    {"|\u25C0", "Beginning Row"},  {"\u25C0", "Back One Row"},   {"\u25B6", "Forward One Row"},
    {"\u25B6|", "Ending Row"},     {"+", "Insert Row"},          {"\u2212", "Delete Row"},
    {"\u25B2", "Edit Row"},       {"\u2714", "Save Changes"},   {"\u2716", "Cancel Changes"},
    {"\u21BB", "Refresh"},
};
} // namespace

TDBNavigator::TDBNavigator(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (int i = 0; i < kNavButtonCount; ++i) {
        auto* b = new QToolButton(this);
        b->setText(QString::fromUtf8(kButtons[i].glyph));
        b->setToolTip(QString::fromUtf8(kButtons[i].hint));
        b->setAccessibleName(b->toolTip());
        b->setMinimumSize(28, 26);
        b->setFocusPolicy(Qt::NoFocus);
        const auto which = static_cast<NavButton>(i);
        connect(b, &QToolButton::clicked, this, [this, which] {
            if (runner_)
                runner_([this, which] { BtnClick(which); });
            else
                RunGuarded(this, [this, which] { BtnClick(which); });
        });
        buttons_[i] = b;
        layout->addWidget(b);
    }
    updateButtons();
}

void TDBNavigator::setDataSource(DataSetModel* source)
{
    if (source_) disconnect(source_, nullptr, this, nullptr);
    source_ = source;
    if (source_) {
        connect(source_, &DataSetModel::stateChanged, this, Guarded(this, [this] { updateButtons(); }));
        connect(source_, &DataSetModel::currentRowChanged, this, Guarded(this, [this] { updateButtons(); }));
        connect(source_, &QAbstractItemModel::modelReset, this, Guarded(this, [this] { updateButtons(); }));
        connect(source_, &DataSetModel::rowCountKnown, this, Guarded(this, [this] { updateButtons(); }));
        connect(source_, &QAbstractItemModel::rowsInserted, this, Guarded(this, [this] { updateButtons(); }));
    }
    updateButtons();
}

void TDBNavigator::BtnClick(NavButton which)
{
    if (!source_ || !source_->active()) return;
    DataSet& ds = *source_->dataSet();
    switch (which) {
    case NavButton::First: source_->moveCurrentTo(0); break;
    case NavButton::Prior:
        if (source_->currentRow() > 0) source_->moveCurrentTo(source_->currentRow() - 1);
        break;
    case NavButton::Next:
        if (source_->currentRow() + 1 < ds.recordCount()) source_->moveCurrentTo(source_->currentRow() + 1);
        break;
    case NavButton::Last:
        if (ds.recordCount() > 0) source_->moveCurrentTo(ds.recordCount() - 1);
        break;
    case NavButton::Insert: source_->insert(); break;
    case NavButton::Delete:
        if (source_->currentRow() < 0) break;
        if (confirmDelete_ && !confirmDelete_()) break;
        source_->deleteCurrent();
        break;
    case NavButton::Edit: source_->edit(); break;
    case NavButton::Post: source_->post(); break;
    case NavButton::Cancel: source_->cancel(); break;
    case NavButton::Refresh: source_->refresh(); break;
    }
    updateButtons();
}

void TDBNavigator::updateButtons()
{
    const bool active = source_ && source_->active();
    const std::int64_t row = active ? source_->currentRow() : -1;
    std::int64_t count = 0;
    if (active) count = source_->rowCount();
    const bool editing = active && source_->editing();
    const bool modify = active && source_->canModify();
    const bool notFirst = row > 0;
    // Rows not shown yet follow while the table is still being counted.
    const bool notLast = row >= 0 && (row + 1 < count || (active && source_->canFetchMore({})));

    button(NavButton::First)->setEnabled(notFirst);
    button(NavButton::Prior)->setEnabled(notFirst);
    button(NavButton::Next)->setEnabled(notLast);
    button(NavButton::Last)->setEnabled(notLast);
    button(NavButton::Insert)->setEnabled(modify && !source_->inserting());
    button(NavButton::Delete)->setEnabled(modify && row >= 0);
    button(NavButton::Edit)->setEnabled(modify && !editing && row >= 0);
    button(NavButton::Post)->setEnabled(editing);
    button(NavButton::Cancel)->setEnabled(editing);
    button(NavButton::Refresh)->setEnabled(active);
}

} // namespace tarnel::app
