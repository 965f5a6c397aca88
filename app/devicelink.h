// The window's holder of its last discovery: the local addresses, the
// endpoints read from setting.ini, and the device table the device list
// shows. Discovery itself is a call of the core (discovery.h).
#pragma once

#include "devicerecord.h"
#include "discovery.h"

#include <QList>
#include <QStringList>

class DeviceLink {
public:
    static constexpr int MaxSockets = MaxDiscoverySockets;

    static DeviceLink &instance();

    void setupEndpoints();
    void discover(bool forced);

    QList<DeviceRecord> &devices() { return devices_; }
    const QStringList &interfaceAddresses() const { return interfaceAddresses_; }

    // Where setting.ini is read from; the executable's directory unless a
    // test points it elsewhere.
    void setSettingsPath(const QString &path) { settingsPath_ = path; }
    QString settingsPath() const;

    ~DeviceLink();

private:
    DeviceLink() = default;

    bool discovered_ = false;
    QList<LocalAddress> local_;
    QStringList interfaceAddresses_;
    QList<DiscoveryEndpoint> endpoints_;
    QList<DeviceRecord> devices_;
    QString settingsPath_;
};
