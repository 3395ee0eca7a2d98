#pragma once
// What the viewer offers on the session bus:
//   bus name  org.vantor.Oculo32
//   object    /ViewerTopic
//   interface org.vantor.Viewer, method Poke(item: s, data: ay)
// A poke of item "ViewerItem" carries one feature stream; other items are
// ignored.
#include <QByteArray>
#include <QDBusAbstractAdaptor>
#include <QObject>
#include <QString>

inline constexpr const char* kViewerBusName = "org.vantor.Oculo32";
inline constexpr const char* kViewerObjectPath = "/ViewerTopic";
inline constexpr const char* kViewerItemName = "ViewerItem";

class TViewerService : public QObject {
    Q_OBJECT
public:
    // With a log path, every received block is appended to that file byte for byte.
    explicit TViewerService(const QString& logPath, QObject* parent = nullptr);

    void receive(const QString& item, const QByteArray& data);
    int blocksReceived() const { return blocks_; }

signals:
    void streamReceived(const QByteArray& data);

private:
    QString logPath_;
    int blocks_ = 0;
};

class TViewerAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.vantor.Viewer")
public:
    explicit TViewerAdaptor(TViewerService* service);

public slots:
    void Poke(const QString& item, const QByteArray& data);

private:
    TViewerService* service_;
};
