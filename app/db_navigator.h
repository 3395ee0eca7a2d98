#pragma once
// The navigator: ten buttons that move through and edit the rows of a data
// set, enabled as the data set's state allows.
#include <QWidget>
#include <array>
#include <functional>

class QToolButton;

namespace tarnel {
class DataSetModel;
}

namespace tarnel::app {

enum class NavButton { First, Prior, Next, Last, Insert, Delete, Edit, Post, Cancel, Refresh };
inline constexpr int kNavButtonCount = 10;

class TDBNavigator : public QWidget {
    Q_OBJECT
public:
    explicit TDBNavigator(QWidget* parent = nullptr);

    void setDataSource(DataSetModel* source);
    // Asked before Delete; the row stays when it answers false.
    void setConfirmDelete(std::function<bool()> confirm) { confirmDelete_ = std::move(confirm); }
    // Runs each button's command; the default runs it directly (errors propagate).
    void setCommandRunner(std::function<void(std::function<void()>)> runner) { runner_ = std::move(runner); }

    QToolButton* button(NavButton which) const { return buttons_[static_cast<int>(which)]; }
    // The command of a button, as a click runs it. Throws when the data set refuses.
    void BtnClick(NavButton which);
    void updateButtons();

private:
    DataSetModel* source_ = nullptr;
    std::array<QToolButton*, kNavButtonCount> buttons_{};
    std::function<bool()> confirmDelete_;
    std::function<void(std::function<void()>)> runner_;
};

} // namespace tarnel::app
