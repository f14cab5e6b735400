#include "SimLine.h"

#include "EscapedText.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <termios.h>
#include <unistd.h>

namespace zk405_sim {

namespace {

bool Fail(const std::string& what) {
    std::fprintf(stderr, "zk405-sim: %s: %s\n", what.c_str(), std::strerror(errno));
    return false;
}

// For a refusal of our own, which no failed call explains: errno would hold a stale reason.
bool Refuse(const std::string& what, int reason) {
    errno = reason;
    return Fail(what);
}

bool MakeNonBlocking(int fd) {
    return fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK) == 0;
}

} // namespace

SimLine::~SimLine() {
    if (!m_link.empty()) {
        char target[4096];
        const ssize_t n = readlink(m_link.c_str(), target, sizeof target - 1);
        // Only our own link: another copy may have taken the path over since.
        if (n > 0 && m_slavePath.compare(0, std::string::npos, target, static_cast<size_t>(n)) == 0)
            unlink(m_link.c_str());
    }
    if (m_transcript != nullptr)
        std::fclose(m_transcript);
    if (m_slave >= 0)
        close(m_slave);
    if (m_master >= 0)
        close(m_master);
}

bool SimLine::Open(bool controlling) {
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0)
        return Fail("cannot create a pseudo-terminal");
    const char* name = ptsname(m_master);
    if (name == nullptr)
        return Fail("cannot name the pseudo-terminal");
    m_slavePath = name;
    // Opened only to set the line up: as our controlling terminal the device cannot become anyone
    // else's. It is not kept open, since the tool refuses a port another program holds open;
    // while no one has it open the master reports a hang-up, which the loop waits out.
    m_slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_slave < 0)
        return Fail("cannot open the pseudo-terminal's port side");
    if (controlling && ioctl(m_slave, TIOCSCTTY, 0) != 0)
        std::fprintf(stderr, "zk405-sim: the port is not our controlling terminal: %s\n",
                     std::strerror(errno));
    termios raw{};
    if (tcgetattr(m_slave, &raw) != 0)
        return Fail("cannot read the line settings");
    cfmakeraw(&raw);
    if (tcsetattr(m_slave, TCSANOW, &raw) != 0)
        return Fail("cannot make the line raw");
    close(m_slave);
    m_slave = -1;
    if (!MakeNonBlocking(m_master))
        return Fail("cannot make the line non-blocking");
    return true;
}

bool SimLine::Adopt(int socketFd, const std::string& description) {
    m_master = socketFd;
    m_slavePath = description;
    m_socket = true;
    if (fcntl(m_master, F_SETFD, FD_CLOEXEC) != 0 || !MakeNonBlocking(m_master))
        return Fail("cannot use " + description);
    return true;
}

bool SimLine::ConnectUnix(const std::string& path) {
    sockaddr_un address{};
    if (path.size() >= sizeof address.sun_path)
        return Refuse("the socket path is too long: " + path, ENAMETOOLONG);
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int error = errno;
        if (fd >= 0)
            close(fd);
        errno = error;
        return Fail("cannot connect to " + path);
    }
    return Adopt(fd, path);
}

bool SimLine::MakeLink(const std::string& link) {
    struct stat st {};
    if (lstat(link.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode))
            return Refuse(link + " exists and is no symbolic link; left alone", EEXIST);
        unlink(link.c_str());
    }
    if (symlink(m_slavePath.c_str(), link.c_str()) != 0)
        return Fail("cannot link " + link);
    m_link = link;
    return true;
}

bool SimLine::OpenTranscript(const std::string& path) {
    m_transcript = std::fopen(path.c_str(), "a");
    return m_transcript != nullptr || Fail("cannot open the transcript " + path);
}

void SimLine::Record(Clock::time_point arrival, const std::string& command) {
    if (m_transcript == nullptr)
        return;
    const double ms = std::chrono::duration<double, std::milli>(arrival - m_start).count();
    std::fprintf(m_transcript, "%.3f %s\n", ms, EscapeBytes(command).c_str());
    std::fflush(m_transcript);
}

} // namespace zk405_sim
