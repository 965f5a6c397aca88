// The process-wide GVCP client: sockets in fixed slots, the local IPv4
// addresses, and the device table of the last discovery.
#pragma once

#include "devicerecord.h"
#include "udpsocket.h"

#include <QList>
#include <QStringList>
#include <array>

class DeviceLink {
public:
    static constexpr int MaxSockets = 8;

    static DeviceLink &instance();

    void setupEndpoints();
    void discover(bool forced);

    QList<DeviceRecord> &devices() { return devices_; }
    const QStringList &interfaceAddresses() const { return interfaceAddresses_; }
    int socketCount() const { return socketCount_; }
    UdpSocket *socketSlot(int index) { return &sockets_[index]; }
    bool discovered() const { return discovered_; }

    // Where setting.ini is read from; the executable's directory unless a
    // test points it elsewhere.
    void setSettingsPath(const QString &path) { settingsPath_ = path; }
    QString settingsPath() const;

    ~DeviceLink();

private:
    DeviceLink() = default;

    bool discovered_ = false;
    SocketAddress discoveryAddr_;
    std::array<UdpSocket, MaxSockets> sockets_;
    QStringList interfaceAddresses_;
    int socketCount_ = 0;
    QList<DeviceRecord> devices_;
    QString settingsPath_;
};
