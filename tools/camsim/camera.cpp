#include "camera.h"
#include "wire.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace camsim {

namespace {

// The camera's memory.
constexpr uint32_t WindowWriteBase = 0x0C00;
constexpr uint32_t WindowReadBase = 0x80000C00;
constexpr uint32_t PieceStride = 0x80;
constexpr size_t PieceSize = 512;
constexpr uint32_t PieceCount = 8;
constexpr uint32_t ControlAddress = 0x27;
constexpr uint8_t OpProgram = 0xD5;
constexpr uint8_t OpLoad = 0xD6;
constexpr uint32_t FlashAddressMask = 0x00FFFFFF;

uint16_t be16(const uint8_t *p) { return uint16_t(p[0] << 8 | p[1]); }
uint32_t be32(const uint8_t *p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}
void put16(uint8_t *p, uint16_t v)
{
    p[0] = uint8_t(v >> 8);
    p[1] = uint8_t(v);
}
void put32(uint8_t *p, uint32_t v)
{
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}
Ip4 ipAt(const uint8_t *p) { return Ip4{{p[0], p[1], p[2], p[3]}}; }
void putIp(uint8_t *p, const Ip4 &ip) { std::memcpy(p, ip.data(), 4); }
void putText(uint8_t *p, size_t width, const std::string &text)
{
    // Zero-padded, cut at the width (a full-width text has no terminating zero).
    std::memcpy(p, text.data(), std::min(width, text.size()));
}

Bytes ackHeader(uint16_t status, uint16_t code, uint16_t reqId, size_t payload)
{
    Bytes b(HeaderSize + payload, 0);
    put16(&b[AckStatus], status);
    put16(&b[AckCode], code);
    put16(&b[AckLength], uint16_t(payload));
    put16(&b[AckReqId], reqId);
    return b;
}

std::string hex(uint32_t v, int digits)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%0*x", digits, v);
    return buf;
}

std::string macText(const uint8_t *m)
{
    char buf[24];
    std::snprintf(buf, sizeof buf, "%02x:%02x:%02x:%02x:%02x:%02x", m[0], m[1], m[2], m[3], m[4],
                  m[5]);
    return buf;
}

bool isZero(const Ip4 &ip) { return ip == Ip4{{0, 0, 0, 0}}; }

using Clock = std::chrono::steady_clock;

constexpr uint32_t ExclusiveAccess = 0x1;
constexpr uint32_t ControlAccess = 0x2;
constexpr uint32_t HeldBits = ExclusiveAccess | ControlAccess;

bool isAccessCommand(uint16_t code)
{
    return code == CmdReadReg || code == CmdWriteReg || code == CmdReadMem || code == CmdDevWrite;
}

uint16_t ackCodeOf(uint16_t code) { return code == CmdDevWrite ? AckDevice : uint16_t(code + 1); }

// An address a camera can take as its own: not 0/8, loopback, multicast,
// reserved or the limited broadcast.
bool usableUnicast(const Ip4 &ip) { return ip[0] != 0 && ip[0] != 127 && ip[0] < 224; }

}  // namespace

std::string ipText(const Ip4 &ip)
{
    return std::to_string(ip[0]) + "." + std::to_string(ip[1]) + "." + std::to_string(ip[2]) + "." +
           std::to_string(ip[3]);
}

bool parseIp(const std::string &text, Ip4 &out)
{
    Ip4 ip{};
    size_t pos = 0;
    for (int i = 0; i < 4; ++i) {
        size_t start = pos;
        unsigned value = 0;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && pos - start < 3)
            value = value * 10 + unsigned(text[pos++] - '0');
        if (pos == start || value > 255)
            return false;
        ip[size_t(i)] = uint8_t(value);
        if (i < 3) {
            if (pos >= text.size() || text[pos] != '.')
                return false;
            ++pos;
        }
    }
    if (pos != text.size())
        return false;
    out = ip;
    return true;
}

bool parseMac(const std::string &text, Mac &out)
{
    if (text.size() != 17)
        return false;
    Mac mac{};
    for (size_t i = 0; i < 6; ++i) {
        unsigned value = 0;
        for (size_t j = 0; j < 2; ++j) {
            char c = text[i * 3 + j];
            int digit = (c >= '0' && c <= '9')   ? c - '0'
                        : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                        : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                                 : -1;
            if (digit < 0)
                return false;
            value = value * 16 + unsigned(digit);
        }
        if (i < 5 && text[i * 3 + 2] != ':' && text[i * 3 + 2] != '-')
            return false;
        mac[i] = uint8_t(value);
    }
    out = mac;
    return true;
}

bool operator==(const Endpoint &a, const Endpoint &b)
{
    return a.addr == b.addr && a.port == b.port;
}

std::string endpointText(const Endpoint &e)
{
    return ipText(e.addr) + ":" + std::to_string(e.port);
}

int prefixLength(const Ip4 &mask)
{
    uint32_t m = be32(mask.data());
    int n = 0;
    while (n < 32 && (m & (0x80000000u >> n)))
        ++n;
    uint32_t expected = n == 0 ? 0 : ~uint32_t(0) << (32 - n);
    return m == expected ? n : -1;
}

Camera::Camera(const Identity &identity, const Faults &faults)
    : id_(identity), faults_(faults), rng_(faults.seed), window_(WindowSize, 0x00),
      ip_(identity.ip), mask_(identity.mask), gateway_(identity.gateway),
      config_(identity.ipConfig), activeConfig_(identity.ipConfig), persistentIp_(identity.ip),
      persistentMask_(identity.mask), persistentGateway_(identity.gateway),
      heartbeatMs_(identity.heartbeatMs), requestRng_(faults.seed ^ 0x5EEDu)
{
}

Bytes &Camera::erasedFlash() const
{
    if (flash_.empty())
        flash_.assign(FlashSize, 0xFF);
    return flash_;
}

Ip4 Camera::linkLocalAddress() const
{
    // Derived from the MAC so that a camera comes back on the same address.
    return Ip4{{169, 254, uint8_t(1 + id_.mac[4] % 254), uint8_t(1 + id_.mac[5] % 254)}};
}

Camera::Draw Camera::drawFaults()
{
    // Always five draws per access datagram, so that the n-th datagram's
    // faults depend on the seed and n only.
    auto hit = [this](double pct) { return double(rng_() % 10000u) < pct * 100.0; };
    Draw d{};
    d.drop = hit(faults_.dropPct);
    d.duplicate = hit(faults_.duplicatePct);
    d.late = hit(faults_.latePct);
    d.wrongId = hit(faults_.wrongIdPct);
    d.badStatus = hit(faults_.badStatusPct);
    return d;
}

std::vector<std::string> Camera::lapseControl(Clock::time_point now)
{
    if (!(controlPrivilege_ & HeldBits) || now < controlDeadline_)
        return {};
    const std::string holder = endpointText(primary_);
    controlPrivilege_ = 0;
    primary_ = Endpoint{};
    controlDeadline_ = Clock::time_point::max();
    return {"privilege expired (" + holder + ")"};
}

void Camera::takeControl(Outcome &out, const Endpoint &holder, uint32_t access, bool expires)
{
    if ((controlPrivilege_ & HeldBits) && !(primary_ == holder))
        out.log.push_back("privilege taken over from " + endpointText(primary_));
    controlPrivilege_ = access;
    primary_ = holder;
    primaryExpires_ = expires;
    controlDeadline_ = Clock::time_point::max();
    if (expires)
        controlDeadline_ = Clock::now() + std::chrono::milliseconds(heartbeatMs_);
    out.log.push_back("privilege " + hex(access, 1) + " by " + endpointText(holder));
}

bool Camera::deniedTo(const Endpoint &from, uint16_t code) const
{
    if (!(controlPrivilege_ & HeldBits) || from == primary_)
        return false;
    if (code == CmdWriteReg || code == CmdDevWrite)
        return true;
    return (code == CmdReadReg || code == CmdReadMem) && (controlPrivilege_ & ExclusiveAccess);
}

Outcome Camera::handle(const uint8_t *d, size_t n, const Endpoint &from, const Ip4 &to)
{
    Outcome out;
    const Clock::time_point now = Clock::now();
    out.log = lapseControl(now);
    ++received_;

    std::string line;
    const std::string where = " from=" + ipText(from.addr) + ":" + std::to_string(from.port) +
                              (isZero(to) ? std::string() : " to=" + ipText(to));
    if (n < HeaderSize || d[CmdKey] != KeyByte) {
        line = "rx len=" + std::to_string(n) + where + " ignored (not a command)";
        out.log.push_back(line);
        return out;
    }
    const uint16_t code = be16(d + CmdCode);
    const uint16_t reqId = be16(d + CmdReqId);
    line = "rx cmd=" + hex(code, 4) + " id=" + std::to_string(reqId) + " len=" + std::to_string(n);
    if ((code == CmdReadReg || code == CmdReadMem || code == CmdWriteReg) && n >= 12)
        line += " addr=" + hex(be32(d + MemAddress), 4);
    if (code == CmdDevWrite && n >= 12)
        line += " addr=" + hex(be16(d + CmdLength) == WordFormLength ? be32(d + WriteWordAddress)
                                                                     : be16(d + WriteShortAddress),
                               4);
    line += where;

    if (silenced_) {
        out.log.push_back(line + " ignored (stopped)");
        return out;
    }
    if (faults_.stopAfter >= 0 && received_ > (unsigned long long)faults_.stopAfter) {
        out.log.push_back(line + " ignored (stopped)");
        return out;
    }
    if (size_t(be16(d + CmdLength)) + HeaderSize > n) {
        out.log.push_back(line + " ignored (shorter than its length field)");
        return out;
    }
    bool lost = false;
    if (isAccessCommand(code)) {
        if (requestsStillLost_ > 0) {
            lost = --requestsStillLost_ > 0;  // the one after a run gets through
        } else if (faults_.dropRequestPct > 0 &&
                   double(requestRng_() % 10000u) < faults_.dropRequestPct * 100.0) {
            lost = true;
            requestsStillLost_ = faults_.dropRequestRun > 1 ? faults_.dropRequestRun : 0;
        }
    }
    if (lost) {
        out.log.push_back(line + " lost (fault drop-request)");
        return out;
    }
    // The other application takes the camera: as if this tool's heartbeat
    // had lapsed during a cable fault, when it held it.
    if (id_.other.port != 0 && !otherTook_ && received_ > (unsigned long long)id_.otherFrom) {
        otherTook_ = true;
        takeControl(out, id_.other, id_.otherExclusive ? ExclusiveAccess : ControlAccess, false);
        if (id_.otherForMs >= 0)
            controlDeadline_ = now + std::chrono::milliseconds(id_.otherForMs);
    }
    out.log.push_back(line);
    // Any command from the primary application keeps its privilege.
    if ((controlPrivilege_ & HeldBits) && primaryExpires_ && from == primary_)
        controlDeadline_ = now + std::chrono::milliseconds(heartbeatMs_);
    if (deniedTo(from, code)) {
        const Draw draw = drawFaults();
        out.log.push_back("access denied to " + endpointText(from) + " (held by " +
                          endpointText(primary_) + ")");
        finishAccessReply(
            out, ackHeader(StatusAccessDenied, ackCodeOf(code), reqId, code == CmdWriteReg ? 4 : 0),
            from, draw);
        if (!(d[CmdFlags] & FlagAckRequired))
            out.replies.clear();
        return out;
    }

    switch (code) {
    case CmdDiscovery: onDiscovery(out, d, from); break;
    case CmdForceIp: onForceIp(out, d, n, from); break;
    case CmdIpConfig: onIpConfig(out, d, n, from); break;
    case CmdReadReg: onReadReg(out, d, n, from); break;
    case CmdWriteReg: onWriteReg(out, d, n, from); break;
    case CmdReadMem: onReadMem(out, d, n, from); break;
    case CmdDevWrite: onDevWrite(out, d, n, from); break;
    default:
        out.replies.push_back(
            Reply{ackHeader(StatusNotImplemented, uint16_t(code + 1), reqId, 0), from, 0});
        out.log.push_back("unknown command " + hex(code, 4));
        break;
    }
    // Without the acknowledge-required flag the command is carried out silently.
    if (!(d[CmdFlags] & FlagAckRequired))
        out.replies.clear();
    return out;
}

void Camera::onDiscovery(Outcome &out, const uint8_t *d, const Endpoint &from)
{
    Bytes b = ackHeader(StatusOk, AckDiscovery, be16(d + CmdReqId), DiscAckSize - HeaderSize);
    put16(&b[DiscSpecMajor], 1);
    put16(&b[DiscSpecMinor], 2);
    put32(&b[DiscDeviceMode], 0x80000001u);  // big-endian registers, transmitter class
    std::memcpy(&b[DiscMac], id_.mac.data(), 6);
    put32(&b[DiscIpOptions], 0x00000007u);  // persistent, DHCP and link-local supported
    put32(&b[DiscIpCurrent], activeConfig_);
    putIp(&b[DiscIp], ip_);
    putIp(&b[DiscMask], mask_);
    putIp(&b[DiscGateway], gateway_);
    putText(&b[DiscManufacturer], 32, id_.manufacturer);
    putText(&b[DiscModel], 32, id_.model);
    putText(&b[DiscVersion], 32, id_.version);
    putText(&b[DiscInfo], 48, id_.info);
    putText(&b[DiscSerial], DiscTextSize, id_.serial);
    putText(&b[DiscUserName], DiscTextSize, id_.userName);
    const int delay = faults_.discoveryDelayMs;
    const Bytes junk{'n', 'o', 't', 'g', 'v', 'c', 'p'};  // too short for any acknowledge
    if (faults_.discoveryJunk)
        out.replies.push_back(Reply{junk, from, delay});
    Endpoint to = from;
    if (id_.broadcastDiscoveryAck) {
        if (id_.discoveryAckBothWays)
            out.replies.push_back(Reply{b, from, delay});
        to.addr = Ip4{{255, 255, 255, 255}};
        out.log.push_back("discovery ack to 255.255.255.255:" + std::to_string(from.port));
    }
    out.replies.push_back(Reply{std::move(b), to, delay});
    for (int t = faults_.discoveryFloodMs; t > 0 && t <= 60000; t += faults_.discoveryFloodMs)
        out.replies.push_back(Reply{junk, from, delay + t});
}

void Camera::setCurrent(Outcome &out, const Ip4 &ip, const Ip4 &mask, const Ip4 &gateway)
{
    if (ip != ip_ || mask != mask_ || gateway != gateway_)
        out.addressChanged = true;
    ip_ = ip;
    mask_ = mask;
    gateway_ = gateway;
}

void Camera::restartIpConfiguration(Outcome &out)
{
    // Static first when it is enabled and stored; DHCP finds no server here,
    // and link-local is the fall-back that is always available.
    activeConfig_ = config_;
    if ((config_ & 0x01) && usableUnicast(persistentIp_) && prefixLength(persistentMask_) > 0) {
        setCurrent(out, persistentIp_, persistentMask_, persistentGateway_);
        out.log.push_back("restart static " + ipText(ip_) + " " + ipText(mask_) + " " +
                          ipText(gateway_));
    } else {
        setCurrent(out, linkLocalAddress(), Ip4{{255, 255, 0, 0}}, Ip4{{0, 0, 0, 0}});
        out.log.push_back("restart link-local " + ipText(ip_) + " " + ipText(mask_) + " " +
                          ipText(gateway_));
    }
}

void Camera::onForceIp(Outcome &out, const uint8_t *d, size_t n, const Endpoint &from)
{
    if (n < ForceIpSize) {
        out.log.push_back("forceip ignored (short)");
        return;
    }
    if (std::memcmp(d + ForceMac, id_.mac.data(), 6) != 0) {
        out.log.push_back("forceip ignored (for " + macText(d + ForceMac) + ")");
        return;
    }
    const Ip4 ip = ipAt(d + ForceIp), mask = ipAt(d + ForceMask), gateway = ipAt(d + ForceGateway);
    const uint16_t reqId = be16(d + CmdReqId);
    out.log.push_back("forceip " + ipText(ip) + " " + ipText(mask) + " " + ipText(gateway));
    if (isZero(ip)) {
        out.replies.push_back(Reply{ackHeader(StatusOk, AckForceIp, reqId, 0), from, 0});
        restartIpConfiguration(out);
        return;
    }
    if (!usableUnicast(ip) || prefixLength(mask) <= 0) {
        // A camera does not take the broadcast address (what a failed address
        // conversion gives) or a broken mask; it keeps its address and says so.
        out.log.push_back("forceip refused");
        out.replies.push_back(
            Reply{ackHeader(StatusInvalidParameter, AckForceIp, reqId, 0), from, 0});
        return;
    }
    out.replies.push_back(Reply{ackHeader(StatusOk, AckForceIp, reqId, 0), from, 0});
    setCurrent(out, ip, mask, gateway);
}

void Camera::onIpConfig(Outcome &out, const uint8_t *d, size_t n, const Endpoint &from)
{
    if (n < IpConfigSize) {
        out.log.push_back("ipconfig ignored (short)");
        return;
    }
    if (std::memcmp(d + CfgMac, id_.mac.data(), 6) != 0) {
        out.log.push_back("ipconfig ignored (for " + macText(d + CfgMac) + ")");
        return;
    }
    config_ = d[CfgByte];
    persistentIp_ = ipAt(d + CfgIp);
    persistentMask_ = ipAt(d + CfgMask);
    persistentGateway_ = ipAt(d + CfgGateway);
    out.log.push_back("ipconfig " + hex(config_, 2) + " " + ipText(persistentIp_) + " " +
                      ipText(persistentMask_) + " " + ipText(persistentGateway_));
    out.replies.push_back(Reply{ackHeader(StatusOk, AckDevice, be16(d + CmdReqId), 0), from, 0});
}

void Camera::finishAccessReply(Outcome &out, Bytes reply, const Endpoint &from, const Draw &draw)
{
    const uint16_t id = be16(&reply[AckReqId]);
    if (draw.wrongId) {
        put16(&reply[AckReqId], uint16_t(id ^ 0x8000));
        out.log.push_back("fault wrong-id id=" + std::to_string(id));
    }
    if (draw.drop) {
        out.log.push_back("fault drop id=" + std::to_string(id));
        return;
    }
    int delay = faults_.delayMs;
    if (draw.late) {
        delay = std::max(delay, faults_.lateMs);
        out.log.push_back("fault late id=" + std::to_string(id));
    }
    if (draw.duplicate) {
        out.log.push_back("fault duplicate id=" + std::to_string(id));
        out.replies.push_back(Reply{reply, from, delay});
    }
    out.replies.push_back(Reply{std::move(reply), from, delay});
}

bool Camera::answeredEarly(Outcome &out, const uint8_t *d, const Endpoint &from, const Draw &draw,
                           uint16_t ackCode, size_t ackPayload, size_t entrySize)
{
    const uint16_t reqId = be16(d + CmdReqId);
    const size_t length = be16(d + CmdLength);
    if (draw.badStatus) {
        out.log.push_back("fault bad-status id=" + std::to_string(reqId));
        finishAccessReply(out, ackHeader(StatusBusy, ackCode, reqId, ackPayload), from, draw);
        return true;
    }
    if (length == 0 || length % entrySize != 0) {
        finishAccessReply(out, ackHeader(StatusInvalidParameter, ackCode, reqId, ackPayload), from,
                          draw);
        return true;
    }
    return false;
}

void Camera::onReadReg(Outcome &out, const uint8_t *d, size_t n, const Endpoint &from)
{
    (void)n;
    const Draw draw = drawFaults();
    if (answeredEarly(out, d, from, draw, AckReadReg, 0, 4))
        return;
    const uint16_t reqId = be16(d + CmdReqId);
    const size_t length = be16(d + CmdLength);
    // Values up to the first register the camera lacks, then its status.
    Bytes b = ackHeader(StatusOk, AckReadReg, reqId, length);
    for (size_t i = 0; i < length; i += 4) {
        const uint32_t address = be32(d + HeaderSize + i);
        uint32_t value = 0;
        const uint16_t status = readRegister(address, value);
        if (status != StatusOk) {
            out.log.push_back("readreg " + hex(address, 4) +
                              (status == StatusInvalidAddress
                                   ? " refused (no such register)"
                                   : " refused status " + hex(status, 4)));
            b.resize(HeaderSize + i);
            put16(&b[AckStatus], status);
            put16(&b[AckLength], uint16_t(i));
            break;
        }
        put32(&b[HeaderSize + i], value);
    }
    finishAccessReply(out, std::move(b), from, draw);
}

uint16_t Camera::readRegister(uint32_t address, uint32_t &value) const
{
    const bool privilege = id_.privilegeRegisters;
    const uint32_t capability =
        privilege ? id_.capability : id_.capability & ~CapPrimaryApplication;
    const bool held = controlPrivilege_ & HeldBits;
    auto present = [](bool has) { return has ? StatusOk : StatusInvalidAddress; };
    auto privileged = [privilege](uint16_t status) {
        return privilege ? status : StatusNotImplemented;
    };
    switch (address) {
    case RegVersion: value = VersionWord; return StatusOk;
    case RegDeviceMode: value = 0x80000001u; return StatusOk;
    case RegMacHigh: value = uint32_t(id_.mac[0]) << 8 | id_.mac[1]; return StatusOk;
    case RegMacLow: value = be32(id_.mac.data() + 2); return StatusOk;
    case RegSupportedIpConfig: value = 0x7; return StatusOk;
    case RegCurrentIpConfig: value = config_; return StatusOk;
    case RegCurrentIp: value = be32(ip_.data()); return StatusOk;
    case RegCurrentMask: value = be32(mask_.data()); return StatusOk;
    case RegCurrentGateway: value = be32(gateway_.data()); return StatusOk;
    case RegInterfaces: value = id_.networkInterfaces; return StatusOk;
    case RegPersistentIp: value = be32(persistentIp_.data()); return StatusOk;
    case RegPersistentMask: value = be32(persistentMask_.data()); return StatusOk;
    case RegPersistentGateway: value = be32(persistentGateway_.data()); return StatusOk;
    case RegLinkSpeed: value = id_.linkSpeedMbps; return present(capability & CapLinkSpeed);
    case RegGvcpCapability: value = capability; return StatusOk;
    case RegHeartbeat: value = heartbeatMs_; return privileged(StatusOk);
    case RegControlPrivilege: value = controlPrivilege_; return privileged(StatusOk);
    case RegPrimaryPort:
        value = held ? primary_.port : 0;
        return privileged(present(capability & CapPrimaryApplication));
    case RegPrimaryAddress:
        value = held ? be32(primary_.addr.data()) : 0;
        return privileged(present(capability & CapPrimaryApplication));
    case ControlAddress: value = controlWord_; return StatusOk;
    default: return StatusInvalidAddress;
    }
}

uint16_t Camera::writeRegister(Outcome &out, uint32_t address, uint32_t value, const Endpoint &from)
{
    // Another application's writes never get here while one holds control.
    const bool privilege = id_.privilegeRegisters;
    switch (address) {
    case RegHeartbeat:
        if (!privilege)
            return StatusNotImplemented;
        heartbeatMs_ = std::max<uint32_t>(value, 500);
        if ((controlPrivilege_ & HeldBits) && primaryExpires_)
            controlDeadline_ = Clock::now() + std::chrono::milliseconds(heartbeatMs_);
        out.log.push_back("heartbeat " + std::to_string(heartbeatMs_));
        return StatusOk;
    case RegControlPrivilege:
        if (!privilege)
            return StatusNotImplemented;
        if (value & HeldBits) {
            takeControl(out, from, value & 0x7, true);
        } else {
            controlPrivilege_ = 0;
            primary_ = Endpoint{};
            controlDeadline_ = Clock::time_point::max();
            out.log.push_back("privilege released by " + endpointText(from));
        }
        return StatusOk;
    default: {
        uint32_t ignored = 0;
        const uint16_t status = readRegister(address, ignored);
        return status == StatusOk ? StatusWriteProtect : status;
    }
    }
}

void Camera::onWriteReg(Outcome &out, const uint8_t *d, size_t n, const Endpoint &from)
{
    (void)n;
    const Draw draw = drawFaults();
    if (answeredEarly(out, d, from, draw, AckWriteReg, 4, 8))
        return;
    const uint16_t reqId = be16(d + CmdReqId);
    const size_t length = be16(d + CmdLength);
    // Pairs in order until one fails; the acknowledge's index says how many took.
    uint16_t status = StatusOk;
    uint16_t written = 0;
    for (size_t i = 0; i < length && status == StatusOk; i += 8, ++written) {
        const uint32_t address = be32(d + HeaderSize + i);
        status = writeRegister(out, address, be32(d + HeaderSize + i + 4), from);
        if (status != StatusOk) {
            out.log.push_back("writereg " + hex(address, 4) + " refused status " + hex(status, 4));
            break;
        }
    }
    Bytes b = ackHeader(status, AckWriteReg, reqId, 4);
    put16(&b[HeaderSize + 2], written);
    finishAccessReply(out, std::move(b), from, draw);
}

void Camera::onReadMem(Outcome &out, const uint8_t *d, size_t n, const Endpoint &from)
{
    const Draw draw = drawFaults();
    const uint16_t reqId = be16(d + CmdReqId);
    if (draw.badStatus) {
        out.log.push_back("fault bad-status id=" + std::to_string(reqId));
        finishAccessReply(out, ackHeader(StatusBusy, AckReadMem, reqId, 0), from, draw);
        return;
    }
    if (n < 16) {
        finishAccessReply(out, ackHeader(StatusInvalidParameter, AckReadMem, reqId, 0), from, draw);
        return;
    }
    const uint32_t address = be32(d + MemAddress);
    const uint32_t count = be32(d + MemCount);
    const uint32_t offset = address - WindowReadBase;
    if (address < WindowReadBase || offset % PieceStride != 0 ||
        offset / PieceStride >= PieceCount || count == 0 || count > PieceSize) {
        out.log.push_back("readmem refused " + hex(address, 8) + " count " + std::to_string(count));
        finishAccessReply(out, ackHeader(StatusInvalidAddress, AckReadMem, reqId, 0), from, draw);
        return;
    }
    Bytes b = ackHeader(StatusOk, AckReadMem, reqId, 4 + count);
    put32(&b[HeaderSize], address);
    const size_t start = size_t(offset / PieceStride) * PieceSize;
    std::memcpy(&b[HeaderSize + 4], &window_[start], count);
    finishAccessReply(out, std::move(b), from, draw);
}

uint16_t Camera::control(Outcome &out, uint32_t word)
{
    controlWord_ = word;
    const uint8_t op = uint8_t(word >> 24);
    const uint32_t address = word & FlashAddressMask;
    if (op != OpProgram && op != OpLoad) {
        out.log.push_back("control " + hex(word, 8));
        return StatusOk;
    }
    if (address % SectorSize != 0) {
        // The flash works in whole sectors; an unaligned address is a tool fault.
        out.log.push_back("control " + hex(word, 8) + " refused (unaligned)");
        return StatusInvalidParameter;
    }
    if (op == OpProgram) {
        Bytes &flash = erasedFlash();
        std::memcpy(&flash[address], window_.data(), SectorSize);
        out.log.push_back("program " + hex(address, 6));
        silenced_ = ++programs_ == (unsigned long long)faults_.stopAfterPrograms;
        programmingAddress_ = address;
        programmingUntil_ =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(id_.programMs);
        const uint32_t sector = address / SectorSize;
        if (std::find(faults_.corruptSectors.begin(), faults_.corruptSectors.end(), sector) !=
            faults_.corruptSectors.end()) {
            for (size_t at : {size_t(0), size_t(1), size_t(1000), size_t(2048), SectorSize - 1})
                flash[address + at] ^= 0x5A;
            out.log.push_back("fault corrupt " + hex(address, 6));
        }
    } else {
        // A flash never written is erased; loading from it allocates nothing.
        if (flash_.empty())
            std::fill(window_.begin(), window_.end(), 0xFF);
        else
            std::memcpy(window_.data(), &flash_[address], SectorSize);
        out.log.push_back("load " + hex(address, 6));
    }
    return StatusOk;
}

void Camera::onDevWrite(Outcome &out, const uint8_t *d, size_t n, const Endpoint &from)
{
    (void)n;
    const Draw draw = drawFaults();
    const uint16_t reqId = be16(d + CmdReqId);
    if (draw.badStatus) {
        out.log.push_back("fault bad-status id=" + std::to_string(reqId));
        finishAccessReply(out, ackHeader(StatusBusy, AckDevice, reqId, 0), from, draw);
        return;
    }
    const size_t length = be16(d + CmdLength);
    uint16_t status = StatusOk;
    if (length < 4) {
        status = StatusInvalidParameter;
    } else {
        // Length 8 is the word form, and equally a 4-byte data-form write
        // below 0x10000: bytes 8-9 are zero then, so both read alike.
        const uint32_t address =
            length == WordFormLength ? be32(d + WriteWordAddress) : be16(d + WriteShortAddress);
        const size_t count = length - 4;
        const uint32_t offset = address - WindowWriteBase;
        if (address == ControlAddress) {
            status = count == 4 ? control(out, be32(d + WriteData)) : StatusInvalidParameter;
        } else if (address >= WindowWriteBase && offset % PieceStride == 0 &&
                   offset / PieceStride < PieceCount && count <= PieceSize) {
            const size_t at = size_t(offset / PieceStride) * PieceSize;
            std::memcpy(&window_[at], d + WriteData, count);
            if (std::chrono::steady_clock::now() < programmingUntil_) {
                std::memcpy(&erasedFlash()[programmingAddress_ + at], d + WriteData, count);
                out.log.push_back("window written while programming " +
                                  hex(programmingAddress_, 6));
            }
        } else {
            status = StatusInvalidAddress;
        }
    }
    if (status == StatusInvalidAddress || status == StatusInvalidParameter)
        out.log.push_back("devwrite refused status " + hex(status, 4));
    finishAccessReply(out, ackHeader(status, AckDevice, reqId, 0), from, draw);
}

}  // namespace camsim
