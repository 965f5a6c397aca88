// The control channel privilege: whether another application controls a
// camera, and who, where the camera says so; taking control for a job,
// keeping it alive and releasing it.
#pragma once

#include "deviceaccess.h"

#include <QList>
#include <QString>
#include <QVector>

struct DeviceRecord;

namespace control {

struct Holder {
    enum class State {
        Unknown,  // the camera has no usable privilege register, or did not answer
        Free,
        Held,
    };
    State state = State::Unknown;
    bool addressKnown = false;  // the camera names the primary application
    quint8 ip[4] = {};
    quint16 port = 0;

    // "192.0.2.50, port 50123", or empty when the camera does not say.
    QString addressText() const;
};

// Reads the privilege register and, where the capability register says they
// exist, the primary application's address and port; each register asked at
// most `attempts` times while the camera does not answer.
Holder readHolder(DeviceAccess &camera, int attempts = 3);
// The holders of many cameras, read all at once, each on a channel of its
// own; in the order of `cameras`.
QVector<Holder> readHolders(const QList<DeviceRecord> &cameras, int attempts = 2);
// The window's line: "Controlled by 192.0.2.50", "Controlled by another
// application" (the camera does not say who), "Not controlled", or empty
// when the camera does not say whether.
QString holderLine(const Holder &holder);

// What the camera assumes when its heartbeat register cannot be read.
constexpr int DefaultHeartbeatMs = 3000;

struct Grant {
    enum class State {
        Held,         // the privilege write was accepted: this tool controls the camera
        InUse,        // refused with access denied: another application controls it
        Unsupported,  // any other answer: no usable privilege register; go on without
    };
    State state = State::Unsupported;
    int heartbeatMs = DefaultHeartbeatMs;  // as the camera says, else the default
    ExchangeResult answer;                 // what decided
};

// What the answer to the privilege write means.
Grant::State grantOf(const ExchangeResult &answer);

// Reads the heartbeat, then writes control access to the privilege register
// (each exchange asked at most `attempts` times while unanswered). A camera
// that does not answer the heartbeat read is not written to.
Grant take(DeviceAccess &camera, int attempts = 3);
// Writes 0 to the privilege register, at most `attempts` times while
// unanswered. Unacknowledged, the camera lets go after its heartbeat.
ExchangeResult release(DeviceAccess &camera, int attempts = 2);

// While holding control: the camera must hear a command at least every
// interval (a third of its heartbeat), so one exchange may wait for its
// reply at most replyWaitMs, its pause and some slack included.
struct KeepAlive {
    int intervalMs;
    int replyWaitMs;
};
KeepAlive keepAliveFor(int heartbeatMs);

}  // namespace control
