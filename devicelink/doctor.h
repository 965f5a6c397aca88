// The diagnosis behind `orvanta-cli doctor` and the window's Diagnose: why a
// camera is missing or unreachable, and what it will do at its next power
// cycle. observe() gathers what discovery heard, what each camera's
// registers say and what the PC says about its network, and changes nothing
// anywhere; findings() turns that into findings, each with the camera or
// card it is about and a fix the technician can type.
#pragma once

#include "bootstrap.h"
#include "control.h"
#include "devicerecord.h"
#include "discovery.h"

#include <QList>
#include <QString>
#include <QVector>

class DeviceLink;

namespace doctor {

// What one camera's own channel read of it.
struct CameraReading {
    bool attempted = false;
    ExchangeResult result;  // readCameraSetup's
    bootstrap::CameraSetup setup;
    control::Holder holder;
    // It answered a unicast read (an error status is an answer too).
    bool answered() const
    {
        return result.ok() || result.kind == ExchangeResult::Kind::CameraStatus;
    }
};

// Reads the cameras of the records where `wanted` says so (all when it is
// empty), each over a channel of its own from the card it answered on, at
// most `parallel` at once. One reading per record.
QVector<CameraReading> readCameras(const QList<DeviceRecord> &records,
                                   const QVector<bool> &wanted = QVector<bool>(),
                                   int parallel = 32);

// The record each camera (by MAC) is read through: the first one whose card
// has the camera in its subnet, else its first one.
QVector<bool> readThrough(const QList<LocalAddress> &cards, const QList<DeviceRecord> &records);

struct CardFacts {
    QString name;
    int speedMbps = -1;  // -1: not known
    int rpFilter = -1;   // the card's own setting; -1: not known
};

struct PcFacts {
    QList<CardFacts> cards;  // one per card name
    int rpFilterAll = -1;
    qint64 receiveBufferLimit = -1;   // net.core.rmem_max; -1: not known
    qint64 grantedReceiveBuffer = 0;  // what a discovery socket was granted
    // During the discovery; -1: not known. Martian sources are ARP requests
    // among others, which reverse-path filtering drops before any answer.
    qint64 reversePathDrops = -1;
    qint64 martianSources = -1;
    qint64 receiveBufferDrops = -1;
};

struct Observation {
    QList<LocalAddress> cards;
    QList<DeviceRecord> records;
    QVector<CameraReading> readings;  // one per record
    PcFacts pc;
};

// Discovery in `scope` with the PC's drop counters read around it, then
// every camera read once (readThrough) and the facts of the PC and of its
// cards in the scope. False, with nothing sent, when the scope names a card
// the PC lacks (scope.error() says so).
bool observe(DeviceLink &scope, Observation &out);

enum class Kind {
    NoCamera,
    CardsOneSubnet,
    ReversePathFilter,
    ReceiveBuffer,
    SlowLink,
    OffSubnet,
    DuplicateAddress,
    CardAddress,
    DhcpFallback,
    NoUnicastReply,
    Controlled,
    MovesAtPowerCycle,
};

struct Finding {
    Kind kind = Kind::NoCamera;
    // The camera it is about (ip empty when it is about the PC) and the card.
    QString ip, mac, serial;
    QString card, cardAddress;
    QString problem;  // what is wrong, in a sentence or two
    QString fix;      // a command or a setting, as the technician types it
};

// "off-subnet", "duplicate-address", ...: the kinds' names in lines and JSON.
QString kindName(Kind kind);
// "KIND: PROBLEM Fix: FIX"
QString lineOf(const Finding &finding);

// The PC's findings first, then the cameras' by address.
QList<Finding> findings(const Observation &observation);

// One line per finding, or the line that says nothing was found.
QString reportText(const QList<Finding> &found, const Observation &observation);

// The receive buffer one discovery answer takes in the kernel (bytes).
constexpr qint64 AnswerBufferCost = 1400;
// Link speed below which a card or a camera is reported (Mb/s).
constexpr int FullLinkSpeed = 1000;

}  // namespace doctor
