#include "transport.h"
#include "fleet.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <queue>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace camsim {

namespace {

using Clock = std::chrono::steady_clock;

volatile sig_atomic_t stopRequested = 0;
volatile sig_atomic_t dumpRequested = 0;

void onStop(int) { stopRequested = 1; }
void onDump(int) { dumpRequested = 1; }

struct Pending {
    Clock::time_point due;
    unsigned long long order;  // keeps replies due at the same time in sequence
    Bytes bytes;
    Endpoint to;
    Ip4 source;  // 0.0.0.0: whatever the route gives
    bool operator>(const Pending &other) const
    {
        return due != other.due ? due > other.due : order > other.order;
    }
};

void logLine(FILE *log, const std::string &line)
{
    if (!log)
        return;
    std::fputs(line.c_str(), log);
    std::fputc('\n', log);
    std::fflush(log);
}

// One flush for all the lines a datagram gave.
void logLines(FILE *log, const std::vector<std::string> &lines)
{
    if (!log || lines.empty())
        return;
    for (const std::string &line : lines) {
        std::fputs(line.c_str(), log);
        std::fputc('\n', log);
    }
    std::fflush(log);
}

sockaddr_in toSockaddr(const Endpoint &e)
{
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(e.port);
    std::memcpy(&sa.sin_addr, e.addr.data(), 4);
    return sa;
}

void sendReply(int fd, const Pending &p, FILE *log)
{
    sockaddr_in sa = toSockaddr(p.to);
    if (p.source != Ip4{{0, 0, 0, 0}}) {
        // A fleet camera answers from its own address, as separate cameras would.
        iovec iov{const_cast<uint8_t *>(p.bytes.data()), p.bytes.size()};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
        msghdr msg{};
        msg.msg_name = &sa;
        msg.msg_namelen = sizeof sa;
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        cmsghdr *c = CMSG_FIRSTHDR(&msg);
        c->cmsg_level = IPPROTO_IP;
        c->cmsg_type = IP_PKTINFO;
        c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
        in_pktinfo info{};
        std::memcpy(&info.ipi_spec_dst, p.source.data(), 4);
        std::memcpy(CMSG_DATA(c), &info, sizeof info);
        if (::sendmsg(fd, &msg, 0) >= 0)
            return;
        if (errno != EINVAL) {
            logLine(log, std::string("sendmsg failed: ") + std::strerror(errno));
            return;
        }
        // The address is not (or no longer) on this host: send it from the default one.
        logLine(log, "source " + ipText(p.source) +
                         " is not on this host; sent from the default address");
    }
    if (::sendto(fd, p.bytes.data(), p.bytes.size(), 0, reinterpret_cast<sockaddr *>(&sa),
                 sizeof sa) < 0)
        logLine(log, std::string("sendto failed: ") + std::strerror(errno));
}

// Runs the hook with the new address (and, for a fleet camera, the old one);
// bounded, so a hanging hook cannot silence the camera for good.
void runHook(const std::string &hook, const Camera &camera, const std::string &oldIp,
             const std::string &tag, FILE *log)
{
    const std::string ip = ipText(camera.currentIp()), mask = ipText(camera.currentMask()),
                      gw = ipText(camera.currentGateway());
    logLine(log,
            tag + "ip-hook " + ip + " " + mask + " " + gw + (oldIp.empty() ? "" : " " + oldIp));
    pid_t pid = ::fork();
    if (pid < 0) {
        logLine(log, std::string("ip-hook fork failed: ") + std::strerror(errno));
        return;
    }
    if (pid == 0) {
        const std::string script = hook + " \"$@\"";
        if (oldIp.empty())
            ::execl("/bin/sh", "sh", "-c", script.c_str(), "camsim-ip-hook", ip.c_str(),
                    mask.c_str(), gw.c_str(), static_cast<char *>(nullptr));
        else
            ::execl("/bin/sh", "sh", "-c", script.c_str(), "camsim-ip-hook", ip.c_str(),
                    mask.c_str(), gw.c_str(), oldIp.c_str(), static_cast<char *>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    for (;;) {
        pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid)
            break;
        if (r < 0 && errno != EINTR)
            return;
        if (Clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            logLine(log, tag + "ip-hook killed after 10 s");
            return;
        }
        ::usleep(5000);
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        logLine(log, tag + "ip-hook failed status " +
                         std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1));
}

}  // namespace

bool dumpFlash(const Bytes &flash, const std::string &path)
{
    const std::string tmp = path + ".tmp";
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        std::fprintf(stderr, "camsim: cannot write %s: %s\n", tmp.c_str(), std::strerror(errno));
        return false;
    }
    size_t done = 0;
    while (done < flash.size()) {
        ssize_t w = ::write(fd, flash.data() + done, flash.size() - done);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0) {
            std::fprintf(stderr, "camsim: writing %s failed: %s\n", tmp.c_str(),
                         std::strerror(errno));
            ::close(fd);
            ::unlink(tmp.c_str());
            return false;
        }
        done += size_t(w);
    }
    if (::close(fd) != 0 || ::rename(tmp.c_str(), path.c_str()) != 0) {
        std::fprintf(stderr, "camsim: saving %s failed: %s\n", path.c_str(), std::strerror(errno));
        ::unlink(tmp.c_str());
        return false;
    }
    return true;
}

int runTransport(std::vector<Camera> &cameras, const TransportOptions &options)
{
    Ip4 bindIp;
    if (!parseIp(options.bindAddress, bindIp)) {
        std::fprintf(stderr, "camsim: bad bind address %s\n", options.bindAddress.c_str());
        return 2;
    }
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        std::perror("camsim: socket");
        return 1;
    }
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
    ::setsockopt(fd, IPPROTO_IP, IP_PKTINFO, &one, sizeof one);
    sockaddr_in local = toSockaddr(Endpoint{bindIp, uint16_t(options.port)});
    if (::bind(fd, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0) {
        std::fprintf(stderr, "camsim: cannot bind %s:%d: %s\n", options.bindAddress.c_str(),
                     options.port, std::strerror(errno));
        ::close(fd);
        return 1;
    }
    socklen_t localLen = sizeof local;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&local), &localLen);

    // Signals stay blocked except inside ppoll, so none is lost between the
    // flag checks and the wait.
    struct sigaction sa {};
    sa.sa_handler = onStop;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGINT, &sa, nullptr);
    sa.sa_handler = onDump;
    ::sigaction(SIGUSR1, &sa, nullptr);
    sigset_t blocked, waitMask;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGTERM);
    sigaddset(&blocked, SIGINT);
    sigaddset(&blocked, SIGUSR1);
    ::sigprocmask(SIG_BLOCK, &blocked, &waitMask);
    sigdelset(&waitMask, SIGTERM);
    sigdelset(&waitMask, SIGINT);
    sigdelset(&waitMask, SIGUSR1);

    std::printf("camsim ready %s:%u\n", options.bindAddress.c_str(),
                unsigned(ntohs(local.sin_port)));
    std::fflush(stdout);

    std::priority_queue<Pending, std::vector<Pending>, std::greater<Pending>> pending;
    unsigned long long order = 0;
    std::vector<uint8_t> buffer(65536);
    int exitStatus = 0;
    // A fleet camera's log lines start with its number, counted from 1.
    auto tagOf = [&options](size_t index) {
        return options.fleet ? "cam" + std::to_string(index + 1) + " " : std::string();
    };

    while (!stopRequested) {
        if (dumpRequested) {
            dumpRequested = 0;
            if (!options.flashOut.empty() && dumpFlash(cameras.front().flash(), options.flashOut))
                logLine(options.log, "dump " + options.flashOut);
        }
        const auto now = Clock::now();
        while (!pending.empty() && pending.top().due <= now) {
            sendReply(fd, pending.top(), options.log);
            pending.pop();
        }
        // Wake for the next reply due or the next privilege to lapse, so that
        // an expiry is logged when it happens, not at the next datagram.
        Clock::time_point wake = now + std::chrono::seconds(1);
        if (!pending.empty())
            wake = std::min(wake, pending.top().due);
        for (const Camera &camera : cameras)
            wake = std::min(wake, camera.controlDeadline());
        timespec timeout{1, 0};
        {
            auto wait = std::chrono::duration_cast<std::chrono::nanoseconds>(wake - now);
            if (wait.count() < 0)
                wait = std::chrono::nanoseconds(0);
            timeout.tv_sec = time_t(wait.count() / 1000000000);
            timeout.tv_nsec = long(wait.count() % 1000000000);
        }
        pollfd pfd{fd, POLLIN, 0};
        int r = ::ppoll(&pfd, 1, &timeout, &waitMask);
        const auto woke = Clock::now();
        for (size_t i = 0; i < cameras.size(); ++i)
            for (const std::string &line : cameras[i].lapseControl(woke))
                logLine(options.log, tagOf(i) + line);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            std::perror("camsim: poll");
            exitStatus = 1;
            break;
        }
        if (r == 0 || !(pfd.revents & POLLIN))
            continue;

        sockaddr_in peer{};
        iovec iov{buffer.data(), buffer.size()};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))];
        msghdr msg{};
        msg.msg_name = &peer;
        msg.msg_namelen = sizeof peer;
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        ssize_t n = ::recvmsg(fd, &msg, MSG_DONTWAIT);
        if (n < 0)
            continue;
        Ip4 to{{0, 0, 0, 0}};
        for (cmsghdr *c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
            if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
                in_pktinfo info;
                std::memcpy(&info, CMSG_DATA(c), sizeof info);
                std::memcpy(to.data(), &info.ipi_addr, 4);
            }
        }
        Endpoint from;
        std::memcpy(from.addr.data(), &peer.sin_addr, 4);
        from.port = ntohs(peer.sin_port);

        const std::vector<size_t> targets =
            options.fleet ? fleetRecipients(cameras, buffer.data(), size_t(n), to)
                          : std::vector<size_t>{0};
        if (targets.empty()) {
            logLine(options.log, "rx len=" + std::to_string(n) + " from=" + ipText(from.addr) +
                                     ":" + std::to_string(from.port) + " to=" + ipText(to) +
                                     " ignored (no camera there)");
            continue;
        }
        // A single camera's log lines are written before its replies leave, so
        // whoever got a reply finds the log complete. A fleet's replies all
        // leave first, its discovery answer being one burst, and no hook runs
        // before the last of them.
        std::vector<std::string> lines;
        std::vector<std::pair<size_t, Ip4>> moved;  // camera, its address before
        for (size_t index : targets) {
            Camera &camera = cameras[index];
            const Ip4 before = camera.currentIp();
            Outcome out = camera.handle(buffer.data(), size_t(n), from, to);
            for (const std::string &line : out.log)
                lines.push_back(tagOf(index) + line);
            if (!options.fleet)
                logLines(options.log, lines);
            const auto received = Clock::now();
            for (Reply &reply : out.replies) {
                Pending p{received + std::chrono::milliseconds(reply.delayMs), order++,
                          std::move(reply.bytes), reply.to,
                          options.fleet ? before : Ip4{{0, 0, 0, 0}}};
                if (reply.delayMs <= 0)
                    sendReply(fd, p, options.log);
                else
                    pending.push(std::move(p));
            }
            if (out.addressChanged)
                moved.emplace_back(index, before);
        }
        if (options.fleet)
            logLines(options.log, lines);
        // The acknowledge leaves before the address moves.
        for (const auto &m : moved) {
            if (options.ipHook.empty())
                break;
            runHook(options.ipHook, cameras[m.first], options.fleet ? ipText(m.second) : "",
                    tagOf(m.first), options.log);
        }
    }

    ::close(fd);
    if (!options.flashOut.empty()) {
        if (dumpFlash(cameras.front().flash(), options.flashOut))
            logLine(options.log, "dump " + options.flashOut);
        else
            exitStatus = 1;
    }
    logLine(options.log, "exit");
    return exitStatus;
}

}  // namespace camsim
