#include "discovery.h"

#include "gvcp.h"
#include "ipv4address.h"
#include "logging.h"
#include "udpsocket.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QNetworkInterface>
#include <QRandomGenerator>
#include <QSet>

#include <cstring>
#include <memory>
#include <vector>

namespace {

// A burst of hundreds of acknowledges must fit while the collection drains
// it; the system grants what it allows an unprivileged process.
constexpr int ReceiveBufferRequest = 16 * 1024 * 1024;

struct Arrival {
    int endpoint;
    bool broadcast;  // came in on the endpoint's broadcast companion
    QByteArray bytes;
};

struct EndpointSockets {
    std::unique_ptr<UdpSocket> unicast;
    std::unique_ptr<UdpSocket> broadcast;  // null where there is none
};

EndpointSockets openEndpoint(const DiscoveryEndpoint &endpoint)
{
    EndpointSockets s;
    s.unicast.reset(new UdpSocket);
    UdpSocket &socket = *s.unicast;
    socket.open();
    socket.setReuseAddress();
    const int granted = socket.requestReceiveBuffer(ReceiveBufferRequest);
    qCDebug(lcOrvanta) << "receive buffer" << granted;
    quint8 address[4];
    // Not an address at all cannot be bound either; the socket is kept
    // unbound and the system picks the interface.
    if (!parseIPv4(endpoint.bindAddress, address) || !socket.bindTo(address, 0)) {
        qCDebug(lcOrvanta) << "bind error";
        return s;
    }
    if (endpoint.interfaceName.isEmpty())
        return s;
    // A socket bound to the card's address never sees what a camera sends to
    // 255.255.255.255 on Linux: a second one on the same port, tied to the
    // card and bound to the wildcard address, does.
    std::unique_ptr<UdpSocket> companion(new UdpSocket);
    const quint8 any[4] = {0, 0, 0, 0};
    if (companion->open() && companion->setReuseAddress() &&
        companion->bindToDevice(endpoint.interfaceName.toUtf8().constData())) {
        companion->requestReceiveBuffer(ReceiveBufferRequest);
        if (companion->bindTo(any, socket.localAddress().port))
            s.broadcast = std::move(companion);
    }
    return s;
}

void logRecord(const DeviceRecord &record)
{
    qCDebug(lcOrvanta).noquote() << "mac" << record.macText();
    qCDebug(lcOrvanta).noquote() << "ip" << record.ipText();
    qCDebug(lcOrvanta).noquote() << "manufacturerName"
                                 << QString::fromLatin1(record.manufacturerName);
    qCDebug(lcOrvanta).noquote() << "modelName" << QString::fromLatin1(record.modelName);
    qCDebug(lcOrvanta).noquote() << "deviceVersion" << QString::fromLatin1(record.deviceVersion);
    qCDebug(lcOrvanta).noquote() << "serialNumber" << QString::fromLatin1(record.serialNumber);
    qCDebug(lcOrvanta).noquote() << "userDefinedName"
                                 << QString::fromLatin1(record.userDefinedName);
}

QByteArray macKey(const DeviceRecord &record)
{
    return QByteArray(reinterpret_cast<const char *>(record.mac), 6);
}

}  // namespace

QList<LocalAddress> usableLocalAddresses()
{
    QList<LocalAddress> result;
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
            result.append({text, iface.name(), entry.netmask().toString()});
            qCDebug(lcOrvanta).noquote() << "Interface:" << text;
        }
    }
    return result;
}

QList<DiscoveryEndpoint> discoveryEndpoints(const QList<LocalAddress> &local,
                                            const QString &setting)
{
    QList<DiscoveryEndpoint> endpoints;
    if (setting.size() > 4) {
        endpoints.append({setting, local.isEmpty() ? QString() : local.first().address, QString()});
        return endpoints;
    }
    for (int i = 0; i < local.size() && i < MaxDiscoverySockets; ++i)
        endpoints.append({local[i].address, local[i].address, local[i].interfaceName});
    return endpoints;
}

int discoveryReceiveBuffer()
{
    UdpSocket::startup();
    UdpSocket socket;
    return socket.open() ? socket.requestReceiveBuffer(ReceiveBufferRequest) : 0;
}

QList<DeviceRecord> discoverCameras(const QList<DiscoveryEndpoint> &endpoints,
                                    const DiscoveryOptions &options)
{
    UdpSocket::startup();
    const int count = endpoints.size();
    std::vector<EndpointSockets> sockets;
    sockets.reserve(size_t(count));
    for (const DiscoveryEndpoint &endpoint : endpoints)
        sockets.push_back(openEndpoint(endpoint));

    quint8 command[gvcp::DiscoveryCmdSize] = {};
    // Any id will do; a fresh one per collection keeps an earlier
    // collection's late answers apart in a capture.
    const quint16 requestId = quint16(QRandomGenerator::global()->generate());
    const int commandLength =
        gvcp::fillGvcpCommand(command, requestId, gvcp::DiscoveryCmd, 0, 0, 0, 0);
    SocketAddress everyone;
    std::memset(everyone.address, 0xFF, 4);
    everyone.port = options.port;
    for (EndpointSockets &s : sockets) {
        if (s.unicast->sendTo(command, commandLength, everyone) < 0)
            qCDebug(lcOrvanta).nospace() << "sendto err " << UdpSocket::lastError();
        else
            qCDebug(lcOrvanta) << "sendto OK.\n";
    }

    // Every socket is drained as soon as it is readable, straight into a
    // list; parsing and logging wait until the burst is over, so the reader
    // keeps up with hundreds of cameras answering at once.
    std::vector<UdpSocket *> all;
    std::vector<int> endpointOf;
    std::vector<bool> isBroadcast;
    for (int i = 0; i < count; ++i) {
        all.push_back(sockets[size_t(i)].unicast.get());
        endpointOf.push_back(i);
        isBroadcast.push_back(false);
        if (sockets[size_t(i)].broadcast) {
            all.push_back(sockets[size_t(i)].broadcast.get());
            endpointOf.push_back(i);
            isBroadcast.push_back(true);
        }
    }
    std::unique_ptr<bool[]> ready(new bool[all.size()]);
    std::vector<Arrival> arrivals;
    arrivals.reserve(1024);
    quint8 buffer[gvcp::DiscoveryReceiveBuffer];
    QElapsedTimer collecting;
    collecting.start();
    qint64 lastArrival = 0;
    while (count > 0) {
        const qint64 now = collecting.elapsed();
        if (now >= options.limitMs) {
            qCDebug(lcOrvanta) << "discovery collection cut short after" << options.limitMs << "ms";
            break;
        }
        const qint64 quiet = now - lastArrival;
        if (quiet >= options.silenceMs)
            break;
        const int wait = int(qMin<qint64>(options.silenceMs - quiet, options.limitMs - now));
        const int readable = UdpSocket::waitAny(all.data(), int(all.size()), wait, ready.get());
        if (readable < 0)
            break;
        for (size_t k = 0; k < all.size(); ++k) {
            if (!ready[k])
                continue;
            int length;
            while ((length = all[k]->receiveNow(buffer, sizeof buffer)) >= 0) {
                arrivals.push_back({endpointOf[k], isBroadcast[k],
                                    QByteArray(reinterpret_cast<const char *>(buffer), length)});
                lastArrival = collecting.elapsed();
            }
        }
    }
    const int endError = UdpSocket::lastError();

    QList<DeviceRecord> records;
    for (int i = 0; i < count; ++i) {
        QSet<QByteArray> seen[2];  // by MAC: [0] unicast, [1] broadcast
        for (const Arrival &a : arrivals) {
            if (a.endpoint != i)
                continue;
            qCDebug(lcOrvanta) << "get ack" << a.bytes.size();
            DeviceRecord record;
            if (!gvcp::parseDiscoveryAck(reinterpret_cast<const quint8 *>(a.bytes.constData()),
                                         a.bytes.size(), record))
                continue;
            const QByteArray mac = macKey(record);
            if (seen[a.broadcast ? 0 : 1].contains(mac))
                continue;  // the same camera, heard the other way as well
            seen[a.broadcast ? 1 : 0].insert(mac);
            record.hostIP = endpoints[i].hostIP;
            record.localAddress = endpoints[i].bindAddress;
            record.interfaceName = endpoints[i].interfaceName;
            logRecord(record);
            records.append(record);
        }
        qCDebug(lcOrvanta) << "error on recv after send!" << endError;
    }
    return records;
}
