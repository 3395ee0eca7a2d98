#include "app/db_views.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QMouseEvent>
#include <QPainter>
#include <exception>

#include "controls/error_guard.h"
#include "engine/error.h"
#include "engine/table.h"
#include "controls/dataset_model.h"

namespace tarnel::app {

int FieldIndexOf(const DataSetModel* source, const QString& name)
{
    if (!source || !source->active() || name.isEmpty()) return -1;
    const auto& fields = source->dataSet()->fields();
    const std::string wanted = name.toStdString();
    for (std::size_t i = 0; i < fields.size(); ++i)
        if (SameText(fields[i].name, wanted)) return static_cast<int>(i);
    return -1;
}

namespace {
// The raw value of the bound field in the current row, or nothing.
bool ReadCurrent(const DataSetModel* source, const QString& field, Value& out)
{
    const int index = FieldIndexOf(source, field);
    if (index < 0 || source->currentRow() < 0) return false;
    out = source->dataSet()->value(index);
    return true;
}
} // namespace

// --- the memo view ---

TDBMemo::TDBMemo(QWidget* parent) : QPlainTextEdit(parent)
{
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setReadOnly(true);
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        if (!loading_) pushText();
    });
}

void TDBMemo::setDataSource(DataSetModel* source)
{
    if (source_) disconnect(source_, nullptr, this, nullptr);
    source_ = source;
    if (source_) {
        connect(source_, &DataSetModel::currentValuesChanged, this, Guarded(this, [this] { refresh(); }));
        connect(source_, &QAbstractItemModel::modelReset, this, Guarded(this, [this] { refresh(); }));
        connect(source_, &DataSetModel::stateChanged, this, Guarded(this, [this] { updateReadOnly(); }));
    }
    refresh();
}

void TDBMemo::setDataField(const QString& name)
{
    field_ = name;
    refresh();
}

void TDBMemo::refresh()
{
    // While the typed text goes into the row, the row's old value is not shown again.
    if (pushing_) return;
    QString text;
    Value v;
    try {
        if (ReadCurrent(source_, field_, v) && v.kind != Value::Kind::Null)
            text = QString::fromUtf8(v.s.data(), qsizetype(v.s.size()));
    } catch (const std::exception&) {
        text.clear();
    }
    // The view knows only one line break: memos written with CR LF get them
    // back when an edit is stored (pushText).
    crlf_ = text.contains(QLatin1String("\r\n"));
    if (crlf_) text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    // Leave the text (and the caret) alone when it already shows the value.
    if (text != toPlainText()) {
        loading_ = true;
        setPlainText(text);
        loading_ = false;
    }
    updateReadOnly();
}

void TDBMemo::updateReadOnly()
{
    const bool bound = FieldIndexOf(source_, field_) >= 0 && source_->currentRow() >= 0;
    setReadOnly(!(bound && source_->canStartEdit()));
}

void TDBMemo::pushText()
{
    const int index = FieldIndexOf(source_, field_);
    if (index < 0) return;
    pushing_ = true;
    try {
        QString text = toPlainText();
        if (crlf_) text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
        source_->setFieldValue(index, Value::text(text.toStdString()));
        pushing_ = false;
    } catch (const std::exception& e) {
        pushing_ = false;
        refresh();
        ShowErrorBox(this, QString::fromUtf8(e.what()));
    }
}

// --- the image view ---

TDBImage::TDBImage(QWidget* parent) : QFrame(parent)
{
    setFrameShape(QFrame::StyledPanel);
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(16, 16);
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
}

void TDBImage::setDataSource(DataSetModel* source)
{
    if (source_) disconnect(source_, nullptr, this, nullptr);
    source_ = source;
    if (source_) {
        connect(source_, &DataSetModel::currentValuesChanged, this, Guarded(this, [this] { refresh(); }));
        connect(source_, &QAbstractItemModel::modelReset, this, Guarded(this, [this] { refresh(); }));
    }
    refresh();
}

void TDBImage::setDataField(const QString& name)
{
    field_ = name;
    refresh();
}

void TDBImage::refresh()
{
    QByteArray bytes;
    Value v;
    try {
        if (ReadCurrent(source_, field_, v) && v.kind != Value::Kind::Null)
            bytes = QByteArray(v.s.data(), qsizetype(v.s.size()));
    } catch (const std::exception&) {
        bytes.clear();
    }
    if (bytes == bytes_ && (bytes.isEmpty() || !image_.isNull())) return;
    bytes_ = bytes;
    image_ = QImage();
    if (!bytes_.isEmpty()) image_.loadFromData(bytes_);
    update();
}

void TDBImage::paintEvent(QPaintEvent* event)
{
    QFrame::paintEvent(event);
    if (image_.isNull()) return;
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(contentsRect(), image_);
}

void TDBImage::mousePressEvent(QMouseEvent* event)
{
    setFocus(Qt::MouseFocusReason);
    QFrame::mousePressEvent(event);
}

QByteArray EncodeBitmap(const QImage& image)
{
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "BMP");
    return out;
}

void TDBImage::CopyToClipboard()
{
    if (!image_.isNull()) QApplication::clipboard()->setImage(image_);
}

void TDBImage::CutToClipboard()
{
    const int index = FieldIndexOf(source_, field_);
    if (index < 0 || image_.isNull() || !source_->ensureEditing()) return;
    CopyToClipboard();
    source_->setFieldValue(index, Value::null());
}

void TDBImage::PasteFromClipboard()
{
    const int index = FieldIndexOf(source_, field_);
    if (index < 0) return;
    const QImage pasted = QApplication::clipboard()->image();
    if (pasted.isNull() || !source_->ensureEditing()) return;
    source_->setFieldValue(index, Value::bytes(EncodeBitmap(pasted).toStdString()));
}

} // namespace tarnel::app
