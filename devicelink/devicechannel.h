// The chosen camera: the socket slot it answered on and its address. All
// access and IP commands go through one exchange helper, one exchange at a
// time (the GUI thread and the programming worker share it).
#pragma once

#include "deviceaccess.h"
#include "udpsocket.h"

#include <QMutex>
#include <QString>

class DeviceChannel : public DeviceAccess {
public:
    DeviceChannel();

    // Chooses the target. A null socket means no camera chosen: every
    // operation then returns false without sending.
    void choose(UdpSocket *socket, const quint8 address[4]);
    bool hasDevice() const { return deviceSocket != nullptr; }

    bool readReg(quint32 address, quint32 &value) override;
    bool readMem(quint32 address, quint32 count, quint8 *buffer, int &size) override;
    bool writeMem(quint16 address, const quint8 *data, int length, int paddedLength) override;
    bool writeMemWord(quint32 address, quint32 value) override;

    // IP commands: broadcast to broadcastAddr on deviceSocket, addressed by MAC.
    // Address texts must already be validated dotted-decimal (see parseIPv4);
    // text that is not an address is sent as 255.255.255.255.
    bool forceIp(const QString &ip, const QString &mask, const QString &gateway,
                 const quint8 mac[6]);
    bool configIp(const QString &ip, const QString &mask, const QString &gateway,
                  const quint8 mac[6], int config);

    // How long one exchange waits for its reply after the pause (at most the
    // socket's 500 ms). Lowered only by tests that simulate a silent camera.
    void setReplyTimeoutMs(int ms);
    int replyTimeoutMs() const { return replyTimeoutMs_; }

    // A reply echoing one of this many request ids before the one just sent
    // is a late answer to an earlier exchange, never the answer to this one.
    static constexpr int StaleIdWindow = 4096;
    static bool isStaleRequestId(quint16 replyId, quint16 sentId);

    UdpSocket *deviceSocket = nullptr;
    SocketAddress deviceAddr;
    SocketAddress broadcastAddr;

private:
    enum class Verdict { Accept, Reject, Stale };
    struct Outcome {
        enum Kind { NoDevice, SendFailed, NoReply, Rejected, Accepted } kind = NoDevice;
        int length = 0;  // of the accepted or rejected reply
        int error = 0;   // socket error of a failed send or receive
    };
    template <class Build, class Judge>
    Outcome exchange(Build build, const SocketAddress &target, int pauseMs, quint8 *reply,
                     int replySize, Judge judge);

    static Verdict judgeDevWrite(const quint8 *data, int length, quint16 sentId);
    static bool reportOutcome(const Outcome &outcome, const char *noReplyLabel,
                              const char *rejectedLabel);

    QMutex exchangeLock_;
    int replyTimeoutMs_ = UdpSocket::ReceiveTimeoutMs;
};
