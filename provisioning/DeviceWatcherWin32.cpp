#include "PortSource.h"

#include "PortNames.h"
#include "StopSignal.h"

#include <windows.h>

#include <algorithm>
#include <set>

namespace provisioning {

namespace {

// Windows tells of new COM ports only to windows with a message loop; a look twice a second is cheap
// (see ComPortThere) and quick enough for a person plugging modules in.
constexpr DWORD kPollMs = 500;
constexpr DWORD kSliceMs = 50;

// A port the system names (QueryDosDevice) is there. One it does not name is looked for by opening it
// without any access right, which reads and changes nothing on the line: that finds the ports whose
// names the system does not list, as Wine's COM links made after it started, and costs a failed open
// of a name that does not exist on a real system. A port another program holds refuses even that.
bool ComPortThere(const std::string& name) {
    char target[1024];
    if (QueryDosDeviceA(name.c_str(), target, sizeof target) != 0)
        return true;
    const HANDLE port = CreateFileA(("\\\\.\\" + name).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    if (port != INVALID_HANDLE_VALUE) {
        CloseHandle(port);
        return true;
    }
    const DWORD error = GetLastError();
    return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION || error == ERROR_BUSY;
}

std::set<std::string> ComPortsNow() {
    std::set<std::string> ports;
    for (const std::string& name : port_names::AllComNames())
        if (ComPortThere("COM" + name.substr(3))) // the system's own spelling
            ports.insert(name);
    return ports;
}

class ComPortWatcher : public PortSource {
public:
    std::vector<PortEvent> Present() override {
        m_present = ComPortsNow();
        m_lastLook = GetTickCount64();
        std::vector<PortEvent> events;
        for (const std::string& port : m_present)
            events.push_back({PortEvent::Kind::Appeared, port, {}, {}, {}});
        return events;
    }

    std::vector<PortEvent> Changes(int waitMs) override {
        const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(std::max(waitMs, 0));
        for (;;) {
            if (StopRequested())
                return {};
            const ULONGLONG now = GetTickCount64();
            if (now >= m_lastLook + kPollMs) {
                std::vector<PortEvent> events = Look();
                if (!events.empty())
                    return events;
            }
            if (now >= end)
                return {};
            if (WaitForStop(static_cast<int>(std::min<ULONGLONG>(kSliceMs, end - now))))
                return {};
        }
    }

private:
    std::vector<PortEvent> Look() {
        m_lastLook = GetTickCount64();
        const std::set<std::string> now = ComPortsNow();
        std::vector<PortEvent> events;
        for (const std::string& port : m_present)
            if (now.count(port) == 0)
                events.push_back({PortEvent::Kind::Gone, port, {}, {}, {}});
        for (const std::string& port : now)
            if (m_present.count(port) == 0)
                events.push_back({PortEvent::Kind::Appeared, port, {}, {}, {}});
        m_present = now;
        return events;
    }

    std::set<std::string> m_present;
    ULONGLONG m_lastLook = 0;
};

} // namespace

std::unique_ptr<PortSource> MakeDeviceWatcher(const std::string& directory, std::string& error) {
    if (!directory.empty()) {
        error = "--watch-dir is for device folders; on Windows the station watches the COM ports";
        return nullptr;
    }
    return std::make_unique<ComPortWatcher>();
}

} // namespace provisioning
