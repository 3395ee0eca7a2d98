#include "workspace/reopen_menu.h"

#include <QAction>

#include "controls/error_guard.h"
#include "engine/profile_file.h"
#include "engine/settings_folder.h"

namespace tarnel {

namespace {

// The part of an entry after its last "/".
QString NamePart(const QString& text)
{
    return text.mid(text.lastIndexOf('/') + 1);
}

// Menus take "&" as the mark of a shortcut letter; a name shows it as it is.
QString Literal(QString text)
{
    return text.replace('&', QStringLiteral("&&"));
}

} // namespace

TReopenMenu::TReopenMenu(QObject* owner) : QObject(owner) {}

TReopenMenu::~TReopenMenu() = default;

void TReopenMenu::setMenuItem(QMenu* menu)
{
    if (menu == menu_) return;
    if (menu_) {
        for (QAction* a : items_) {
            menu_->removeAction(a);
            a->deleteLater();
        }
        disconnect(menu_, nullptr, this, nullptr);
    }
    items_.clear();
    entries_.clear();
    menu_ = menu;
    if (menu_) {
        // When the submenu goes, its items go with it; the list is forgotten too.
        connect(menu_, &QObject::destroyed, this, [this] {
            items_.clear();
            entries_.clear();
        });
    }
}

QString TReopenMenu::settingsPath() const
{
    if (iniFile_.isEmpty() || iniFile_.contains('/')) return iniFile_;
    return QString::fromStdString(SuiteSettingsFolder(SuiteFolderName)) + iniFile_;
}

QString TReopenMenu::captionText(const QString& text) const
{
    return Literal(showPath_ ? text : NamePart(text));
}

void TReopenMenu::renumber()
{
    if (!numberItems_) return;
    for (int i = 0; i < items_.size(); ++i)
        items_[i]->setText('&' + QString::number(i + 1) + ' ' + captionText(entries_[i]));
}

void TReopenMenu::removeEntry(int index)
{
    QAction* action = items_.takeAt(index);
    entries_.removeAt(index);
    if (menu_) menu_->removeAction(action);
    // Later: the item may be the one whose click is being handled.
    action->deleteLater();
}

void TReopenMenu::putEntry(const QString& text, bool atTop)
{
    if (!menu_) return;
    if (noDuplicates_) {
        for (int i = 0; i < entries_.size(); ++i) {
            if (entries_[i].compare(text, Qt::CaseInsensitive) == 0) {
                removeEntry(i);
                break;
            }
        }
    }
    auto* action = new QAction(captionText(text), menu_);
    connect(action, &QAction::triggered, this, [this, action] { RunGuarded(nullptr, [&] { itemClicked(action); }); });
    if (atTop) {
        QAction* before = items_.isEmpty() ? nullptr : items_.first();
        if (!before) {
            const QList<QAction*> existing = menu_->actions();
            before = existing.isEmpty() ? nullptr : existing.first();
        }
        menu_->insertAction(before, action);
        items_.prepend(action);
        entries_.prepend(text);
    } else {
        QAction* after = items_.isEmpty() ? nullptr : items_.last();
        QAction* before = nullptr;
        if (after) {
            const QList<QAction*> existing = menu_->actions();
            qsizetype at = existing.indexOf(after);
            if (at >= 0 && at + 1 < existing.size()) before = existing[at + 1];
        }
        menu_->insertAction(before, action);
        items_.append(action);
        entries_.append(text);
    }
    if (!loading_) renumber();
}

void TReopenMenu::AddEntry(const QString& text)
{
    if (!menu_) return;
    putEntry(text, true);
    while (items_.size() > limit_ && !items_.isEmpty()) removeEntry(static_cast<int>(items_.size()) - 1);
}

void TReopenMenu::LoadEntries()
{
    if (!menu_) return;
    while (!items_.isEmpty()) removeEntry(static_cast<int>(items_.size()) - 1);
    const QString path = settingsPath();
    if (path.isEmpty()) return;
    try {
        ProfileFile file(path.toStdString());
        const std::string section = iniSection_.toStdString();
        long long count = file.readInteger(section, "Count", 0);
        if (count > MaxLoadedEntries) count = MaxLoadedEntries;
        loading_ = true;   // number the items once, at the end
        for (long long i = 0; i < count; ++i)
            putEntry(QString::fromStdString(file.readString(section, "Path" + std::to_string(i))),
                     false);
        loading_ = false;
        renumber();
    } catch (const ProfileError&) {
        loading_ = false;
        renumber();
        reportError();
    }
}

void TReopenMenu::SaveEntries()
{
    if (!menu_ || iniFile_.isEmpty()) return;
    try {
        ProfileFile file(settingsPath().toStdString());
        const std::string section = iniSection_.toStdString();
        file.eraseSection(section);
        file.writeString(section, "Count", std::to_string(items_.size()));
        for (int i = 0; i < entries_.size(); ++i)
            file.writeString(section, "Path" + std::to_string(i),
                             ProfileFile::QuoteForReading(entries_[i].toStdString()));
        file.save();
    } catch (const ProfileError&) {
        reportError();
    }
}

void TReopenMenu::reportError()
{
    if (!showErrors_) return;
    ShowWarningBox(nullptr, QStringLiteral("Warning"),
                   "Unable to access: " + iniFile_ + "\n" + "You may not permission to access the Windows folder");
}

void TReopenMenu::itemClicked(QAction* action)
{
    int index = static_cast<int>(items_.indexOf(action));
    if (index < 0) return;
    const QString entry = entries_[index];
    if (onMenuClick_) onMenuClick_(this, entry);
    emit menuClick(entry);
    if (updateOnClick_) AddEntry(entry);
}

} // namespace tarnel
