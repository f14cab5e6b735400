#include "BluetoothSource.h"

#include "Bluetooth.h"
#include "StopSignal.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace provisioning {

namespace {

// A module is taken once it is paired: a paired device stays known to the system whether it is in
// range or not, so pairing is the one moment a person at the bench makes it appear, and it is reported
// once for the station's life (a restart leaves the done ones out with --skip-done).
// BlueZ tells of each device added or paired on its own (bluetooth::WatchSerialDevices), on a thread of
// its link: the station's loop asks this source without waiting.
// Discovering, it takes the modules nobody paired instead: those a discovery finds after its start.
class BluetoothSource final : public PortSource {
public:
    BluetoothSource() = default;
    explicit BluetoothSource(std::string pattern) : m_discovering(true), m_pattern(std::move(pattern)) {}

    ~BluetoothSource() override {
        // Ended first, and without the lock its calls take: no call comes after this.
        m_watch.reset();
        m_discovery.reset();
    }

    bool Start(std::string& error) {
        serial_result::OpenFailure why;
        if (!Watch(why)) {
            error = serial_result::DescribeOpenFailure(why);
            return false;
        }
        if (!m_discovering)
            return true;
        // Without the lock: what the discovery finds is told on the link's thread, which the start of
        // the discovery waits on, and that telling takes the lock.
        m_discovery = bluetooth::KeepDiscovering(why);
        if (!m_discovery) {
            error = serial_result::DescribeOpenFailure(why);
            return false;
        }
        return true;
    }

    std::vector<PortEvent> Present() override {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_present;
    }

    std::vector<PortEvent> Changes(int waitMs) override {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_wake.wait_for(lock, std::chrono::milliseconds(waitMs),
                        [this] { return !m_pending.empty() || StopRequested(); });
        std::vector<PortEvent> changes;
        changes.swap(m_pending);
        return changes;
    }

private:
    bool Watch(serial_result::OpenFailure& why) {
        std::vector<bluetooth::SerialDevice> atStart;
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_watch = bluetooth::WatchSerialDevices([this](const bluetooth::SerialDevice& device) { Seen(device); },
                                                atStart, why);
        if (!m_watch)
            return false;
        for (const bluetooth::SerialDevice& device : atStart)
            if (m_discovering)
                m_seen.insert(device.address); // known before: left alone
            else if (device.paired && m_seen.insert(device.address).second)
                m_present.push_back(Appeared(device.address));
        return true;
    }

    static PortEvent Appeared(const std::string& address) {
        PortEvent event;
        event.kind = PortEvent::Kind::Appeared;
        event.port = std::string(bluetooth::kPortPrefix) + address;
        event.bluetooth = address;
        return event;
    }

    void Seen(const bluetooth::SerialDevice& device) {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (!Wanted(device) || m_seen.count(device.address) != 0)
            return;
        try {
            m_seen.insert(device.address);
            m_pending.push_back(Appeared(device.address));
        } catch (const std::bad_alloc&) {
            return; // taken at the device's next change
        }
        m_wake.notify_all();
    }

    // A name comes in a change of its own after the device: one that does not match yet may later.
    bool Wanted(const bluetooth::SerialDevice& device) const {
        if (!m_discovering)
            return device.paired;
        return !device.paired && (m_pattern.empty() || bluetooth::NameMatches(device.name, m_pattern));
    }

    const bool m_discovering = false;
    const std::string m_pattern;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::set<std::string> m_seen;
    std::vector<PortEvent> m_present;
    std::vector<PortEvent> m_pending;
    std::unique_ptr<bluetooth::DeviceWatch> m_watch;
    std::unique_ptr<bluetooth::DiscoveryLease> m_discovery;
};

} // namespace

std::unique_ptr<PortSource> MakeBluetoothSource(std::string& error) {
    if (!bluetooth::Available()) {
        error = "Bluetooth modules cannot be discovered on this platform";
        return nullptr;
    }
    auto source = std::make_unique<BluetoothSource>();
    if (!source->Start(error))
        return nullptr;
    return source;
}

std::unique_ptr<PortSource> MakeDiscoveringBluetoothSource(const std::string& pattern, std::string& error) {
    if (!bluetooth::Available()) {
        error = "Bluetooth modules cannot be discovered on this platform";
        return nullptr;
    }
    auto source = std::make_unique<BluetoothSource>(pattern);
    if (!source->Start(error))
        return nullptr;
    return source;
}

} // namespace provisioning
