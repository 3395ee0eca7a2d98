#pragma once
// The viewer link over the user's D-Bus session bus.
//
//   service S  -> bus name org.vantor.S
//   topic T    -> object path /T
//   poke       -> method Poke(item: s, data: ay) on interface org.vantor.Viewer
//
// Opening connects to the session bus and looks for an owner of the bus
// name. With none, the program S is run with T as its argument, found on
// PATH or else in this program's own folder, its standard streams on
// /dev/null and in a session of its own, and given up to five seconds to take
// the name; then one more look. Nothing of a
// link outlives closeLink(): the bus connection is private to the link.
// Needs a QCoreApplication (the wait for a starting viewer runs its events).
#include <QString>
#include <cstddef>
#include <QtGlobal>

#include "query/core/viewer_link.h"

namespace tarnel::query {

class TDBusViewerLink : public TViewerLink {
public:
    static constexpr const char* kInterface = "org.vantor.Viewer";
    // The bus carries a byte array of at most 64 MiB in one message.
    static constexpr std::size_t kMaxPokeBytes = 64u * 1024u * 1024u;
    static QString BusName(const std::string& service);
    static QString ObjectPath(const std::string& topic);

    TDBusViewerLink();
    ~TDBusViewerLink() override;
    TDBusViewerLink(const TDBusViewerLink&) = delete;
    TDBusViewerLink& operator=(const TDBusViewerLink&) = delete;

    bool openLink(const std::string& service, const std::string& topic) override;
    bool poke(const std::string& item, const std::vector<std::string>& lines) override;
    void closeLink() override;

    bool isOpen() const { return open_; }
    // How long to wait for a started viewer to appear on the bus (default 5 s).
    void setStartTimeout(int milliseconds) { startTimeoutMs_ = milliseconds; }
    // Process id of the viewer this link started, 0 when it started none.
    qint64 startedPid() const { return startedPid_; }

private:
    bool connectBus();
    bool viewerPresent();
    bool startViewerAndWait(const std::string& service, const std::string& topic);

    QString connectionName_;
    bool connected_ = false;
    bool open_ = false;
    QString busName_;
    QString objectPath_;
    int startTimeoutMs_ = 5000;
    qint64 startedPid_ = 0;
};

} // namespace tarnel::query
