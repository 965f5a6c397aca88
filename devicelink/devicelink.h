// The one discovery scope of both front ends: the PC's local addresses, the
// endpoints they (or setting.ini) give, and the device table of the last
// discovery. The window uses the process-wide instance, which reads
// setting.ini next to the executable; the command line makes its own, with
// the settings file and the card it was told.
#pragma once

#include "devicerecord.h"
#include "discovery.h"

#include <QList>
#include <QStringList>

class DeviceLink {
public:
    static constexpr int MaxSockets = MaxDiscoverySockets;

    // Reads no setting.ini until setSettingsPath() names one.
    DeviceLink() = default;
    ~DeviceLink();
    // The window's: setting.ini next to the executable.
    static DeviceLink &instance();

    // A setting.ini to read ([File] Broadcast=ADDRESS); empty: none.
    void setSettingsPath(const QString &path) { settingsPath_ = path; }
    QString settingsPath() const { return settingsPath_; }
    // Discover only on this local address or network card (by name); empty:
    // every usable one.
    void setOnlyInterface(const QString &addressOrCard) { onlyInterface_ = addressOrCard; }

    // Rebuilds the local addresses and endpoints. False when an interface was
    // named that the PC does not have (error() says so); nothing is sent then.
    bool setupEndpoints();
    // Refreshes the endpoints and, when forced or never done, replaces the
    // device table by a new discovery. False as setupEndpoints().
    bool discover(bool forced);

    QList<DeviceRecord> &devices() { return devices_; }
    const QStringList &interfaceAddresses() const { return interfaceAddresses_; }
    const QList<LocalAddress> &localAddresses() const { return local_; }
    QString error() const { return error_; }

private:
    bool discovered_ = false;
    QList<LocalAddress> local_;
    QStringList interfaceAddresses_;
    QList<DiscoveryEndpoint> endpoints_;
    QList<DeviceRecord> devices_;
    QString settingsPath_;
    QString onlyInterface_;
    QString error_;
};
