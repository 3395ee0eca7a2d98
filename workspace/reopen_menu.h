#pragma once
// TReopenMenu: a short most-recent-first list of entries (recent tables),
// shown as the numbered items of one submenu and remembered in a section of
// a settings file ("Count", then "Path0" for the top entry, "Path1"...).
#include <QList>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>

class QAction;

namespace tarnel {

class TReopenMenu : public QObject {
    Q_OBJECT
    Q_PROPERTY(int Limit READ limit WRITE setLimit)
    Q_PROPERTY(QString INIFile READ iniFile WRITE setIniFile)
    Q_PROPERTY(QString INISection READ iniSection WRITE setIniSection)
    Q_PROPERTY(bool NumberItems READ numberItems WRITE setNumberItems)
    Q_PROPERTY(bool NoDuplicates READ noDuplicates WRITE setNoDuplicates)
    Q_PROPERTY(bool ShowPath READ showPath WRITE setShowPath)
    Q_PROPERTY(bool ShowErrors READ showErrors WRITE setShowErrors)
    Q_PROPERTY(bool UpdateOnClick READ updateOnClick WRITE setUpdateOnClick)

public:
    // The owner's notice of a clicked entry.
    using TMenuClickEvent = std::function<void(TReopenMenu* sender, const QString& path)>;

    explicit TReopenMenu(QObject* owner = nullptr);
    ~TReopenMenu() override;   // writes nothing

    int limit() const { return limit_; }
    void setLimit(int limit) { limit_ = limit; }
    // A bare file name is taken in the suite settings folder.
    QString iniFile() const { return iniFile_; }
    void setIniFile(const QString& file) { iniFile_ = file; }
    QString iniSection() const { return iniSection_; }
    void setIniSection(const QString& section) { iniSection_ = section; }
    // The submenu whose items are the entries. Setting another one takes the
    // entries' items out of the old submenu and empties the list.
    QMenu* menuItem() const { return menu_; }
    void setMenuItem(QMenu* menu);
    TMenuClickEvent onMenuClick() const { return onMenuClick_; }
    void setOnMenuClick(TMenuClickEvent handler) { onMenuClick_ = std::move(handler); }
    bool numberItems() const { return numberItems_; }
    void setNumberItems(bool on) { numberItems_ = on; }
    bool noDuplicates() const { return noDuplicates_; }
    void setNoDuplicates(bool on) { noDuplicates_ = on; }
    bool showPath() const { return showPath_; }
    void setShowPath(bool on) { showPath_ = on; }
    bool showErrors() const { return showErrors_; }
    void setShowErrors(bool on) { showErrors_ = on; }
    bool updateOnClick() const { return updateOnClick_; }
    void setUpdateOnClick(bool on) { updateOnClick_ = on; }

    // Puts an entry at the top, then keeps at most Limit entries. Nothing
    // happens without a submenu.
    void AddEntry(const QString& text);
    // Rebuilds the list and the submenu from the settings file.
    void LoadEntries();
    // Writes the list to the settings file (needs a submenu and a file name).
    void SaveEntries();

    // The entries, top first.
    QStringList entries() const { return entries_; }
    // The settings file actually used for INIFile.
    QString settingsPath() const;

    // Most entries a settings file can put into the menu, whatever its "Count".
    static constexpr int MaxLoadedEntries = 1000;

signals:
    // The same notice as OnMenuClick, for connecting.
    void menuClick(const QString& path);

private:
    void putEntry(const QString& text, bool atTop);
    void removeEntry(int index);
    void renumber();
    QString captionText(const QString& text) const;
    void itemClicked(QAction* action);
    void reportError();

    int limit_ = 5;
    QString iniFile_;
    QString iniSection_;
    QPointer<QMenu> menu_;
    TMenuClickEvent onMenuClick_;
    bool numberItems_ = true;
    bool noDuplicates_ = true;
    bool showPath_ = false;
    bool showErrors_ = false;
    bool updateOnClick_ = false;
    bool loading_ = false;

    QStringList entries_;          // entry i belongs to item i
    QList<QAction*> items_;
};

} // namespace tarnel
