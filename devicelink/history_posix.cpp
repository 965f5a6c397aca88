#include "history_native.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <unistd.h>

namespace historynative {

bool appendWhole(const std::string &path, const std::string &line, std::string &error)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    // O_APPEND alone keeps a line whole on a local disk; the lock keeps it
    // whole on network file systems too (flock is per open file, so threads
    // of one process exclude each other as well).
    bool ok = ::flock(fd, LOCK_EX) == 0;
    size_t done = 0;
    while (ok && done < line.size()) {
        const ssize_t n = ::write(fd, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        if (ok)
            done += size_t(n);
    }
    ok = ok && ::fdatasync(fd) == 0;
    if (!ok)
        error = std::strerror(errno);
    ::close(fd);  // releases the lock
    return ok;
}

std::string userName()
{
    const passwd *pw = ::getpwuid(::geteuid());
    if (pw && pw->pw_name)
        return pw->pw_name;
    const char *user = std::getenv("USER");
    return user ? user : "";
}

std::string stateFolder()
{
    const char *state = std::getenv("XDG_STATE_HOME");
    if (state && *state == '/')
        return std::string(state) + "/orvanta";
    const char *home = std::getenv("HOME");
    return home && *home ? std::string(home) + "/.local/state/orvanta" : std::string();
}

}  // namespace historynative
