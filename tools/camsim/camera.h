// The simulated camera: identity, registers, the 4 KB transfer window, a
// 16 MiB SPI flash (allocated on first use, so that a fleet of hundreds
// stays small), the IP state and the fault decisions. It knows nothing
// about sockets: handle() turns one received datagram into the replies to
// send (each with its delay) plus log lines, so tests can drive it directly.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace camsim {

using Bytes = std::vector<uint8_t>;
using Ip4 = std::array<uint8_t, 4>;  // octets in dotted order
using Mac = std::array<uint8_t, 6>;  // octets in display order

struct Endpoint {
    Ip4 addr{{0, 0, 0, 0}};
    uint16_t port = 0;
};

struct Identity {
    Mac mac{{0x02, 0x00, 0x00, 0x00, 0x00, 0x01}};
    Ip4 ip{{0, 0, 0, 0}};
    Ip4 mask{{255, 255, 255, 0}};
    Ip4 gateway{{0, 0, 0, 0}};
    uint8_t ipConfig = 5;  // 0x01 persistent, 0x02 DHCP, 0x04 link-local
    std::string manufacturer = "Orvanta Labs";
    std::string model = "CamSim";
    std::string version = "2.3";
    std::string info = "simulated camera";
    std::string serial = "SIM0001";
    std::string userName = "camsim";
    // Sends the discovery acknowledge to 255.255.255.255 at the sender's
    // port, as a camera does that has no route back to the sender.
    bool broadcastDiscoveryAck = false;
    bool discoveryAckBothWays = false;  // with broadcastDiscoveryAck: by unicast as well
    // How long programming a sector takes. Window writes in that time reach
    // the sector being programmed, as they would on a camera whose flash
    // engine still reads the window.
    int programMs = 0;
    // Bootstrap registers: interfaces, link speed (Mb/s) and the GVCP
    // capability word that says which optional registers exist.
    uint32_t networkInterfaces = 1;
    uint32_t linkSpeedMbps = 1000;
    uint32_t capability = 0x18000000;  // link speed, primary application registers
    uint32_t heartbeatMs = 3000;
    // The control privilege (0x0A00) with the heartbeat and primary
    // application registers; without them every access to those four
    // registers answers "not implemented" and nothing is enforced.
    bool privilegeRegisters = true;
    // Another application holding control (port 0: none): from the
    // otherFrom-th datagram on (0: from the start), with exclusive or control
    // access, letting it lapse otherForMs after it took it (<0: never).
    Endpoint other;
    bool otherExclusive = false;
    long long otherFrom = 0;
    int otherForMs = -1;
};

// Faults hit the access commands (READREG, WRITEREG, READMEM, DEVWRITE)
// only, except stopAfter and stopAfterPrograms, which silence the camera
// completely, and the discovery ones at the end.
struct Faults {
    double dropPct = 0;         // reply not sent (the command itself was carried out)
    double dropRequestPct = 0;  // the request lost on its way: not carried out, not answered
    int dropRequestRun = 1;     // requests lost in a row each time one is
    int delayMs = 0;            // every reply held this long
    double duplicatePct = 0;    // reply sent twice
    double latePct = 0;         // reply held lateMs (beyond the tool's time-out)
    int lateMs = 700;
    double wrongIdPct = 0;     // reply carries another request id
    double badStatusPct = 0;   // reply carries a non-zero status; command not carried out
    long long stopAfter = -1;  // answer nothing after this many datagrams (<0: never)
    // ... or once this many sectors were programmed, whatever else it was asked
    long long stopAfterPrograms = -1;
    std::vector<uint32_t> corruptSectors;  // sector numbers (address / 4096)
    uint32_t seed = 1;
    // A misbehaving network around discovery: the acknowledge held this long;
    // a datagram that is not GVCP sent before it; and, every floodMs after
    // it for a minute, that datagram again (a sender that does not stop).
    int discoveryDelayMs = 0;
    bool discoveryJunk = false;
    int discoveryFloodMs = 0;
};

struct Reply {
    Bytes bytes;
    Endpoint to;
    int delayMs = 0;
};

struct Outcome {
    std::vector<Reply> replies;
    std::vector<std::string> log;
    bool addressChanged = false;  // current ip/mask/gateway moved: run the ip hook
};

class Camera {
public:
    static constexpr size_t FlashSize = size_t(1) << 24;
    static constexpr size_t SectorSize = 4096;
    static constexpr size_t WindowSize = 4096;
    static constexpr uint32_t VersionWord = 0x00010002;

    Camera(const Identity &identity, const Faults &faults);

    // One datagram in; `to` is the address it was sent to, when known
    // (0.0.0.0 otherwise), only for the log.
    Outcome handle(const uint8_t *data, size_t length, const Endpoint &from,
                   const Ip4 &to = Ip4{{0, 0, 0, 0}});

    // 16 MiB, erased (0xFF) until written; allocated by the first call.
    Bytes &flash() { return erasedFlash(); }
    const Bytes &flash() const { return erasedFlash(); }
    const Bytes &window() const { return window_; }

    const Ip4 &currentIp() const { return ip_; }
    const Ip4 &currentMask() const { return mask_; }
    const Ip4 &currentGateway() const { return gateway_; }
    uint8_t storedConfig() const { return config_; }
    uint8_t activeConfig() const { return activeConfig_; }  // what discovery reports
    const Ip4 &persistentIp() const { return persistentIp_; }
    const Ip4 &persistentMask() const { return persistentMask_; }
    const Ip4 &persistentGateway() const { return persistentGateway_; }
    uint32_t lastControlWord() const { return controlWord_; }
    unsigned long long datagramsReceived() const { return received_; }

    // The 169.254.x.y address this camera takes when it has no static setting.
    Ip4 linkLocalAddress() const;

    // When the control privilege lapses unless its holder speaks first (the
    // time point's maximum while nobody holds it, or the holder never lets go).
    std::chrono::steady_clock::time_point controlDeadline() const { return controlDeadline_; }
    // Drops the privilege once its deadline has passed; the log lines.
    std::vector<std::string> lapseControl(std::chrono::steady_clock::time_point now);

private:
    struct Draw {
        bool drop, duplicate, late, wrongId, badStatus;
    };
    Draw drawFaults();
    Bytes &erasedFlash() const;
    std::chrono::steady_clock::time_point programmingUntil_{};
    uint32_t programmingAddress_ = 0;
    void finishAccessReply(Outcome &out, Bytes reply, const Endpoint &from, const Draw &draw);

    void onDiscovery(Outcome &out, const uint8_t *d, const Endpoint &from);
    void onForceIp(Outcome &out, const uint8_t *d, size_t n, const Endpoint &from);
    void onIpConfig(Outcome &out, const uint8_t *d, size_t n, const Endpoint &from);
    void onReadReg(Outcome &out, const uint8_t *d, size_t n, const Endpoint &from);
    void onWriteReg(Outcome &out, const uint8_t *d, size_t n, const Endpoint &from);
    // The start both register commands share: a drawn bad status, or a length
    // that is not whole entries of `entrySize` bytes, is answered at once.
    bool answeredEarly(Outcome &out, const uint8_t *d, const Endpoint &from, const Draw &draw,
                       uint16_t ackCode, size_t ackPayload, size_t entrySize);
    void onReadMem(Outcome &out, const uint8_t *d, size_t n, const Endpoint &from);
    // A bootstrap or device register: its status (invalid address for one the
    // camera lacks, not implemented for the privilege registers it has not).
    uint16_t readRegister(uint32_t address, uint32_t &value) const;
    // The status of a write; the log says what changed.
    uint16_t writeRegister(Outcome &out, uint32_t address, uint32_t value, const Endpoint &from);
    void onDevWrite(Outcome &out, const uint8_t *d, size_t n, const Endpoint &from);
    uint16_t control(Outcome &out, uint32_t word);
    // Access denied to `from` for this command while another holds control:
    // writes always, reads too under exclusive access. Discovery, FORCEIP and
    // IPCONFIG always pass.
    bool deniedTo(const Endpoint &from, uint16_t code) const;
    void takeControl(Outcome &out, const Endpoint &holder, uint32_t access, bool expires);
    void restartIpConfiguration(Outcome &out);
    void setCurrent(Outcome &out, const Ip4 &ip, const Ip4 &mask, const Ip4 &gateway);

    Identity id_;
    Faults faults_;
    std::mt19937 rng_;
    mutable Bytes flash_;  // empty until first used
    Bytes window_;
    uint32_t controlWord_ = 0;
    unsigned long long received_ = 0;
    Ip4 ip_, mask_, gateway_;
    uint8_t config_;        // stored by IPCONFIG
    uint8_t activeConfig_;  // in use since the last (re)start
    Ip4 persistentIp_, persistentMask_, persistentGateway_;
    uint32_t heartbeatMs_;
    uint32_t controlPrivilege_ = 0;  // 0x1 exclusive, 0x2 control, 0x4 switchover
    Endpoint primary_;               // the holder, while one holds it
    bool primaryExpires_ = true;     // false: the other application, until otherForMs
    std::chrono::steady_clock::time_point controlDeadline_ =
        std::chrono::steady_clock::time_point::max();
    bool otherTook_ = false;
    unsigned long long programs_ = 0;
    bool silenced_ = false;    // by stopAfterPrograms
    std::mt19937 requestRng_;  // its own draws, so the other faults' sequence stays as it was
    int requestsStillLost_ = 0;
};

std::string ipText(const Ip4 &ip);
bool parseIp(const std::string &text, Ip4 &out);   // strict dotted decimal
bool parseMac(const std::string &text, Mac &out);  // 02:00:00:00:00:01 or with '-'
int prefixLength(const Ip4 &mask);                 // -1 when not contiguous
bool operator==(const Endpoint &a, const Endpoint &b);
std::string endpointText(const Endpoint &e);  // 192.0.2.50:50123

}  // namespace camsim
