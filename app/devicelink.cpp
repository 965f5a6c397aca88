#include "devicelink.h"

#include "udpsocket.h"

#include <QCoreApplication>
#include <QDir>
#include <QSettings>

DeviceLink &DeviceLink::instance()
{
    static DeviceLink link;
    return link;
}

DeviceLink::~DeviceLink() { UdpSocket::cleanup(); }

QString DeviceLink::settingsPath() const
{
    if (!settingsPath_.isEmpty())
        return settingsPath_;
    return QDir::toNativeSeparators(QCoreApplication::applicationDirPath() +
                                    QStringLiteral("/setting.ini"));
}

void DeviceLink::setupEndpoints()
{
    local_ = usableLocalAddresses();
    interfaceAddresses_.clear();
    for (const LocalAddress &a : local_)
        interfaceAddresses_.append(a.address);
    QSettings settings(settingsPath(), QSettings::IniFormat);
    const QString setting = settings.value(QStringLiteral("File/Broadcast"), QString()).toString();
    endpoints_ = discoveryEndpoints(local_, setting);
}

void DeviceLink::discover(bool forced)
{
    setupEndpoints();
    if (!forced && discovered_)
        return;
    devices_ = discoverCameras(endpoints_);
    discovered_ = true;
}
