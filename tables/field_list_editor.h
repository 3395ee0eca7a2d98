#pragma once
// The field list of the table-design dialogs and the controls that edit it:
// the list of field entries, "Add", "Delete", the move arrows, and the name,
// type and size of the next entry, in a "Field Parameters" group. The create
// and restructure dialogs each own one and lay out their own extra buttons
// beside it.
#include <QObject>
#include <QString>
#include <vector>

#include "engine/dataset.h"

class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QToolButton;
class QVBoxLayout;

namespace tarnel {

class TIntegerSpin;

// The field controls by their names; each design dialog carries them too.
struct TFieldControls {
    QListWidget* FieldList = nullptr;
    QPushButton* InsertBtn = nullptr;
    QPushButton* DeleteBtn = nullptr;
    QToolButton* MoveUpBtn = nullptr;
    QToolButton* MoveDownBtn = nullptr;
    QLineEdit* FieldNameEdit = nullptr;
    QListWidget* FieldTypesList = nullptr;
    TIntegerSpin* FieldSizeSpin = nullptr;
};

// A label naming `buddy` (Alt + its underlined letter moves there).
QLabel* BuddyCaption(const QString& text, QWidget* buddy);

class TFieldListEditor : public QObject, public TFieldControls {
    Q_OBJECT
public:
    // `owner` is the dialog: the warnings carry its title and the handlers
    // run under its error guard.
    explicit TFieldListEditor(QWidget* owner);

    QGroupBox* Group;   // "Field Parameters", holding all the field controls

    // A button under the list's own buttons, and a control under the size.
    void addListButton(QWidget* button);
    void addEntryControl(QWidget* control);

    // The handlers the buttons and the type list are bound to.
    void InsertBtnClick();
    void DeleteBtnClick();
    void MoveUpBtnClick();
    void MoveDownBtnClick();
    void FieldTypesListClick();

    // Empties the list, then lists each field as the engine declares it.
    void LoadFields(const std::vector<FieldDef>& fields);
    // The entries as field definitions, in list order. An entry that still
    // shows an existing field as it was listed (same name, type and size)
    // keeps that field's whole definition, so that a width or a number of
    // decimals the list cannot show survives a rebuild.
    std::vector<FieldDef> Fields(const std::vector<FieldDef>& existing = {}) const;

private:
    void warn(const QString& text);
    void moveSelected(int to);

    QWidget* owner_;
    QVBoxLayout* listButtons_;
    QGridLayout* grid_;
};

} // namespace tarnel
