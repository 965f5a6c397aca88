// A minimal GVCP client for checking the lab from its host namespace, with
// literal datagrams of its own (nothing shared with the application):
//   labprobe discover LOCAL [LOCAL...]      one line per acknowledge
//   labprobe forceip LOCAL MAC IP MASK GW   broadcast FORCEIP, print the ack
//   labprobe readreg LOCAL CAMERA_IP        READREG of register 0 by unicast
// Every receive is bounded; exit status 1 when no answer came.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

int openSocket(const char *local) {
    int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    if (::inet_pton(AF_INET, local, &sa.sin_addr) != 1 || ::bind(fd, (sockaddr *)&sa, sizeof sa) != 0) {
        std::fprintf(stderr, "labprobe: cannot bind %s\n", local);
        std::exit(2);
    }
    return fd;
}

void sendTo(int fd, const char *address, const std::vector<uint8_t> &d) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(3956);
    ::inet_pton(AF_INET, address, &to.sin_addr);
    if (::sendto(fd, d.data(), d.size(), 0, (sockaddr *)&to, sizeof to) != ssize_t(d.size())) {
        std::perror("labprobe: sendto");
        std::exit(2);
    }
}

// One datagram within `ms`, or an empty vector.
std::vector<uint8_t> receive(int fd, int ms) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, ms) <= 0) return {};
    std::vector<uint8_t> d(2048);
    ssize_t n = ::recv(fd, d.data(), d.size(), 0);
    d.resize(n > 0 ? size_t(n) : 0);
    return d;
}

std::string text(const std::vector<uint8_t> &d, size_t at, size_t width) {
    std::string s;
    for (size_t i = at; i < at + width && i < d.size() && d[i]; ++i) s += char(d[i]);
    return s;
}

std::string ip(const std::vector<uint8_t> &d, size_t at) {
    char b[20];
    std::snprintf(b, sizeof b, "%u.%u.%u.%u", d[at], d[at + 1], d[at + 2], d[at + 3]);
    return b;
}

void putIp(std::vector<uint8_t> &d, size_t at, const char *text) {
    in_addr a{};
    if (::inet_pton(AF_INET, text, &a) != 1) {
        std::fprintf(stderr, "labprobe: bad address %s\n", text);
        std::exit(2);
    }
    std::memcpy(&d[at], &a, 4);
}

int discover(int argc, char **argv) {
    int found = 0;
    for (int i = 0; i < argc; ++i) {
        int fd = openSocket(argv[i]);
        sendTo(fd, "255.255.255.255", {0x42, 0x11, 0x00, 0x02, 0x00, 0x08, 0x01, 0x23, 0, 0, 0, 0, 0, 0, 0, 0});
        for (;;) {
            std::vector<uint8_t> d = receive(fd, 700);
            if (d.empty()) break;
            if (d.size() < 256 || d[2] != 0x00 || d[3] != 0x03) continue;
            std::printf("via=%s ip=%s mask=%s gateway=%s mac=%02x:%02x:%02x:%02x:%02x:%02x config=%u serial=%s user=%s\n",
                        argv[i], ip(d, 44).c_str(), ip(d, 60).c_str(), ip(d, 76).c_str(), d[18], d[19], d[20],
                        d[21], d[22], d[23], d[31], text(d, 224, 16).c_str(), text(d, 240, 16).c_str());
            ++found;
        }
        ::close(fd);
    }
    return found > 0 ? 0 : 1;
}

int forceIp(char **argv) {
    std::vector<uint8_t> d(64, 0);
    const uint8_t head[] = {0x42, 0x01, 0x00, 0x04, 0x00, 0x38, 0x00, 0x01};
    std::memcpy(d.data(), head, 8);
    unsigned m[6];
    if (std::sscanf(argv[1], "%x:%x:%x:%x:%x:%x", &m[0], &m[1], &m[2], &m[3], &m[4], &m[5]) != 6) {
        std::fprintf(stderr, "labprobe: bad MAC %s\n", argv[1]);
        return 2;
    }
    for (int i = 0; i < 6; ++i) d[size_t(10 + i)] = uint8_t(m[i]);
    putIp(d, 28, argv[2]);
    putIp(d, 44, argv[3]);
    putIp(d, 60, argv[4]);
    int fd = openSocket(argv[0]);
    sendTo(fd, "255.255.255.255", d);
    std::vector<uint8_t> r = receive(fd, 1000);
    if (r.size() < 8) return 1;
    std::printf("ack status=0x%02x%02x code=0x%02x%02x id=0x%02x%02x\n", r[0], r[1], r[2], r[3], r[6], r[7]);
    return 0;
}

int readReg(char **argv) {
    int fd = openSocket(argv[0]);
    for (int attempt = 1; attempt <= 3; ++attempt) {
        const uint8_t id = uint8_t(0x40 + attempt);
        sendTo(fd, argv[1], {0x42, 0x01, 0x00, 0x80, 0x00, 0x04, 0x00, id, 0, 0, 0, 0});
        std::vector<uint8_t> r = receive(fd, 500);
        if (r.size() >= 12 && r[6] == 0 && r[7] == id) {
            std::printf("value=0x%02x%02x%02x%02x\n", r[8], r[9], r[10], r[11]);
            return 0;
        }
    }
    return 1;
}

}  // namespace

int main(int argc, char **argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "discover" && argc >= 3) return discover(argc - 2, argv + 2);
    if (mode == "forceip" && argc == 7) return forceIp(argv + 2);
    if (mode == "readreg" && argc == 4) return readReg(argv + 2);
    std::fprintf(stderr, "usage: labprobe discover LOCAL... | forceip LOCAL MAC IP MASK GW | readreg LOCAL IP\n");
    return 2;
}
