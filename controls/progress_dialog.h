#pragma once
// Progress of long work run on the user-interface thread: a box with the
// count of rows done and a Cancel button, shown only once the work has taken
// about half a second, so that short work shows nothing.
#include <QElapsedTimer>
#include <QString>
#include <cstdint>

class QProgressDialog;
class QWidget;

namespace tarnel {

class TRowProgress {
public:
    // `what` heads the box ("Copying rows...").
    TRowProgress(QWidget* parent, const QString& what);
    ~TRowProgress();
    TRowProgress(const TRowProgress&) = delete;
    TRowProgress& operator=(const TRowProgress&) = delete;

    // Reports the rows done out of the total (total < 0: unknown; done < 0:
    // work that tells no rows, shown as a busy bar) and lets
    // the box repaint and take the Cancel click. False once the user cancelled.
    bool update(std::int64_t done, std::int64_t total);
    // The same with the count told in words of the caller's own ("Saving
    // rows: 700 of 1500") in place of "700 of 1500 rows".
    bool update(std::int64_t done, std::int64_t total, const QString& count);
    bool cancelled() const { return cancelled_; }
    bool shown() const { return dialog_ != nullptr; }
    // The box, once it shows (for tests).
    QProgressDialog* dialog() const { return dialog_; }

    static constexpr int kShowAfterMs = 500;

private:
    QWidget* parent_;
    QString what_;
    QElapsedTimer clock_;
    QProgressDialog* dialog_ = nullptr;
    bool cancelled_ = false;
};

} // namespace tarnel
