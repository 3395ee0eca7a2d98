#include "workspace/folder_widgets.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QRegularExpression>
#include <QStyle>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

#include "controls/error_guard.h"
#include "shell/system_support.h"

namespace tarnel {

namespace {

// /proc/mounts writes blanks and a few other characters as \ooo.
QString DecodeMountField(const QString& field)
{
    QString out;
    for (int i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            bool ok = false;
            int code = field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok) {
                out += QChar(code);
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

bool IsPseudoFileSystem(const QString& type)
{
    static const QStringList pseudo = {
        "proc", "sysfs", "tmpfs", "devtmpfs", "devpts", "cgroup", "cgroup2", "securityfs",
        "pstore", "bpf", "debugfs", "tracefs", "mqueue", "hugetlbfs", "configfs", "fusectl",
        "autofs", "binfmt_misc", "nsfs", "rpc_pipefs", "efivarfs", "ramfs", "squashfs",
        "selinuxfs", "overlay", "fuse.portal", "fuse.gvfsd-fuse"};
    return pseudo.contains(type);
}

bool IsSystemFolder(const QString& path)
{
    for (const char* prefix : {"/proc", "/sys", "/dev", "/run", "/boot", "/snap", "/var/lib"}) {
        QString p = QString::fromLatin1(prefix);
        if (path == p || path.startsWith(p + '/')) {
            // Removable media are mounted below /run/media.
            return !(path.startsWith("/run/media/"));
        }
    }
    return false;
}

bool Reachable(const QString& path)
{
    QByteArray native = QFile::encodeName(path);
    struct stat st {};
    return ::stat(native.constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
           ::access(native.constData(), R_OK | X_OK) == 0;
}

QString NormalFolder(const QString& path)
{
    QString clean = QDir::cleanPath(QDir(path).absolutePath());
    return clean.isEmpty() ? QStringLiteral("/") : clean;
}

} // namespace

QStringList RootsFromMounts(const QString& mountsText, const QString& home)
{
    QStringList roots{QStringLiteral("/")};
    if (!home.isEmpty() && home != "/") roots << home;
    QStringList mounted;
    for (const QString& line : mountsText.split('\n', Qt::SkipEmptyParts)) {
        QStringList f = line.split(' ', Qt::SkipEmptyParts);
        if (f.size() < 3) continue;
        QString folder = DecodeMountField(f[1]);
        if (folder == "/" || IsPseudoFileSystem(f[2]) || IsSystemFolder(folder)) continue;
        if (!roots.contains(folder) && !mounted.contains(folder)) mounted << folder;
    }
    mounted.sort(Qt::CaseInsensitive);
    return roots + mounted;
}

QStringList FileSystemRoots()
{
    QFile mounts(QStringLiteral("/proc/mounts"));
    QString text;
    if (mounts.open(QIODevice::ReadOnly)) text = QString::fromLocal8Bit(mounts.readAll());
    QStringList roots;
    for (const QString& r : RootsFromMounts(text, QDir::homePath()))
        if (Reachable(r)) roots << r;
    if (roots.isEmpty()) roots << QStringLiteral("/");
    return roots;
}

bool MaskMatches(const QString& mask, const QString& fileName)
{
    for (QString pattern : mask.split(';', Qt::SkipEmptyParts)) {
        pattern = pattern.trimmed();
        if (pattern.isEmpty()) continue;
        if (pattern == "*.*" || pattern == "*") return true;
        QRegularExpression re(QRegularExpression::wildcardToRegularExpression(pattern),
                              QRegularExpression::CaseInsensitiveOption);
        if (re.match(fileName).hasMatch()) return true;
    }
    return false;
}

// ---- TFolderList ----

TFolderList::TFolderList(QWidget* parent) : QTreeWidget(parent)
{
    setHeaderHidden(true);
    setColumnCount(1);
    setRootIsDecorated(false);
    setIndentation(14);
    setExpandsOnDoubleClick(false);
    setUniformRowHeights(true);
    connect(this, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item, int) { openItem(item); });
    folder_ = NormalFolder(QDir::currentPath());
    rebuild();
}

void TFolderList::setFolder(const QString& path)
{
    QString target = NormalFolder(path);
    QByteArray native = QFile::encodeName(target);
    struct stat st {};
    if (path.isEmpty()) throw InOutErrorFromErrno(ENOENT);
    if (::stat(native.constData(), &st) != 0) throw InOutErrorFromErrno(errno);
    if (!S_ISDIR(st.st_mode)) throw InOutErrorFromErrno(ENOTDIR);
    if (::access(native.constData(), X_OK) != 0) throw InOutErrorFromErrno(errno);
    folder_ = target;
    rebuild();
    emit folderChanged(folder_);
}

void TFolderList::openItem(QTreeWidgetItem* item)
{
    if (!item) return;
    RunGuarded(this, [&] { setFolder(item->data(0, Qt::UserRole).toString()); });
}

void TFolderList::keyPressEvent(QKeyEvent* event)
{
    // Enter on the open folder itself goes on to the dialog's default button.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentItem() &&
        currentItem()->data(0, Qt::UserRole).toString() != folder_) {
        openItem(currentItem());
        event->accept();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

void TFolderList::rebuild()
{
    WaitCursor wait;
    clear();
    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);

    // The way down from the root to the open folder, one level each.
    QStringList parts = folder_.split('/', Qt::SkipEmptyParts);
    auto* item = new QTreeWidgetItem(this, QStringList{QStringLiteral("/")});
    item->setIcon(0, open);
    item->setData(0, Qt::UserRole, QStringLiteral("/"));
    QString path;
    for (const QString& part : parts) {
        path += '/' + part;
        auto* child = new QTreeWidgetItem(item, QStringList{part});
        child->setIcon(0, open);
        child->setData(0, Qt::UserRole, path);
        item->setExpanded(true);
        item = child;
    }
    QTreeWidgetItem* current = item;
    QDir dir(folder_);
    const QStringList subfolders =
        dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    for (const QString& name : subfolders) {
        auto* child = new QTreeWidgetItem(current, QStringList{name});
        child->setIcon(0, closed);
        child->setData(0, Qt::UserRole, folder_ == "/" ? "/" + name : folder_ + '/' + name);
    }
    current->setExpanded(true);
    setCurrentItem(current);
    scrollToItem(current);
}

// ---- TDriveCombo ----

TDriveCombo::TDriveCombo(QWidget* parent) : QComboBox(parent)
{
    setRoots(FileSystemRoots());
    connect(this, &QComboBox::activated, this, [this](int) { emit driveChanged(root()); });
}

void TDriveCombo::setRoots(const QStringList& roots)
{
    QSignalBlocker block(this);
    clear();
    const QIcon icon = style()->standardIcon(QStyle::SP_DriveHDIcon);
    for (const QString& r : roots) addItem(icon, r, r);
}

void TDriveCombo::followFolder(const QString& folder)
{
    int best = -1, bestLength = -1;
    for (int i = 0; i < count(); ++i) {
        QString r = itemData(i).toString();
        bool holds = r == "/" || folder == r || folder.startsWith(r + '/');
        if (holds && r.size() > bestLength) best = i, bestLength = static_cast<int>(r.size());
    }
    QSignalBlocker block(this);
    if (best >= 0) setCurrentIndex(best);
}

// ---- TFileList ----

TFileList::TFileList(QWidget* parent) : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    directory_ = NormalFolder(QDir::currentPath());
    // The selection, not the current row: a mouse press moves the current row
    // before it selects, so the name would still be the old one.
    connect(this, &QListWidget::itemSelectionChanged, this, &TFileList::selectionChanged);
}

void TFileList::keyPressEvent(QKeyEvent* event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentItem() &&
        currentItem()->isSelected()) {
        emit itemActivated(currentItem());
        event->accept();
        return;
    }
    QListWidget::keyPressEvent(event);
}

void TFileList::setDirectory(const QString& folder)
{
    directory_ = NormalFolder(folder);
    update();
}

void TFileList::setMask(const QString& mask)
{
    mask_ = mask;
    update();
}

void TFileList::update()
{
    WaitCursor wait;
    {
        QSignalBlocker block(this);
        clear();
        QDir dir(directory_);
        const QString mask = mask_.trimmed().isEmpty() ? QStringLiteral("*.*") : mask_;
        for (const QString& name : dir.entryList(QDir::Files, QDir::Name | QDir::IgnoreCase))
            if (MaskMatches(mask, name)) addItem(name);
        setCurrentRow(-1);
    }
}

QString TFileList::fileName() const
{
    const QList<QListWidgetItem*> chosen = selectedItems();
    return chosen.isEmpty() ? QString() : chosen.first()->text();
}

QString TFileList::fullPath() const
{
    QString name = fileName();
    if (name.isEmpty()) return {};
    return directory_.endsWith('/') ? directory_ + name : directory_ + '/' + name;
}

} // namespace tarnel
