#include "PortSource.h"

#include "PortNames.h"
#include "StopSignal.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <set>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace provisioning {

namespace {

bool IsDeviceDirectory(const std::string& directory) {
    return directory == port_names::DeviceDirectory();
}

// Under /dev only the serial lines (ttyS0, ttyUSB0, ttyACM0, ttyAMA0, rfcomm0), not the consoles
// (tty, tty1) nor ptys; in a folder of the user's choosing any character device, links followed.
bool IsSerialName(const std::string& name, bool deviceDirectory) {
    if (!deviceDirectory)
        return name != "." && name != "..";
    if (name.compare(0, 6, "rfcomm") == 0)
        return true;
    return name.size() > 3 && name.compare(0, 3, "tty") == 0 && name[3] >= 'A' && name[3] <= 'Z';
}

class DeviceWatcher : public PortSource {
public:
    DeviceWatcher(std::string directory, int inotifyFd)
        : m_directory(std::move(directory)), m_deviceDirectory(IsDeviceDirectory(m_directory)), m_inotify(inotifyFd) {}
    ~DeviceWatcher() override { close(m_inotify); }

    std::vector<PortEvent> Present() override {
        std::vector<PortEvent> events;
        for (const std::string& name : Entries())
            Arrived(name, events);
        return events;
    }

    std::vector<PortEvent> Changes(int waitMs) override {
        std::vector<PortEvent> events;
        pollfd fds[2] = {{m_inotify, POLLIN, 0}, {StopWakeDescriptor(), POLLIN, 0}};
        if (StopRequested() || poll(fds, fds[1].fd >= 0 ? 2 : 1, waitMs) <= 0 || (fds[0].revents & POLLIN) == 0)
            return events;
        alignas(inotify_event) char buffer[16 * (sizeof(inotify_event) + NAME_MAX + 1)];
        ssize_t n;
        while ((n = read(m_inotify, buffer, sizeof buffer)) > 0) {
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
                if ((event->mask & IN_Q_OVERFLOW) != 0) {
                    Rescan(events); // events were lost: what is there now says what came and went
                    continue;
                }
                if (event->len == 0)
                    continue;
                const std::string name = event->name;
                if ((event->mask & (IN_DELETE | IN_MOVED_FROM)) != 0)
                    Left(name, events);
                else
                    Arrived(name, events);
            }
        }
        return events;
    }

private:
    std::string PathOf(const std::string& name) const { return m_directory + "/" + name; }

    std::set<std::string> Entries() const {
        std::set<std::string> names;
        if (DIR* dir = opendir(m_directory.c_str())) {
            while (const dirent* entry = readdir(dir))
                names.insert(entry->d_name);
            closedir(dir);
        }
        return names;
    }

    void Rescan(std::vector<PortEvent>& events) {
        const std::set<std::string> there = Entries();
        const std::set<std::string> before = m_present;
        for (const std::string& name : before)
            if (there.count(name) == 0)
                Left(name, events);
        for (const std::string& name : there)
            Arrived(name, events);
    }

    std::string PortNameOf(const std::string& path) const {
        const std::string com = port_names::ComNameOfDevicePath(path, port_names::DeviceDirectory());
        return com.empty() ? path : com;
    }

    void Arrived(const std::string& name, std::vector<PortEvent>& events) {
        if (!IsSerialName(name, m_deviceDirectory) || m_present.count(name) > 0)
            return;
        const std::string path = PathOf(name);
        struct stat st {};
        // Not yet readable and writable: udev is still setting it up, and IN_ATTRIB brings it back.
        if (stat(path.c_str(), &st) != 0 || !S_ISCHR(st.st_mode) || access(path.c_str(), R_OK | W_OK) != 0)
            return;
        m_present.insert(name);
        events.push_back({PortEvent::Kind::Appeared, PortNameOf(path), {}});
    }

    void Left(const std::string& name, std::vector<PortEvent>& events) {
        if (m_present.erase(name) > 0)
            events.push_back({PortEvent::Kind::Gone, PortNameOf(PathOf(name)), {}});
    }

    std::string m_directory;
    bool m_deviceDirectory;
    int m_inotify;
    std::set<std::string> m_present; // entry names
};

} // namespace

std::unique_ptr<PortSource> MakeDeviceWatcher(const std::string& directory, std::string& error) {
    const std::string dir = directory.empty() ? port_names::DeviceDirectory() : directory;
    const int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0) {
        error = std::string("cannot watch for new devices: ") + std::strerror(errno);
        return nullptr;
    }
    if (inotify_add_watch(fd, dir.c_str(), IN_CREATE | IN_MOVED_TO | IN_ATTRIB | IN_DELETE | IN_MOVED_FROM |
                                               IN_ONLYDIR) < 0) {
        error = "cannot watch " + dir + ": " + std::strerror(errno);
        close(fd);
        return nullptr;
    }
    return std::make_unique<DeviceWatcher>(dir, fd);
}

} // namespace provisioning
