#include "controls/radio_group.h"

#include <QGridLayout>
#include <QRadioButton>

namespace tarnel {

TRadioGroup::TRadioGroup(const QString& title, const QStringList& items, int columns,
                         QWidget* parent)
    : QGroupBox(title, parent), group_(new QButtonGroup(this)), grid_(new QGridLayout(this))
{
    if (columns < 1) columns = 1;
    rows_ = (static_cast<int>(items.size()) + columns - 1) / columns;
    grid_->setContentsMargins(8, 4, 8, 4);
    grid_->setVerticalSpacing(2);
    for (int i = 0; i < items.size(); ++i) {
        auto* button = new QRadioButton(items[i], this);
        group_->addButton(button, i);
        grid_->addWidget(button, i % rows_, i / rows_);
    }
    connect(group_, &QButtonGroup::idClicked, this, [this] { emit OnClick(this); });
}

QRadioButton* TRadioGroup::item(int index) const
{
    return qobject_cast<QRadioButton*>(group_->button(index));
}

void TRadioGroup::setItemIndex(int index)
{
    if (QAbstractButton* b = group_->button(index)) {
        b->setChecked(true);
        return;
    }
    // An exclusive group cannot uncheck its last button by itself.
    group_->setExclusive(false);
    for (QAbstractButton* b : group_->buttons()) b->setChecked(false);
    group_->setExclusive(true);
}

} // namespace tarnel
