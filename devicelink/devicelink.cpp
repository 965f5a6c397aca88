#include "devicelink.h"

#include "udpsocket.h"

#include <QCoreApplication>
#include <QDir>
#include <QSettings>

DeviceLink &DeviceLink::instance()
{
    static DeviceLink link;
    static const bool located = [] {
        link.setSettingsPath(QDir::toNativeSeparators(QCoreApplication::applicationDirPath() +
                                                      QStringLiteral("/setting.ini")));
        return true;
    }();
    Q_UNUSED(located);
    return link;
}

DeviceLink::~DeviceLink() { UdpSocket::cleanup(); }

bool DeviceLink::setupEndpoints()
{
    error_.clear();
    local_ = usableLocalAddresses();
    if (!onlyInterface_.isEmpty()) {
        QList<LocalAddress> kept;
        for (const LocalAddress &a : local_)
            if (a.address == onlyInterface_ || a.interfaceName == onlyInterface_)
                kept.append(a);
        if (kept.isEmpty()) {
            error_ = QStringLiteral("%1 is not an address or network card of this PC.")
                         .arg(onlyInterface_);
            endpoints_.clear();
            return false;
        }
        local_ = kept;
    }
    interfaceAddresses_.clear();
    for (const LocalAddress &a : local_)
        interfaceAddresses_.append(a.address);
    QString setting;
    if (!settingsPath_.isEmpty()) {
        QSettings settings(settingsPath_, QSettings::IniFormat);
        setting = settings.value(QStringLiteral("File/Broadcast"), QString()).toString();
    }
    endpoints_ = discoveryEndpoints(local_, setting);
    return true;
}

bool DeviceLink::discover(bool forced)
{
    if (!setupEndpoints())
        return false;
    if (!forced && discovered_)
        return true;
    devices_ = discoverCameras(endpoints_);
    discovered_ = true;
    return true;
}
