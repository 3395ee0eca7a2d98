#pragma once
// An edit box with an arrow pair and an optional units label inside its right
// edge. What the arrows do is up to the descendant (StepUp / StepDown hooks).
#include <QLabel>

#include "controls/custom_edit_ex.h"
#include "controls/up_down_button.h"

namespace tarnel {

// The units label: a plain raised panel, hidden while it has no text.
class TDisPanel : public QLabel {
    Q_OBJECT
public:
    explicit TDisPanel(QWidget* parent = nullptr);
};

class TCustomSpin : public TCustomEditEx {
    Q_OBJECT

public:
    explicit TCustomSpin(QWidget* parent = nullptr);

    bool EditorEnabled() const { return editorEnabled_; }
    void setEditorEnabled(bool on) { editorEnabled_ = on; }
    bool UseLimit() const { return useLimit_; }
    void setUseLimit(bool on) { useLimit_ = on; }
    bool Wrap() const { return wrap_; }
    void setWrap(bool on) { wrap_ = on; }
    bool BlockChangeEvent() const { return blockChange_; }
    void setBlockChangeEvent(bool on) { blockChange_ = on; }
    bool AutoSelect() const { return autoSelect_; }
    void setAutoSelect(bool on) { autoSelect_ = on; }

    QString UnitsString() const { return panel_->text(); }
    void setUnitsString(const QString& units);
    int PanelWidth() const { return panelWidth_; }
    void setPanelWidth(int width);

    TUpDownButton* button() const { return button_; }
    TDisPanel* panel() const { return panel_; }

signals:
    void OnChange(QObject* sender);
    // mode 0: the value passed the maximum; 1: it passed the minimum.
    void OnWrap(QObject* sender, int mode);

protected:
    virtual void upClick() {}
    virtual void downClick() {}
    // The system's default beep; a refused key or step sounds it.
    virtual void beep();

    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    bool allowsCutPaste() const override { return editorEnabled_ && !isReadOnly(); }

    void layoutChildren();

private:
    TUpDownButton* button_;
    TDisPanel* panel_;
    int panelWidth_ = 0;
    bool editorEnabled_ = true;
    bool useLimit_ = false;
    bool wrap_ = false;
    bool blockChange_ = false;
    bool autoSelect_ = true;
};

} // namespace tarnel
