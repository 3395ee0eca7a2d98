#include "workspace/path_alias_dlg.h"

#include "shell/help_request.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "controls/error_guard.h"
#include "engine/aliases.h"
#include "workspace/folder_widgets.h"

namespace tarnel {

TPathAliasDlg::TPathAliasDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Select Path/Alias"));

    auto* pathBox = new QGroupBox(QStringLiteral("Data Base Path"));
    DirectoryListBox1 = new TFolderList;
    DriveComboBox1 = new TDriveCombo;
    PathChk = new QCheckBox(QStringLiteral("Use Path"));
    PathChk->setChecked(true);
    auto* pathLayout = new QVBoxLayout(pathBox);
    pathLayout->addWidget(DirectoryListBox1, 1);
    pathLayout->addWidget(DriveComboBox1);
    pathLayout->addWidget(PathChk);

    auto* aliasBox = new QGroupBox(QStringLiteral("Data Base Alias"));
    AliasList = new QListWidget;
    AliasChk = new QCheckBox(QStringLiteral("Use Alias"));
    auto* aliasLayout = new QVBoxLayout(aliasBox);
    aliasLayout->addWidget(AliasList, 1);
    aliasLayout->addWidget(AliasChk);

    OKBtn = new QPushButton(QStringLiteral("OK"));
    CancelBtn = new QPushButton(QStringLiteral("Cancel"));
    HelpBtn = new QPushButton(QStringLiteral("Help"));
    OKBtn->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    buttons->addWidget(HelpBtn);

    auto* groups = new QHBoxLayout;
    groups->addWidget(pathBox, 1);
    groups->addWidget(aliasBox, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(groups, 1);
    layout->addLayout(buttons);
    resize(520, 360);

    DriveComboBox1->followFolder(DirectoryListBox1->folder());
    connect(DirectoryListBox1, &TFolderList::folderChanged, DriveComboBox1,
            &TDriveCombo::followFolder);
    connect(DriveComboBox1, &TDriveCombo::driveChanged, this, [this](const QString& root) {
        if (!RunGuarded(this, [&] { DirectoryListBox1->setFolder(root); }))
            DriveComboBox1->followFolder(DirectoryListBox1->folder());
    });
    connect(PathChk, &QCheckBox::toggled, this, Guarded(this, [this] { PathChkClick(); }));
    connect(AliasChk, &QCheckBox::toggled, this, Guarded(this, [this] { AliasChkClick(); }));
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    ConnectHelpButton(HelpBtn, this, &TPathAliasDlg::helpRequested);
}

void TPathAliasDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    OKBtn->setFocus();
}

bool TPathAliasDlg::ExecutePathAliasDlg(QString& pathOrAlias)
{
    const std::vector<std::string> names = AliasNames();
    AliasList->clear();
    for (const auto& n : names) AliasList->addItem(QString::fromStdString(n));
    if (!names.empty()) {
        AliasList->setCurrentRow(0);
        AliasList->update();
    }
    AliasChk->setEnabled(!names.empty());
    PathChk->setChecked(true);
    AliasChk->setChecked(false);

    if (exec() != QDialog::Accepted) return false;
    // Unchecking "Use Path" checks "Use Alias" even when there is no alias to
    // choose; without a selected alias the result is the folder.
    QListWidgetItem* alias = AliasChk->isChecked() ? AliasList->currentItem() : nullptr;
    pathOrAlias = alias ? alias->text() : DirectoryListBox1->folder();
    return true;
}

void TPathAliasDlg::PathChkClick()
{
    AliasChk->setChecked(!PathChk->isChecked());
}

void TPathAliasDlg::AliasChkClick()
{
    PathChk->setChecked(!AliasChk->isChecked());
}

} // namespace tarnel
