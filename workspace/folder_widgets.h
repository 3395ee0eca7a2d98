#pragma once
// The pieces of the table and folder choosers: a folder tree that shows the
// way down to one folder and that folder's subfolders, a chooser of the file
// system's roots, and a list of the files of one folder that match a mask.
#include <QComboBox>
#include <QListWidget>
#include <QStringList>
#include <QTreeWidget>

namespace tarnel {

// The places a user can start from: "/", the home folder, then the mounted
// volumes (from /proc/mounts) that exist and can be read; no pseudo file systems.
QStringList FileSystemRoots();
// Same, from the text of a mounts table (one "device folder type ..." line each).
QStringList RootsFromMounts(const QString& mountsText, const QString& home);

// Whether a file name matches a mask: patterns separated by ";", with "*" and
// "?", compared without regard to letter case. "*.*" matches every name.
bool MaskMatches(const QString& mask, const QString& fileName);

// Folder tree. Double-click or Enter on a folder opens it.
class TFolderList : public QTreeWidget {
    Q_OBJECT
public:
    explicit TFolderList(QWidget* parent = nullptr);
    // The open folder: an absolute path without a final "/" (except the root).
    QString folder() const { return folder_; }
    // Opens a folder (reporting it even when it was open already). Throws InOutError when it does not exist or cannot be
    // entered; the tree then stays as it was.
    void setFolder(const QString& path);

signals:
    void folderChanged(const QString& folder);

protected:
    // Enter opens the folder under the cursor and goes no further; on the
    // folder that is open already it goes on to the dialog (its OK button).
    void keyPressEvent(QKeyEvent* event) override;

private:
    void rebuild();
    void openItem(QTreeWidgetItem* item);
    QString folder_;
};

// Chooser of the file-system roots; choosing one reports it.
class TDriveCombo : public QComboBox {
    Q_OBJECT
public:
    explicit TDriveCombo(QWidget* parent = nullptr);
    void setRoots(const QStringList& roots);
    QString root() const { return currentData().toString(); }
    // Shows the root that holds a folder, without reporting a choice.
    void followFolder(const QString& folder);

signals:
    void driveChanged(const QString& root);
};

// The files of one folder that match a mask, sorted by name. Hidden files and
// folders are not listed.
class TFileList : public QListWidget {
    Q_OBJECT
public:
    explicit TFileList(QWidget* parent = nullptr);
    QString directory() const { return directory_; }
    void setDirectory(const QString& folder);   // re-reads the list
    QString mask() const { return mask_; }
    void setMask(const QString& mask);          // re-reads the list
    void update();                              // re-reads the list; nothing selected

    // The selected file's name, and its full path; empty when none is selected.
    QString fileName() const;
    QString fullPath() const;

signals:
    void selectionChanged();

protected:
    // Enter on a file activates it, once; without a file it goes on to the dialog.
    void keyPressEvent(QKeyEvent* event) override;

private:
    QString directory_;
    QString mask_ = QStringLiteral("*.*");
};

} // namespace tarnel
