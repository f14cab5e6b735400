#include "BluetoothSource.h"

#include "Bluetooth.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>
#include <vector>

namespace zk405_cli {

namespace {

using port_watcher::PortEvent;

// A module is taken once it is paired: a paired device stays known to the system whether it is in
// range or not, so pairing is the one moment a person at the bench makes it appear, and it is reported
// once for the station's life (a restart leaves the done ones out with --skip-done).
// BlueZ is asked on a thread of its own, twice a second: its answer may take a while, and the station's
// loop asks this source without waiting.
class BluetoothSource final : public port_watcher::PortSource {
public:
    explicit BluetoothSource(std::vector<bluetooth::SerialDevice> atStart) {
        for (const bluetooth::SerialDevice& device : atStart)
            if (device.paired && m_seen.insert(device.address).second)
                m_present.push_back(Appeared(device.address));
    }

    ~BluetoothSource() override {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        if (m_thread.joinable())
            m_thread.join();
    }

    bool Start(std::string& error) {
        try {
            m_thread = std::thread([this] { Watch(); });
        } catch (const std::system_error& e) {
            error = std::string("cannot watch for Bluetooth modules: ") + e.what();
            return false;
        }
        return true;
    }

    std::vector<PortEvent> Present() override { return m_present; }

    std::vector<PortEvent> Changes(int waitMs) override {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_wake.wait_for(lock, std::chrono::milliseconds(waitMs),
                        [this] { return !m_pending.empty() || port_watcher::StopSignalNumber() != 0; });
        std::vector<PortEvent> changes;
        changes.swap(m_pending);
        return changes;
    }

private:
    static PortEvent Appeared(const std::string& address) {
        PortEvent event;
        event.kind = PortEvent::Kind::Appeared;
        event.port = std::string(bluetooth::kPortPrefix) + address;
        event.bluetooth = address;
        return event;
    }

    void Watch() {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!m_stop) {
            lock.unlock();
            std::vector<bluetooth::SerialDevice> devices;
            serial_result::OpenFailure why;
            // A round BlueZ does not answer (restarting, say) is simply asked again.
            const bool listed = bluetooth::ListSerialDevices(std::chrono::seconds(0), {}, devices, why);
            lock.lock();
            if (listed)
                for (const bluetooth::SerialDevice& device : devices)
                    if (device.paired && m_seen.insert(device.address).second)
                        m_pending.push_back(Appeared(device.address));
            if (!m_pending.empty())
                m_wake.notify_all();
            m_wake.wait_for(lock, std::chrono::milliseconds(kPollMs), [this] { return m_stop; });
        }
    }

    static constexpr int kPollMs = 500;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    std::set<std::string> m_seen;
    std::vector<PortEvent> m_present;
    std::vector<PortEvent> m_pending;
    std::thread m_thread;
};

} // namespace

std::unique_ptr<port_watcher::PortSource> MakeBluetoothSource(std::string& error) {
    if (!bluetooth::Available()) {
        error = "Bluetooth modules cannot be discovered on this platform";
        return nullptr;
    }
    std::vector<bluetooth::SerialDevice> devices;
    serial_result::OpenFailure why;
    if (!bluetooth::ListSerialDevices(std::chrono::seconds(0), {}, devices, why)) {
        error = serial_result::DescribeOpenFailure(why);
        return nullptr;
    }
    auto source = std::make_unique<BluetoothSource>(std::move(devices));
    if (!source->Start(error))
        return nullptr;
    return source;
}

} // namespace zk405_cli
