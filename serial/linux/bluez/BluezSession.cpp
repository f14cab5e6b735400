// The BlueZ session and the connection to a device's Serial Port Profile through BlueZ's Profile API:
// our client profile is registered once, Device1.ConnectProfile asks for the link, and bluetoothd
// hands the connected socket to our Profile1.NewConnection before it answers ConnectProfile.
#include "BluezSession.h"

#include "BluezNames.h"

#include <algorithm>
#include <cctype>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

namespace bluez {

using serial_result::OpenFailure;
using serial_result::OpenReason;

namespace {

bool Fail(OpenFailure& why, OpenReason reason, std::string detail) {
    serial_result::Refuse(why, reason, std::string(), 0, std::move(detail));
    return false;
}

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// What one open waits for: the socket from NewConnection and the answer to ConnectProfile.
struct Waiter {
    int fd = -1;
    bool answered = false;
    std::string errorName; // empty when ConnectProfile succeeded
    std::string errorMessage;
};

} // namespace

class Session {
public:
    explicit Session(std::unique_ptr<sdbus::IConnection> connection) : m_connection(std::move(connection)) {
        m_profile = sdbus::createObject(*m_connection, kProfilePath);
        m_profile->registerMethod("NewConnection")
            .onInterface(kProfile)
            .implementedAs([this](const sdbus::ObjectPath& device, sdbus::UnixFd fd, const Properties&) {
                Deliver(device, std::move(fd));
            });
        m_profile->registerMethod("RequestDisconnection")
            .onInterface(kProfile)
            .implementedAs([](const sdbus::ObjectPath&) {});
        m_profile->registerMethod("Release").onInterface(kProfile).implementedAs([this] {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_registered = false;
        });
        m_profile->finishRegistration();
        m_connection->enterEventLoopAsync();
    }

    ~Session() {
        m_connection->leaveEventLoop();
        const std::lock_guard<std::mutex> lock(m_mutex);
        for (auto& [path, waiter] : m_waiters)
            if (waiter->fd >= 0)
                close(std::exchange(waiter->fd, -1));
    }

    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    sdbus::IConnection& Connection() { return *m_connection; }

    bool EnsureProfile(OpenFailure& why) {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            if (m_registered)
                return true;
        }
        try {
            const std::map<std::string, sdbus::Variant> options = {
                {"Role", sdbus::Variant(std::string("client"))},
                {"Name", sdbus::Variant(std::string(kProfileName))},
            };
            auto manager = sdbus::createProxy(*m_connection, kService, kManagerPath);
            manager->callMethod("RegisterProfile")
                .onInterface(kProfileManager)
                .withArguments(sdbus::ObjectPath(kProfilePath), std::string(kSerialPortUuid), options);
        } catch (const sdbus::Error& e) {
            // Another thread of ours registered it a moment ago.
            if (e.getName() != "org.bluez.Error.AlreadyExists")
                return Fail(why, OpenReason::kBluetoothUnavailable,
                            "BlueZ did not take our serial port profile: " + e.getName() + " " + e.getMessage());
        }
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_registered = true;
        return true;
    }

    int Connect(const std::string& devicePath, std::chrono::milliseconds bound, OpenFailure& why) {
        const auto waiter = std::make_shared<Waiter>();
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            // The port's lock keeps a second open of one device away; this is the last line.
            if (m_waiters.count(devicePath) != 0) {
                serial_result::Refuse(why, OpenReason::kBusy, std::string());
                return -1;
            }
            m_waiters[devicePath] = waiter;
        }
        // The proxy lives as long as the wait: its end would drop the answer still due.
        std::unique_ptr<sdbus::IProxy> device;
        sdbus::PendingAsyncCall call;
        try {
            device = sdbus::createProxy(*m_connection, kService, devicePath);
            call = device->callMethodAsync("ConnectProfile")
                       .onInterface(kDevice)
                       .withTimeout(bound)
                       .withArguments(std::string(kSerialPortUuid))
                       .uponReplyInvoke([this, waiter](const sdbus::Error* error) {
                           const std::lock_guard<std::mutex> lock(m_mutex);
                           waiter->answered = true;
                           if (error != nullptr) {
                               waiter->errorName = error->getName();
                               waiter->errorMessage = error->getMessage();
                           }
                           m_changed.notify_all();
                       });
        } catch (const sdbus::Error& e) {
            Forget(devicePath);
            Fail(why, OpenReason::kBluetoothUnavailable, e.getName() + " " + e.getMessage());
            return -1;
        }

        std::unique_lock<std::mutex> lock(m_mutex);
        const bool done = m_changed.wait_for(lock, bound, [&] {
            return (waiter->answered && !waiter->errorName.empty()) || (waiter->answered && waiter->fd >= 0);
        });
        m_waiters.erase(devicePath);
        const int fd = std::exchange(waiter->fd, -1);
        const Waiter outcome = *waiter;
        lock.unlock();
        if (done && outcome.errorName.empty())
            return fd;
        if (fd >= 0)
            close(fd);
        if (!done) {
            call.cancel();
            const long long ms = bound.count();
            Fail(why, OpenReason::kConnectionTimedOut,
                 "no connection within " + std::to_string(ms / 1000) +
                     (ms % 1000 == 0 ? "" : "." + std::to_string(ms % 1000 / 100)) + " s");
        } else {
            Classify(outcome, why);
        }
        return -1;
    }

private:
    void Deliver(const sdbus::ObjectPath& device, sdbus::UnixFd fd) {
        const std::lock_guard<std::mutex> lock(m_mutex);
        const auto found = m_waiters.find(device);
        // A connection no open of ours waits for (one that gave up already) is turned away; bluetoothd
        // then closes it.
        if (found == m_waiters.end() || found->second->fd >= 0)
            throw sdbus::Error("org.bluez.Error.Rejected", "no open waits for this device");
        const int owned = fd.release();
        fcntl(owned, F_SETFD, FD_CLOEXEC);
        found->second->fd = owned;
        m_changed.notify_all();
    }

    void Forget(const std::string& devicePath) {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_waiters.erase(devicePath);
    }

    static void Classify(const Waiter& outcome, OpenFailure& why) {
        const std::string said = outcome.errorName + ": " + outcome.errorMessage;
        const std::string text = Lower(said);
        if (outcome.errorName == "org.freedesktop.DBus.Error.NoReply" ||
            outcome.errorName == "org.freedesktop.DBus.Error.Timeout" || text.find("timeout") != std::string::npos ||
            text.find("timed out") != std::string::npos)
            Fail(why, OpenReason::kConnectionTimedOut, said);
        else if (outcome.errorName == "org.freedesktop.DBus.Error.UnknownObject" ||
                 outcome.errorName == "org.bluez.Error.DoesNotExist")
            Fail(why, OpenReason::kDeviceUnknown, said);
        else
            Fail(why, OpenReason::kConnectionRefused, said);
    }

    std::unique_ptr<sdbus::IConnection> m_connection;
    std::unique_ptr<sdbus::IObject> m_profile;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::map<std::string, std::shared_ptr<Waiter>> m_waiters; // by device object path
    bool m_registered = false;
};

Session* TheSession(OpenFailure& why) {
    static std::mutex mutex;
    static std::unique_ptr<Session> session;
    const std::lock_guard<std::mutex> lock(mutex);
    try {
        if (!session)
            session = std::make_unique<Session>(sdbus::createSystemBusConnection());
        bool running = false;
        auto bus = sdbus::createProxy(session->Connection(), kBusService, kBusPath);
        bus->callMethod("NameHasOwner").onInterface(kBusService).withArguments(std::string(kService)).storeResultsTo(running);
        if (!running) {
            Fail(why, OpenReason::kBluetoothUnavailable, "org.bluez is not on the system bus");
            return nullptr;
        }
    } catch (const std::exception& e) {
        Fail(why, OpenReason::kBluetoothUnavailable, std::string("no system bus: ") + e.what());
        return nullptr;
    }
    return session.get();
}

sdbus::IConnection& ConnectionOf(Session& session) {
    return session.Connection();
}

bool ManagedObjectsOf(Session& session, ManagedObjects& objects, OpenFailure& why) {
    try {
        auto root = sdbus::createProxy(session.Connection(), kService, kRootPath);
        root->callMethod("GetManagedObjects").onInterface(kObjectManager).storeResultsTo(objects);
        return true;
    } catch (const sdbus::Error& e) {
        return Fail(why, OpenReason::kBluetoothUnavailable, "BlueZ did not answer: " + e.getName() + " " + e.getMessage());
    }
}

const Properties* InterfaceOf(const Interfaces& object, const char* interface) {
    const auto found = object.find(interface);
    return found == object.end() ? nullptr : &found->second;
}

bool OffersSerialPort(const Properties& device) {
    const auto uuids = PropertyOr(device, "UUIDs", std::vector<std::string>{});
    return std::any_of(uuids.begin(), uuids.end(), [](const std::string& uuid) { return Lower(uuid) == kSerialPortUuid; });
}

bluetooth::SerialDevice SerialDeviceOf(const Properties& device) {
    bluetooth::SerialDevice found;
    found.address = PropertyOr(device, "Address", std::string());
    found.name = PropertyOr(device, "Alias", std::string());
    found.paired = PropertyOr(device, "Paired", false);
    found.trusted = PropertyOr(device, "Trusted", false);
    found.connected = PropertyOr(device, "Connected", false);
    if (device.count("RSSI") != 0 && device.at("RSSI").containsValueOfType<int16_t>())
        found.rssi = device.at("RSSI").get<int16_t>();
    return found;
}

int ConnectSerialPort(const bluetooth::Address& address, std::chrono::milliseconds bound, OpenFailure& why) {
    Session* session = TheSession(why);
    ManagedObjects objects;
    if (session == nullptr || !ManagedObjectsOf(*session, objects, why))
        return -1;

    const std::string pairHint = "pair it first: bluetoothctl pair " + address.Text();
    // BlueZ names a device's object after its address, below its adapter's.
    const std::string objectName = "/" + address.ObjectPathName();
    const auto named = [&](const std::string& path) {
        return path.size() > objectName.size() &&
               path.compare(path.size() - objectName.size(), objectName.size(), objectName) == 0;
    };
    const auto adapterName = [](const std::string& path) { return path.substr(path.rfind('/') + 1); };
    bool anyAdapter = false;
    const Properties* device = nullptr;
    std::string devicePath;
    for (const auto& [path, interfaces] : objects) {
        anyAdapter = anyAdapter || InterfaceOf(interfaces, kAdapter) != nullptr;
        const Properties* candidate = InterfaceOf(interfaces, kDevice);
        if (candidate != nullptr && named(path)) {
            device = candidate;
            devicePath = path;
        }
    }
    if (!anyAdapter)
        return Fail(why, OpenReason::kNoAdapter, "none is present"), -1;
    if (device == nullptr)
        return Fail(why, OpenReason::kDeviceUnknown, "BlueZ does not know it; " + pairHint), -1;
    const auto adapter = objects.find(PropertyOr(*device, "Adapter", sdbus::ObjectPath()));
    const Properties* adapterProperties = adapter == objects.end() ? nullptr : InterfaceOf(adapter->second, kAdapter);
    if (adapterProperties == nullptr)
        return Fail(why, OpenReason::kNoAdapter, "the device's adapter is gone"), -1;
    if (!PropertyOr(*adapterProperties, "Powered", false))
        return Fail(why, OpenReason::kNoAdapter,
                    adapterName(adapter->first) + " is powered off; turn it on: bluetoothctl power on"),
               -1;
    if (!PropertyOr(*device, "Paired", false))
        return Fail(why, OpenReason::kDeviceUnknown, "it is not paired; " + pairHint), -1;
    if (!OffersSerialPort(*device))
        return Fail(why, OpenReason::kNoSerialProfile, "the Serial Port Profile is not among its services"), -1;

    if (!session->EnsureProfile(why))
        return -1;
    return session->Connect(devicePath, bound, why);
}

} // namespace bluez
