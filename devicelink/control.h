// The control channel privilege: whether another application controls a
// camera, and who, where the camera says so.
#pragma once

#include "deviceaccess.h"

#include <QString>

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
// exist, the primary application's address and port.
Holder readHolder(DeviceAccess &camera);

}  // namespace control
