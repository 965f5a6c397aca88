// One camera: its own UDP socket, bound to the local address that reached the
// camera (the camera answers the port it was sent from), its own request ids,
// and one exchange at a time on it. Jobs on different cameras each have their
// own channel, so they never share a socket or throw away each other's replies.
#pragma once

#include "deviceaccess.h"
#include "udpsocket.h"

#include <QMutex>
#include <QString>

struct DeviceRecord;

class CameraChannel : public DeviceAccess {
public:
    // `localAddress`: dotted text of the address to send from; empty, or one
    // that cannot be bound, leaves the choice to the system ("bind error" is
    // logged). `camera`: the camera's address and GVCP port.
    CameraChannel(const QString &localAddress, const SocketAddress &camera);
    // The channel to the camera of a discovery record, on port 3956.
    explicit CameraChannel(const DeviceRecord &record);
    ~CameraChannel() override;
    CameraChannel(const CameraChannel &) = delete;
    CameraChannel &operator=(const CameraChannel &) = delete;

    ExchangeResult readReg(quint32 address, quint32 &value) override;
    ExchangeResult readRegs(const quint32 *addresses, int count, quint32 *values) override;
    ExchangeResult writeReg(quint32 address, quint32 value) override;
    ExchangeResult readMem(quint32 address, quint32 count, quint8 *buffer, int &size) override;
    ExchangeResult writeMem(quint16 address, const quint8 *data, int length,
                            int paddedLength) override;
    ExchangeResult writeMemWord(quint32 address, quint32 value) override;

    // The IP commands go to 255.255.255.255 at the camera's port, addressed
    // by MAC, so they reach a camera the PC cannot reach by unicast.
    // FORCEIP to 0.0.0.0 awaits no acknowledge.
    ExchangeResult forceIp(const quint8 mac[6], const quint8 ip[4], const quint8 mask[4],
                           const quint8 gateway[4]);
    ExchangeResult configIp(const quint8 mac[6], int config, const quint8 ip[4],
                            const quint8 mask[4], const quint8 gateway[4]);

    // How long one exchange waits for its reply after the pause (at most the
    // socket's 500 ms). Lowered only by tests that simulate a silent camera.
    void setReplyTimeoutMs(int ms);
    void capReplyWait(int ms) override;
    SocketAddress localEndpoint() const { return socket_.localAddress(); }

    // A reply echoing one of this many request ids before the one just sent
    // is a late answer to an earlier exchange, never the answer to this one.
    static constexpr int StaleIdWindow = 4096;
    static bool isStaleRequestId(quint16 replyId, quint16 sentId);
    // A camera that announces a slow answer (PENDING_ACK) is waited for at
    // most this long in all, whatever it announces.
    static constexpr int MaxPendingMs = 5000;

private:
    enum class Verdict { Accept, Refuse, Reject, Stale };
    template <class Build, class Judge>
    ExchangeResult exchange(Build build, const SocketAddress &target, int pauseMs, quint8 *reply,
                            int replySize, Judge judge);

    quint16 nextRequestId();

    UdpSocket socket_;
    SocketAddress camera_;
    SocketAddress broadcast_;
    QMutex lock_;
    int replyTimeoutMs_ = UdpSocket::ReceiveTimeoutMs;
    int replyCapMs_ = 0;         // 0: none
    quint16 lastRequestId_ = 0;  // under lock_
};

// Reads register 0, the presence test before any flash job: true when the
// camera answered at all (an error status is an answer too), asking at most
// `attempts` times.
bool cameraAnswers(DeviceAccess &camera, int attempts = 1);
