#include "PortSource.h"

#include "FolderWatchLinux.h"
#include "HostFacts.h"
#include "PortNames.h"

#include <climits>
#include <dirent.h>
#include <map>
#include <set>
#include <string_view>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
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

// A link in a folder may point anywhere. A character device the system files under a class other
// than tty (/dev/null, a watchdog, a disk's generic node) is no serial line, and merely opening one
// may do something of its own; nor are the consoles and the controlling terminal (major 5: /dev/tty,
// /dev/console, /dev/ptmx; major 4 below 64: tty0 to tty63) a module's line. Pseudo-terminals have
// no class at all and are taken.
bool MayBeSerialLine(dev_t device) {
    if (major(device) == 5 || (major(device) == 4 && minor(device) < 64))
        return false;
    const std::string subsystem =
        "/sys/dev/char/" + std::to_string(major(device)) + ":" + std::to_string(minor(device)) + "/subsystem";
    char target[PATH_MAX];
    const ssize_t n = readlink(subsystem.c_str(), target, sizeof target);
    if (n <= 0)
        return true;
    const std::string_view link(target, static_cast<size_t>(n));
    return link.substr(link.rfind('/') + 1) == "tty";
}

// Each name is reported with the device it reaches, so that the station counts devices: a link made
// under a passing name and renamed (`ln -s`, then `mv`; `ln -sf`; udev) is one module. A rename in the
// folder is told as the new name's appearance before the old one's going, so that its device is never
// seen to leave; a name replaced by a rename over it is looked at again.
class DeviceWatcher : public PortSource {
public:
    DeviceWatcher(std::string directory, std::unique_ptr<FolderWatch> watch)
        : m_directory(std::move(directory)), m_deviceDirectory(IsDeviceDirectory(m_directory)),
          m_watch(std::move(watch)) {}

    std::vector<PortEvent> Present() override {
        std::vector<PortEvent> events;
        for (const std::string& name : Entries())
            Arrived(name, false, events);
        return events;
    }

    std::vector<PortEvent> Changes(int waitMs) override {
        std::vector<PortEvent> events;
        for (const FolderEvent& news : m_watch->Wait(waitMs))
            Handle(news, events);
        EndMoves(events); // moved out of the folder
        return events;
    }

private:
    void Handle(const FolderEvent& news, std::vector<PortEvent>& events) {
        switch (news.kind) {
        case FolderEvent::Kind::Entry:
            return Entry(news, events);
        case FolderEvent::Kind::Overflow:
            return Rescan(events); // events were lost: what is there now says what came and went
        case FolderEvent::Kind::Lost:
            // The names are kept: a folder made again with the same links in it brings no new module.
            events.push_back({PortEvent::Kind::Lost, m_directory, {}, {}, news.message});
            return;
        case FolderEvent::Kind::Back:
            EndMoves(events);
            Rescan(events);
            events.push_back({PortEvent::Kind::Back, m_directory, {}, {}, {}});
            return;
        }
    }

    void Entry(const FolderEvent& news, std::vector<PortEvent>& events) {
        if ((news.mask & IN_MOVED_FROM) != 0) {
            if (m_present.erase(news.name) > 0)
                m_moving[news.cookie] = news.name;
            return;
        }
        EndMove(news.name, events); // a name moved away and made again
        if ((news.mask & IN_DELETE) != 0)
            return Left(news.name, events);
        // A rename over a name replaces what it reached.
        Arrived(news.name, (news.mask & IN_MOVED_TO) != 0, events);
        const auto from = m_moving.find(news.cookie);
        if ((news.mask & IN_MOVED_TO) != 0 && from != m_moving.end()) {
            events.push_back(GoneEvent(from->second));
            m_moving.erase(from);
        }
    }

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
        const std::map<std::string, std::string> before = m_present;
        for (const auto& [name, device] : before)
            if (there.count(name) == 0)
                Left(name, events);
        for (const std::string& name : there)
            Arrived(name, true, events);
    }

    std::string PortNameOf(const std::string& path) const {
        const std::string com = port_names::ComNameOfDevicePath(path, port_names::DeviceDirectory());
        return com.empty() ? path : com;
    }

    // The device a name reaches, once it can be opened for reading and writing; "" before.
    std::string DeviceReached(const std::string& name) const {
        const std::string path = PathOf(name);
        struct stat st {};
        // Not yet readable and writable: udev is still setting it up, and IN_ATTRIB brings it back.
        if (stat(path.c_str(), &st) != 0 || !S_ISCHR(st.st_mode) || !MayBeSerialLine(st.st_rdev) ||
            access(path.c_str(), R_OK | W_OK) != 0)
            return {};
        return host_facts::DeviceIdentity(path);
    }

    // again: a name already known is looked at anew (replaced by a rename, or after lost news).
    void Arrived(const std::string& name, bool again, std::vector<PortEvent>& events) {
        if (!IsSerialName(name, m_deviceDirectory))
            return;
        const auto known = m_present.find(name);
        if (known != m_present.end() && !again)
            return;
        const std::string device = DeviceReached(name);
        if (known != m_present.end()) {
            if (device == known->second)
                return;
            Left(name, events);
        }
        if (device.empty())
            return;
        m_present[name] = device;
        events.push_back({PortEvent::Kind::Appeared, PortNameOf(PathOf(name)), {}, device, {}});
    }

    PortEvent GoneEvent(const std::string& name) const {
        return {PortEvent::Kind::Gone, PortNameOf(PathOf(name)), {}, {}, {}};
    }

    void Left(const std::string& name, std::vector<PortEvent>& events) {
        if (m_present.erase(name) > 0)
            events.push_back(GoneEvent(name));
    }

    void EndMove(const std::string& name, std::vector<PortEvent>& events) {
        for (auto it = m_moving.begin(); it != m_moving.end();)
            if (it->second == name) {
                events.push_back(GoneEvent(name));
                it = m_moving.erase(it);
            } else {
                ++it;
            }
    }

    void EndMoves(std::vector<PortEvent>& events) {
        for (const auto& [cookie, name] : m_moving)
            events.push_back(GoneEvent(name));
        m_moving.clear();
    }

    std::string m_directory;
    bool m_deviceDirectory;
    std::unique_ptr<FolderWatch> m_watch;
    std::map<std::string, std::string> m_present; // entry names and the devices they reach
    std::map<uint32_t, std::string> m_moving;     // names moved from, by cookie, until the move's other half
};

} // namespace

std::unique_ptr<PortSource> MakeDeviceWatcher(const std::string& directory, std::string& error) {
    const std::string dir = directory.empty() ? port_names::DeviceDirectory() : directory;
    std::unique_ptr<FolderWatch> watch = FolderWatch::Open(dir, error);
    if (!watch)
        return nullptr;
    return std::make_unique<DeviceWatcher>(dir, std::move(watch));
}

} // namespace provisioning
