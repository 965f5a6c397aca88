// camsim: a GVCP camera on a UDP port, for tests and the network lab.
#include "camera.h"
#include "fleet.h"
#include "transport.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace camsim;

namespace {

const char *const usageText =
    "usage: camsim [options]\n"
    "  --bind ADDR            address to listen on (default 0.0.0.0)\n"
    "  --port N               UDP port (default 3956; 0 picks a free one)\n"
    "  --mac XX:XX:XX:XX:XX:XX --ip A --mask M --gateway G   identity\n"
    "  --ipconfig N           IP configuration byte (default 5)\n"
    "  --manufacturer T --model T --version T --info T --serial T --user-name T\n"
    "  --flash-in FILE        initial flash content (default: 16 MiB of 0xFF)\n"
    "  --flash-out FILE       flash dump on SIGUSR1 and at exit\n"
    "  --log FILE             one line per datagram and per flash action\n"
    "  --ip-hook CMD          runs CMD NEWIP NEWMASK NEWGATEWAY when the address changes\n"
    "  --broadcast-ack        send the discovery acknowledge to 255.255.255.255 (sender's port)\n"
    "  --ack-both-ways        with --broadcast-ack: to the sender as well\n"
    "  --program-ms MS        time a sector takes to program (default 50); window writes\n"
    "                         meanwhile land in that sector\n"
    "  --fleet N              answer as N cameras (1-253): camera i (from 0) has address\n"
    "                         --ip + i, MAC + i, serial and user name with suffix -NNN (i + 1)\n"
    "                         and fault seed + i, and replies from its own address. All answer\n"
    "                         DISCOVERY; FORCEIP and IPCONFIG reach all (each judges the MAC);\n"
    "                         other commands only the camera whose address they were sent to.\n"
    "                         Log lines start with camN. --ip-hook runs per camera, with its old\n"
    "                         address as a fourth argument; --flash-in and --flash-out are\n"
    "                         refused (every fleet camera starts erased).\n"
    "  --interfaces N         number of network interfaces register (default 1)\n"
    "  --link-speed MBPS      link speed register (default 1000)\n"
    "  --capability WORD      GVCP capability register (default 0x18000000: link speed,\n"
    "                         primary application port and address registers)\n"
    "  --heartbeat MS         heartbeat timeout register (default 3000)\n"
    "  --no-privilege         no control privilege: the heartbeat, privilege and primary\n"
    "                         application registers answer 0x8001 (not implemented) and\n"
    "                         nothing is enforced\n"
    "  --held-by ADDR:PORT    another application holds control (control access): others'\n"
    "                         writes are refused with 0x8006 (access denied); it never lets\n"
    "                         go unless --held-for says so\n"
    "  --held-exclusive       ... with exclusive access: others' reads are refused too\n"
    "  --held-after N         ... taking it after N datagrams (default 0), over whoever\n"
    "                         held it, as if that one's heartbeat had lapsed\n"
    "  --held-for MS          ... and letting it lapse MS after taking it\n"
    "  --seed N --drop PCT --delay MS --duplicate PCT --late PCT --late-ms MS\n"
    "  --drop-request PCT     access requests lost on the way (not carried out, no reply)\n"
    "  --drop-request-run N   ... N in a row each time, then one let through (default 1)\n"
    "  --wrong-id PCT --bad-status PCT --stop-after N --corrupt-sector N (repeatable)\n"
    "  --stop-after-programs N  answer nothing once N sectors were programmed\n"
    "  --discovery-delay MS   the discovery acknowledge held MS\n"
    "  --discovery-junk       a datagram that is not GVCP (7 bytes) before it\n"
    "  --discovery-flood MS   that datagram every MS for a minute after the acknowledge\n";

[[noreturn]] void usage(const std::string &problem)
{
    if (!problem.empty())
        std::fprintf(stderr, "camsim: %s\n", problem.c_str());
    std::fputs(usageText, stderr);
    std::exit(2);
}

long long toInteger(const std::string &option, const std::string &text, long long low,
                    long long high)
{
    char *end = nullptr;
    errno = 0;
    long long v = std::strtoll(text.c_str(), &end, 0);
    if (text.empty() || *end != '\0' || errno != 0 || v < low || v > high)
        usage(option + ": not a number in " + std::to_string(low) + ".." + std::to_string(high) +
              ": " + text);
    return v;
}

double toPercent(const std::string &option, const std::string &text)
{
    char *end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !(v >= 0.0 && v <= 100.0))
        usage(option + ": not a percentage: " + text);
    return v;
}

Ip4 toIp(const std::string &option, const std::string &text)
{
    Ip4 ip;
    if (!parseIp(text, ip))
        usage(option + ": not a dotted IPv4 address: " + text);
    return ip;
}

bool loadFlash(const std::string &path, Bytes &flash)
{
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f) {
        std::fprintf(stderr, "camsim: cannot read %s: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    size_t n = std::fread(flash.data(), 1, flash.size(), f);
    bool tooLong = std::fgetc(f) != EOF;
    bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) {
        std::fprintf(stderr, "camsim: reading %s failed\n", path.c_str());
        return false;
    }
    if (tooLong) {
        std::fprintf(stderr, "camsim: %s is larger than the 16 MiB flash\n", path.c_str());
        return false;
    }
    std::fill(flash.begin() + long(n), flash.end(), 0xFF);  // a short file leaves the rest erased
    return true;
}

}  // namespace

int main(int argc, char **argv)
{
    Identity identity;
    identity.programMs = 50;
    Faults faults;
    TransportOptions transport;
    std::string flashIn, logPath;
    bool ipGiven = false;
    int fleet = 0;  // 0: one camera that takes every datagram

    for (int i = 1; i < argc; ++i) {
        const std::string opt = argv[i];
        if (opt == "--help" || opt == "-h") {
            std::fputs(usageText, stdout);
            return 0;
        }
        if (opt == "--broadcast-ack") {
            identity.broadcastDiscoveryAck = true;
            continue;
        }
        if (opt == "--ack-both-ways") {
            identity.discoveryAckBothWays = true;
            continue;
        }
        if (opt == "--discovery-junk") {
            faults.discoveryJunk = true;
            continue;
        }
        if (opt == "--no-privilege") {
            identity.privilegeRegisters = false;
            continue;
        }
        if (opt == "--held-exclusive") {
            identity.otherExclusive = true;
            continue;
        }
        if (i + 1 >= argc)
            usage(opt + " needs a value (or is unknown)");
        const std::string v = argv[++i];
        if (opt == "--bind")
            transport.bindAddress = v, (void)toIp(opt, v);
        else if (opt == "--port")
            transport.port = int(toInteger(opt, v, 0, 65535));
        else if (opt == "--mac") {
            if (!parseMac(v, identity.mac))
                usage("--mac: not a MAC address: " + v);
        } else if (opt == "--ip")
            identity.ip = toIp(opt, v), ipGiven = true;
        else if (opt == "--mask")
            identity.mask = toIp(opt, v);
        else if (opt == "--gateway")
            identity.gateway = toIp(opt, v);
        else if (opt == "--ipconfig")
            identity.ipConfig = uint8_t(toInteger(opt, v, 0, 255));
        else if (opt == "--manufacturer")
            identity.manufacturer = v;
        else if (opt == "--model")
            identity.model = v;
        else if (opt == "--version")
            identity.version = v;
        else if (opt == "--info")
            identity.info = v;
        else if (opt == "--serial")
            identity.serial = v;
        else if (opt == "--user-name")
            identity.userName = v;
        else if (opt == "--flash-in")
            flashIn = v;
        else if (opt == "--flash-out")
            transport.flashOut = v;
        else if (opt == "--log")
            logPath = v;
        else if (opt == "--ip-hook")
            transport.ipHook = v;
        else if (opt == "--fleet")
            fleet = int(toInteger(opt, v, 1, MaxFleet));
        else if (opt == "--interfaces")
            identity.networkInterfaces = uint32_t(toInteger(opt, v, 1, 4));
        else if (opt == "--link-speed")
            identity.linkSpeedMbps = uint32_t(toInteger(opt, v, 0, 0xFFFFFFFFLL));
        else if (opt == "--capability")
            identity.capability = uint32_t(toInteger(opt, v, 0, 0xFFFFFFFFLL));
        else if (opt == "--heartbeat")
            identity.heartbeatMs = uint32_t(toInteger(opt, v, 500, 0xFFFFFFFFLL));
        else if (opt == "--held-by") {
            const size_t colon = v.rfind(':');
            if (colon == std::string::npos)
                usage("--held-by: ADDR:PORT expected: " + v);
            identity.other.addr = toIp(opt, v.substr(0, colon));
            identity.other.port = uint16_t(toInteger(opt, v.substr(colon + 1), 1, 65535));
        } else if (opt == "--held-after")
            identity.otherFrom = toInteger(opt, v, 0, 1LL << 62);
        else if (opt == "--held-for")
            identity.otherForMs = int(toInteger(opt, v, 0, 86400000));
        else if (opt == "--stop-after-programs")
            faults.stopAfterPrograms = toInteger(opt, v, 1, 1LL << 62);
        else if (opt == "--discovery-delay")
            faults.discoveryDelayMs = int(toInteger(opt, v, 0, 60000));
        else if (opt == "--discovery-flood")
            faults.discoveryFloodMs = int(toInteger(opt, v, 1, 60000));
        else if (opt == "--drop-request")
            faults.dropRequestPct = toPercent(opt, v);
        else if (opt == "--drop-request-run")
            faults.dropRequestRun = int(toInteger(opt, v, 1, 100));
        else if (opt == "--seed")
            faults.seed = uint32_t(toInteger(opt, v, 0, 0xFFFFFFFFLL));
        else if (opt == "--drop")
            faults.dropPct = toPercent(opt, v);
        else if (opt == "--delay")
            faults.delayMs = int(toInteger(opt, v, 0, 600000));
        else if (opt == "--program-ms")
            identity.programMs = int(toInteger(opt, v, 0, 10000));
        else if (opt == "--duplicate")
            faults.duplicatePct = toPercent(opt, v);
        else if (opt == "--late")
            faults.latePct = toPercent(opt, v);
        else if (opt == "--late-ms")
            faults.lateMs = int(toInteger(opt, v, 0, 600000));
        else if (opt == "--wrong-id")
            faults.wrongIdPct = toPercent(opt, v);
        else if (opt == "--bad-status")
            faults.badStatusPct = toPercent(opt, v);
        else if (opt == "--stop-after")
            faults.stopAfter = toInteger(opt, v, 0, 1LL << 62);
        else if (opt == "--corrupt-sector")
            faults.corruptSectors.push_back(
                uint32_t(toInteger(opt, v, 0, Camera::FlashSize / Camera::SectorSize - 1)));
        else
            usage("unknown option " + opt);
    }
    if (!ipGiven)
        identity.ip = toIp("--bind", transport.bindAddress);
    if (identity.other.port != 0 && !identity.privilegeRegisters)
        usage("--held-by needs the privilege register (not with --no-privilege)");
    if (fleet > 0) {
        if (!flashIn.empty() || !transport.flashOut.empty())
            usage("--flash-in and --flash-out are for a single camera, not with --fleet");
        const Ip4 &ip = identity.ip;
        if (ip == Ip4{{0, 0, 0, 0}})
            usage("--fleet needs --ip, the first camera's address");
        const std::string net =
            std::to_string(ip[0]) + "." + std::to_string(ip[1]) + "." + std::to_string(ip[2]);
        if (ip[3] == 0 || ip[3] + fleet - 1 > 254)
            usage("--fleet " + std::to_string(fleet) + " from --ip " + ipText(ip) +
                  " does not fit " + net + ".1-" + net + ".254");
        transport.fleet = true;
    }

    std::vector<Camera> cameras;
    if (fleet > 0)
        cameras = makeFleet(identity, faults, fleet);
    else
        cameras.emplace_back(identity, faults);
    if (!flashIn.empty() && !loadFlash(flashIn, cameras.front().flash()))
        return 1;
    if (!logPath.empty()) {
        transport.log = std::fopen(logPath.c_str(), "w");
        if (!transport.log) {
            std::fprintf(stderr, "camsim: cannot write %s: %s\n", logPath.c_str(),
                         std::strerror(errno));
            return 1;
        }
    }
    int status = runTransport(cameras, transport);
    if (transport.log)
        std::fclose(transport.log);
    return status;
}
