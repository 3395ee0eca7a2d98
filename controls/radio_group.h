#pragma once
// A titled group of radio buttons filled column by column, with the chosen
// item as an index (-1: none).
#include <QButtonGroup>
#include <QGroupBox>
#include <QStringList>

class QGridLayout;
class QRadioButton;

namespace tarnel {

class TRadioGroup : public QGroupBox {
    Q_OBJECT
    Q_PROPERTY(int ItemIndex READ ItemIndex WRITE setItemIndex)

public:
    TRadioGroup(const QString& title, const QStringList& items, int columns,
                QWidget* parent = nullptr);

    int ItemIndex() const { return group_->checkedId(); }
    // Chooses an item without running the click handler; -1 clears the choice.
    void setItemIndex(int index);
    int count() const { return static_cast<int>(group_->buttons().size()); }
    QRadioButton* item(int index) const;
    // Rows per column, for placing extra controls under the items.
    int rows() const { return rows_; }
    QGridLayout* grid() const { return grid_; }

signals:
    // The user clicked an item (also the one already chosen).
    void OnClick(QObject* sender);

private:
    QButtonGroup* group_;
    QGridLayout* grid_;
    int rows_ = 0;
};

} // namespace tarnel
