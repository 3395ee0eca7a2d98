#include "shell/help_request.h"
#include "workspace/copy_db_dlg.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "controls/error_guard.h"
#include "controls/progress_dialog.h"
#include "controls/radio_group.h"
#include "engine/batch_move.h"

namespace tarnel {

namespace {

// One side's group: "Table Name" and "Path/Alias" boxes and a Browse button.
QGroupBox* SideGroup(const QString& title, QLineEdit*& tableEdit, QLineEdit*& pathEdit, QPushButton*& browse)
{
    auto* group = new QGroupBox(title);
    auto* layout = new QVBoxLayout(group);
    tableEdit = new QLineEdit;
    pathEdit = new QLineEdit;
    browse = new QPushButton(QStringLiteral("Browse Path/Alias"));
    browse->setAutoDefault(false);
    auto* tableLabel = new QLabel(QStringLiteral("Table Name"));
    tableLabel->setBuddy(tableEdit);
    auto* pathLabel = new QLabel(QStringLiteral("Path/Alias"));
    pathLabel->setBuddy(pathEdit);
    layout->addWidget(tableLabel);
    layout->addWidget(tableEdit);
    layout->addWidget(pathLabel);
    layout->addWidget(pathEdit);
    layout->addWidget(browse);
    return group;
}

} // namespace

TCopyDBDlg::TCopyDBDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Copy Database"));
    auto* sides = new QHBoxLayout;
    sides->addWidget(SideGroup(QStringLiteral("Destination Database"), DestTableEdit, DestPathEdit, BrowseDestBtn));
    sides->addWidget(SideGroup(QStringLiteral("Source Database"), SourceTableEdit, SourcePathEdit, BrowseSourceBtn));

    CopyModeRadio = new TRadioGroup(QStringLiteral("Copy Mode"),
                                    {QStringLiteral("Append"), QStringLiteral("Update"), QStringLiteral("AppendUpdate"),
                                     QStringLiteral("Delete"), QStringLiteral("Copy")},
                                    2);
    CopyModeRadio->setItemIndex(0);

    CancelBtn = new QPushButton(QStringLiteral("&Close"));
    CancelBtn->setAutoDefault(false);
    CopyBtn = new QPushButton(QStringLiteral("Copy"));
    CopyBtn->setDefault(true);
    HelpBtn = new QPushButton(QStringLiteral("&Help"));
    HelpBtn->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(CancelBtn);
    buttons->addStretch();
    buttons->addWidget(CopyBtn);
    buttons->addStretch();
    buttons->addWidget(HelpBtn);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(sides);
    layout->addWidget(CopyModeRadio);
    layout->addLayout(buttons);

    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    SetHelpContext(this, HelpTopic);
    ConnectHelpButton(HelpBtn, this, &TCopyDBDlg::helpRequested);
    connect(BrowseSourceBtn, &QPushButton::clicked, this, Guarded(this, [this] { BrowseSourceBtnClick(); }));
    connect(BrowseDestBtn, &QPushButton::clicked, this, Guarded(this, [this] { BrowseDestBtnClick(); }));
    connect(CopyBtn, &QPushButton::clicked, this, Guarded(this, [this] { CopyBtnClick(); }));
}

void TCopyDBDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    CancelBtn->setFocus();
}

void TCopyDBDlg::BrowseSourceBtnClick()
{
    QString pathOrAlias, tableName;
    if (!ChooseTable || !ChooseTable(pathOrAlias, tableName)) return;
    SourcePathEdit->setText(pathOrAlias);
    SourceTableEdit->setText(tableName);
}

void TCopyDBDlg::BrowseDestBtnClick()
{
    QString pathOrAlias, tableName;
    if (!ChooseTable || !ChooseTable(pathOrAlias, tableName)) return;
    DestPathEdit->setText(pathOrAlias);
    DestTableEdit->setText(tableName);
}

void TCopyDBDlg::CopyBtnClick()
{
    WaitCursor hourglass;
    SourceTable.close();
    SourceTable.setDatabaseName(SourcePathEdit->text().toStdString());
    SourceTable.setTableName(SourceTableEdit->text().toStdString());
    SourceTable.setTableType(TableType::Default);
    DestTable.close();
    DestTable.setDatabaseName(DestPathEdit->text().toStdString());
    DestTable.setTableName(DestTableEdit->text().toStdString());
    DestTable.setTableType(TableType::Default);
    SourceTable.open();
    TRowProgress progress(this, QStringLiteral("Copying rows..."));
    BatchMove(DestTable, SourceTable, static_cast<BatchMode>(CopyModeRadio->ItemIndex()),
              [&progress](std::int64_t done, std::int64_t total) { return progress.update(done, total); });
}

} // namespace tarnel
