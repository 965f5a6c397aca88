#include "devicelink.h"

#include "gvcp.h"
#include "ipv4address.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QNetworkInterface>
#include <QSettings>

#include <cstring>

namespace {

// A camera (or anything else) that keeps sending would otherwise hold the
// collection on one socket for ever: each datagram restarts the 500 ms wait.
constexpr int CollectionLimitMs = 5000;

}  // namespace

DeviceLink &DeviceLink::instance()
{
    static DeviceLink link;
    return link;
}

DeviceLink::~DeviceLink()
{
    for (UdpSocket &socket : sockets_)
        socket.close();
    UdpSocket::cleanup();
}

QString DeviceLink::settingsPath() const
{
    if (!settingsPath_.isEmpty())
        return settingsPath_;
    return QDir::toNativeSeparators(QCoreApplication::applicationDirPath() +
                                    QStringLiteral("/setting.ini"));
}

void DeviceLink::setupEndpoints()
{
    interfaceAddresses_.clear();
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &iface : interfaces) {
        const auto flags = iface.flags();
        if (!iface.isValid() || !(flags & QNetworkInterface::IsRunning) ||
            (flags & QNetworkInterface::IsLoopBack))
            continue;
        for (const QNetworkAddressEntry &entry : iface.addressEntries()) {
            const QHostAddress address = entry.ip();
            if (address.protocol() != QAbstractSocket::IPv4Protocol)
                continue;
            const QString text = address.toString();
            interfaceAddresses_.append(text);
            qDebug().noquote() << "Interface:" << text;
        }
    }

    QSettings settings(settingsPath(), QSettings::IniFormat);
    const QString setting = settings.value(QStringLiteral("File/Broadcast"), QString()).toString();

    UdpSocket::startup();

    // The previous set of sockets is closed first: everybody refers to slots,
    // not handles, so nothing keeps an old handle.
    for (UdpSocket &socket : sockets_)
        socket.close();

    QStringList bindAddresses;
    if (setting.size() > 4) {
        bindAddresses.append(setting);
    } else {
        for (int i = 0; i < interfaceAddresses_.size() && i < MaxSockets; ++i)
            bindAddresses.append(interfaceAddresses_[i]);
    }
    socketCount_ = bindAddresses.size();

    for (int i = 0; i < socketCount_; ++i) {
        UdpSocket &socket = sockets_[size_t(i)];
        socket.open();
        quint8 address[4];
        // Not an address at all cannot be bound either; the socket is kept
        // unbound and the system picks the interface.
        if (!parseIPv4(bindAddresses[i], address) || !socket.bindTo(address, 0))
            qDebug() << "bind error";
    }

    discoveryAddr_ = SocketAddress();
    std::memset(discoveryAddr_.address, 0xFF, 4);
    discoveryAddr_.port = gvcp::Port;
}

void DeviceLink::discover(bool forced)
{
    setupEndpoints();
    if (!forced && discovered_)
        return;

    quint8 command[gvcp::DiscoveryCmdSize] = {};
    const int commandLength = gvcp::fillGvcpCommand(command, gvcp::DiscoveryCmd, 0, 0, 0, 0);

    devices_.clear();

    for (int i = 0; i < socketCount_; ++i) {
        UdpSocket &socket = sockets_[size_t(i)];
        if (socket.sendTo(command, commandLength, discoveryAddr_) < 0)
            qDebug().nospace() << "sendto err " << UdpSocket::lastError();
        else
            qDebug() << "sendto OK.\n";

        QElapsedTimer collecting;
        collecting.start();
        quint8 buffer[gvcp::DiscoveryReceiveBuffer];
        for (;;) {
            if (collecting.elapsed() >= CollectionLimitMs) {
                qDebug() << "discovery collection cut short after" << CollectionLimitMs << "ms";
                break;
            }
            const int length = socket.receive(buffer, sizeof buffer);
            if (length < 0) {
                qDebug() << "error on recv after send!" << UdpSocket::lastError();
                break;
            }
            qDebug() << "get ack" << length;
            DeviceRecord record;
            if (!gvcp::parseDiscoveryAck(buffer, length, record))
                continue;
            record.socketSlot = &socket;
            record.hostIP = interfaceAddresses_.value(i);
            qDebug().noquote() << "mac" << record.macText();
            qDebug().noquote() << "ip" << record.ipText();
            qDebug().noquote() << "manufacturerName" << QString::fromLatin1(record.manufacturerName);
            qDebug().noquote() << "modelName" << QString::fromLatin1(record.modelName);
            qDebug().noquote() << "deviceVersion" << QString::fromLatin1(record.deviceVersion);
            qDebug().noquote() << "serialNumber" << QString::fromLatin1(record.serialNumber);
            qDebug().noquote() << "userDefinedName" << QString::fromLatin1(record.userDefinedName);
            devices_.append(record);
        }
    }

    discovered_ = true;
}
