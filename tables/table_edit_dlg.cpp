#include "tables/table_edit_dlg.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "controls/error_guard.h"
#include "controls/progress_dialog.h"
#include "engine/table.h"
#include "shell/help_request.h"
#include "tables/core/restructure.h"
#include "tables/field_list_editor.h"

namespace tarnel {

TTableEditDlg::TTableEditDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Edit/Restructure Table"));

    fields_ = new TFieldListEditor(this);
    static_cast<TFieldControls&>(*this) = *fields_;

    ResetBtn = new QPushButton(QStringLiteral("Reset To Last Commit"));
    CommitBtn = new QPushButton(QStringLiteral("Commit Changes"));
    CancelBtn = new QPushButton(QStringLiteral("Close"));
    HelpBtn = new QPushButton(QStringLiteral("Help"));
    // Return in the name field must not commit (or close) by accident.
    for (QPushButton* button : {InsertBtn, DeleteBtn, ResetBtn, CommitBtn, CancelBtn, HelpBtn})
        button->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(ResetBtn);
    buttons->addStretch();
    buttons->addWidget(CommitBtn);
    buttons->addWidget(CancelBtn);
    buttons->addWidget(HelpBtn);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(fields_->Group, 1);
    layout->addLayout(buttons);
    resize(600, 440);

    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    SetHelpContext(this, HelpTopic);
    ConnectHelpButton(HelpBtn, this, &TTableEditDlg::helpRequested);
    connect(ResetBtn, &QPushButton::clicked, this, Guarded(this, [this] { ResetBtnClick(); }));
    connect(CommitBtn, &QPushButton::clicked, this, Guarded(this, [this] { CommitBtnClick(); }));
}

void TTableEditDlg::ExecuteTableEditDlg(Table& table)
{
    table_ = &table;
    loadList();
    if (QScreen* screen = this->screen()) move(screen->availableGeometry().center() - rect().center());
    exec();
    table_ = nullptr;
}

void TTableEditDlg::loadList()
{
    fields_->LoadFields(table_ && table_->active() ? table_->fields() : std::vector<FieldDef>{});
}

void TTableEditDlg::ResetBtnClick() { loadList(); }

void TTableEditDlg::CommitBtnClick()
{
    if (!table_) return;
    if (!AskYesNoWarning(this, windowTitle(),
                         QStringLiteral("Restructuring the database may\r\n"
                                        "damage the data with some database engines.\r\n"
                                        "Be sure to backup your data before you proceed.\r\n"
                                        "Are you sure you want to restructure?")))
        return;
    const std::vector<FieldDef> fields = fields_->Fields(table_->active() ? table_->fields() : std::vector<FieldDef>{});
    WaitCursor hourglass;
    TRowProgress progress(this, QStringLiteral("Restructuring the table..."));
    tables::RestructureResult result;
    try {
        result = tables::RestructureTable(
            *table_, fields,
            [&progress](std::int64_t done, std::int64_t total) {
                return progress.update(done, total, QString::fromStdString(tables::RestructureProgressText(done, total)));
            },
            tempParent_.toStdString());
    } catch (...) {
        // The list shows what the table now is (the old layout after a restore).
        loadList();
        throw;
    }
    // A cancel leaves the table as it was and the edits in the list, to commit later.
    if (!result.cancelled) loadList();
}

} // namespace tarnel
