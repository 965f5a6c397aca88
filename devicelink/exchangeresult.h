// What one request/acknowledge exchange with a camera came to: a value that
// says what happened, so callers can tell a silent camera from one that
// answered with an error status.
#pragma once

#include <QString>
#include <QtGlobal>

struct ExchangeResult {
    enum class Kind {
        NoCamera,      // no camera to talk to: nothing was sent
        Refused,       // arguments this side never sends (a size or address): nothing was sent
        SendFailed,    // the system refused the send (systemError)
        NoReply,       // nothing answered within the time-out (systemError of the receive)
        BadReply,      // only datagrams that are not the answer came (length of the last)
        CameraStatus,  // the camera answered with an error status (status)
        Accepted,      // the answer passed its test (length)
    };

    Kind kind = Kind::NoCamera;
    int systemError = 0;
    quint16 status = 0;
    int length = 0;

    bool ok() const { return kind == Kind::Accepted; }

    static ExchangeResult accepted(int length = 0)
    {
        ExchangeResult r;
        r.kind = Kind::Accepted;
        r.length = length;
        return r;
    }
    static ExchangeResult of(Kind kind)
    {
        ExchangeResult r;
        r.kind = kind;
        return r;
    }
    static ExchangeResult cameraStatus(quint16 status, int length = 0)
    {
        ExchangeResult r;
        r.kind = Kind::CameraStatus;
        r.status = status;
        r.length = length;
        return r;
    }
};

// The name of a GigE Vision status code ("busy", "invalid address"), or an
// empty text for a code without one.
QString cameraStatusName(quint16 status);
// "0x8007 (busy)", or "0x8123" for a code without a name.
QString cameraStatusText(quint16 status);
