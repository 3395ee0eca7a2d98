#pragma once
// A main window with stand-in dialogs, and tables made through the engine.
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QStringList>
#include <gtest/gtest.h>
#include <memory>
#include <string>

#include "app/form_services.h"
#include "controls/error_guard.h"
#include "app/main_form.h"
#include "engine/table.h"
#include "tests/support/test_paths.h"

namespace tarnel::test {

// Dialog answers are queued by the test; everything asked is recorded.
class FakeServices : public app::TMainFormServices {
public:
    QString openPath, openTable;    // the Open Database dialog's answer (empty: cancel)
    bool confirmDelete = true;
    QString fileAnswer;             // the file dialogs' answer (empty: cancel)
    QStringList fileDialogTitles;
    QStringList fileDialogFilters;
    QStringList added;              // recent-files entries, as added
    int saves = 0;
    int viewerPathReads = 0;
    QStringList dialogFolders;
    QString settingsFile = QStringLiteral("/nonexistent/Tarnel.ini");
    int codePageAnswer = 0;         // the code page list's answer (0: cancel)
    QStringList codePageTables;     // the tables the list was shown for
    QStringList informations;       // information boxes shown

    QString ProgramSettingsFile() override { return settingsFile; }
    bool ChooseCodePage(QWidget*, const QString& table, int& chosen) override
    {
        codePageTables << table;
        if (codePageAnswer == 0) return false;
        chosen = codePageAnswer;
        return true;
    }
    void ShowInformation(QWidget*, const QString& message) override { informations << message; }
    void ReadViewerPath() override { ++viewerPathReads; }
    bool ExecuteOpenDBDlg(QWidget*, QString& pathOrAlias, QString& tableName) override
    {
        if (openTable.isEmpty()) return false;
        pathOrAlias = openPath;
        tableName = openTable;
        return true;
    }
    void SetOpenDBDlgFolder(const QString& folder) override { dialogFolders << folder; }
    bool ConfirmDelete(QWidget*) override { return confirmDelete; }
    QString ExecFileDialog(QFileDialog& dialog) override
    {
        fileDialogTitles << dialog.windowTitle();
        fileDialogFilters << dialog.nameFilters().join("|");
        return fileAnswer;
    }
    void AddReopenEntry(const QString& entry) override
    {
        added << entry;
        TMainFormServices::AddReopenEntry(entry);
    }
    void SaveReopenEntries() override { ++saves; }
};

class FormTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        savedFolder_ = QDir::currentPath();
        previousHook_ = SetMessageBoxHook([this](const ShownBox& box) {
            boxes << box;
            if (box.kind == BoxKind::Error) errors << box.text;
            return true;
        });
        auto fake = std::make_unique<FakeServices>();
        services = fake.get();
        form = std::make_unique<app::TForm1>(std::move(fake), QStringList{"tarnel"});
    }
    void TearDown() override
    {
        form.reset();
        SetMessageBoxHook(std::move(previousHook_));
        QDir::setCurrent(savedFolder_);
    }

    // A feature table: NAME, DEPTH, NOTES (memo), PHOTO (blob), with `rows` rows.
    std::string MakeTable(const std::string& name, int rows)
    {
        Table t;
        t.setDatabaseName(dir.path());
        t.setTableName(name);
        t.addFieldDef("NAME", ftString, 20);
        t.addFieldDef("DEPTH", ftFloat, 0);
        t.addFieldDef("NOTES", ftMemo, 0);
        t.addFieldDef("PHOTO", ftBlob, 0);
        t.createTable();
        t.open();
        for (int i = 0; i < rows; ++i) {
            t.append();
            t.setValue(0, Value::text("Feature " + std::to_string(i + 1)));
            t.setValue(1, Value::real(1.5 * i));
            t.setValue(2, Value::text("memo of row " + std::to_string(i + 1)));
            t.post();
        }
        t.close();
        return dir.file(name);
    }

    // Opens a table the way the Open Database command does.
    void OpenThroughDialog(const std::string& name)
    {
        services->openPath = QString::fromStdString(dir.path()) + "/";
        services->openTable = QString::fromStdString(name);
        form->OpenDBFileMenuClick();
    }

    void EnableEditing(bool autoEdit)
    {
        form->TableEditChk->setChecked(true);
        if (autoEdit) form->AutoEditChk->setChecked(true);
    }

    ScratchDir dir;
    FakeServices* services = nullptr;
    std::unique_ptr<app::TForm1> form;
    QStringList errors;        // the texts of the error boxes shown
    QList<ShownBox> boxes;     // every box shown
    MessageBoxHook previousHook_;

private:
    QString savedFolder_;
};

} // namespace tarnel::test
