#pragma once
// The memo view and the image view: each shows one field of the current row
// of a data set, bound by field name (empty name: bound to nothing).
#include <QByteArray>
#include <QFrame>
#include <QImage>
#include <QPlainTextEdit>
#include <functional>

namespace tarnel {
class DataSetModel;
}

namespace tarnel::app {

// The index of a field by name (letter case ignored), or -1.
int FieldIndexOf(const DataSetModel* source, const QString& name);

class TDBMemo : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TDBMemo(QWidget* parent = nullptr);
    void setDataSource(DataSetModel* source);
    void setDataField(const QString& name);
    const QString& dataField() const { return field_; }
    // Shows the field's text of the current row again.
    void refresh();

private:
    void pushText();
    void updateReadOnly();

    DataSetModel* source_ = nullptr;
    QString field_;
    bool loading_ = false;
    bool pushing_ = false;
    // The field's text breaks its lines with CR LF (the view shows them as
    // plain line breaks, and gives them back the same way).
    bool crlf_ = false;
};

class TDBImage : public QFrame {
    Q_OBJECT
public:
    explicit TDBImage(QWidget* parent = nullptr);
    void setDataSource(DataSetModel* source);
    void setDataField(const QString& name);
    const QString& dataField() const { return field_; }
    // The picture of the current row (null when there is none or it cannot be read).
    const QImage& picture() const { return image_; }
    void refresh();

    // Cut and paste change the field, so they act only when the current row
    // can be put into editing; otherwise they do nothing. Throw when the data
    // set refuses the change.
    void CutToClipboard();
    void CopyToClipboard();
    void PasteFromClipboard();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    DataSetModel* source_ = nullptr;
    QString field_;
    QByteArray bytes_;
    QImage image_;
};

// The bytes a pasted picture is stored as in a field (BMP).
QByteArray EncodeBitmap(const QImage& image);

} // namespace tarnel::app
