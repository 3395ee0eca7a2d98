#include "viewer/viewer_service.h"

#include <QFile>
#include <cstdio>

TViewerService::TViewerService(const QString& logPath, QObject* parent)
    : QObject(parent), logPath_(logPath)
{
}

void TViewerService::receive(const QString& item, const QByteArray& data)
{
    if (item != QLatin1String(kViewerItemName)) return;
    ++blocks_;
    if (!logPath_.isEmpty()) {
        QFile log(logPath_);
        if (!log.open(QIODevice::WriteOnly | QIODevice::Append)
            || log.write(data) != data.size() || !log.flush()) {
            std::fprintf(stderr, "Oculo32: cannot write %s: %s\n", qPrintable(logPath_),
                         qPrintable(log.errorString()));
        }
    }
    emit streamReceived(data);
}

TViewerAdaptor::TViewerAdaptor(TViewerService* service)
    : QDBusAbstractAdaptor(service), service_(service)
{
}

void TViewerAdaptor::Poke(const QString& item, const QByteArray& data)
{
    service_->receive(item, data);
}
