// The BlueZ session and the connection to a device's Serial Port Profile through BlueZ's Profile API:
// our client profile is registered with the bluetoothd of the moment, Device1.ConnectProfile asks for
// the link, and bluetoothd hands the connected socket to our Profile1.NewConnection before it answers
// ConnectProfile. Every wait is bounded and ends at a stop signal.
#include "BluezSession.h"

#include "BluezNames.h"
#include "FdGuard.h"
#include "StopSignal.h"

#include <algorithm>
#include <cctype>
#include <mutex>
#include <sys/eventfd.h>
#include <unistd.h>

namespace bluez {

using serial_result::OpenFailure;
using serial_result::OpenReason;

namespace {

using Clock = std::chrono::steady_clock;

bool Fail(OpenFailure& why, OpenReason reason, std::string detail) {
    serial_result::Refuse(why, reason, std::string(), 0, std::move(detail));
    return false;
}

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// What one open waits for: the socket from NewConnection and the answer to ConnectProfile, with the
// eventfd its wait sleeps on.
struct Waiter {
    serial_os::FdGuard wake{eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)};
    int fd = -1;
    bool answered = false;
    std::string errorName; // empty when ConnectProfile succeeded
    std::string errorMessage;

    void Notify() const {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t ignored = write(wake.get(), &one, sizeof one);
    }
};

} // namespace

class Session {
public:
    explicit Session(std::unique_ptr<sdbus::IConnection> connection) : m_connection(std::move(connection)) {
        m_profile = sdbus::createObject(*m_connection, kProfilePath);
        m_profile->registerMethod("NewConnection")
            .onInterface(kProfile)
            .implementedAs([this](const sdbus::ObjectPath& device, sdbus::UnixFd fd, const Properties&) {
                Deliver(Sender(), device, std::move(fd));
            });
        m_profile->registerMethod("RequestDisconnection")
            .onInterface(kProfile)
            .implementedAs([](const sdbus::ObjectPath&) {});
        m_profile->registerMethod("Release").onInterface(kProfile).implementedAs([this] {
            const std::string sender = Sender();
            const std::lock_guard<std::mutex> lock(m_mutex);
            if (sender == m_owner)
                m_registered = false;
        });
        m_profile->finishRegistration();
        // Followed before the owner is first asked for, so that no change falls between the two.
        m_ownerSignals = m_connection->addMatch(OwnerChangedRule(), [this](sdbus::Message& signal) { OwnerChanged(signal); });
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

    std::string Owner() {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_owner;
    }

    // Who owns org.bluez now, asked of the bus; false with the reason when nobody does.
    bool Follow(OpenFailure& why) {
        unsigned changesBefore = 0;
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            changesBefore = m_ownerChanges;
        }
        std::string owner;
        try {
            auto bus = sdbus::createProxy(*m_connection, kBusService, kBusPath);
            auto call = bus->createMethodCall(kBusService, "GetNameOwner");
            call << std::string(kService);
            Answer answer = Ask(*bus, call, AnswerBound());
            if (answer.kind == Answer::Kind::kFailed && answer.errorName == "org.freedesktop.DBus.Error.NameHasNoOwner")
                return Fail(why, OpenReason::kBluetoothUnavailable, "org.bluez is not on the system bus");
            if (!Refused(answer, "the system bus's GetNameOwner", why))
                return false;
            *answer.reply >> owner;
        } catch (const sdbus::Error& e) {
            return Fail(why, OpenReason::kBluetoothUnavailable, "the system bus: " + e.getName() + " " + e.getMessage());
        }
        const std::lock_guard<std::mutex> lock(m_mutex);
        // A change the signal told of while the bus answered is newer than the answer.
        if (m_ownerChanges == changesBefore && owner != m_owner) {
            m_owner = owner;
            m_registered = false;
        }
        return true;
    }

    bool EnsureProfile(Clock::time_point deadline, OpenFailure& why) {
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
            auto call = manager->createMethodCall(kProfileManager, "RegisterProfile");
            call << sdbus::ObjectPath(kProfilePath) << std::string(kSerialPortUuid) << options;
            const Answer answer = Ask(*manager, call, BoundWithin(deadline));
            // Another thread of ours registered it a moment ago.
            const bool already = answer.kind == Answer::Kind::kFailed && answer.errorName == "org.bluez.Error.AlreadyExists";
            if (!already && !Refused(answer, "RegisterProfile (our serial port profile)", why))
                return false;
        } catch (const sdbus::Error& e) {
            return Fail(why, OpenReason::kBluetoothUnavailable,
                        "BlueZ did not take our serial port profile: " + e.getName() + " " + e.getMessage());
        }
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_registered = true;
        return true;
    }

    // whole is the open's bound, which the deadline ends, for the message.
    int Connect(const std::string& devicePath, Clock::time_point deadline, std::chrono::milliseconds whole,
                OpenFailure& why) {
        const auto waiter = std::make_shared<Waiter>();
        if (waiter->wake.get() < 0)
            return Fail(why, OpenReason::kResourceLimit, "no descriptor left to wait for BlueZ on"), -1;
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            // The port's lock keeps a second open of one device away; this is the last line.
            if (m_waiters.count(devicePath) != 0) {
                serial_result::Refuse(why, OpenReason::kBusy, std::string());
                return -1;
            }
            m_waiters[devicePath] = waiter;
        }
        const auto bound =
            std::max(std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()), std::chrono::milliseconds(1));
        // The proxy lives as long as the wait: its end would drop the answer still due.
        std::unique_ptr<sdbus::IProxy> device;
        sdbus::PendingAsyncCall call;
        try {
            device = sdbus::createProxy(*m_connection, kService, devicePath);
            call = AskToConnect(*device, bound, waiter);
        } catch (const sdbus::Error& e) {
            Forget(devicePath);
            Fail(why, OpenReason::kBluetoothUnavailable, e.getName() + " " + e.getMessage());
            return -1;
        }

        const Woken woken = WaitUntil(waiter->wake.get(), deadline, OnStop::kEnd, [&] {
            const std::lock_guard<std::mutex> lock(m_mutex);
            return waiter->answered && (!waiter->errorName.empty() || waiter->fd >= 0);
        });
        std::unique_lock<std::mutex> lock(m_mutex);
        m_waiters.erase(devicePath);
        serial_os::FdGuard fd(std::exchange(waiter->fd, -1));
        const std::string errorName = waiter->errorName;
        const std::string errorMessage = waiter->errorMessage;
        lock.unlock();
        if (woken == Woken::kReady && errorName.empty())
            return fd.release();
        if (woken != Woken::kReady) {
            call.cancel();
            Disconnect(*device);
            if (woken == Woken::kStopped)
                Fail(why, OpenReason::kStopped,
                     "by signal " + std::to_string(StopSignalNumber()) + " while BlueZ made the connection");
            else
                Fail(why, OpenReason::kConnectionTimedOut, "no connection within " + SecondsText(whole));
            return -1;
        }
        Classify(errorName, errorMessage, why);
        return -1;
    }

private:
    sdbus::PendingAsyncCall AskToConnect(sdbus::IProxy& device, std::chrono::milliseconds bound,
                                         const std::shared_ptr<Waiter>& waiter) {
        return device.callMethodAsync("ConnectProfile")
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
                waiter->Notify();
            });
    }

    std::string Sender() const {
        const sdbus::Message* message = m_profile->getCurrentlyProcessedMessage();
        return message == nullptr ? std::string() : message->getSender();
    }

    void OwnerChanged(sdbus::Message& signal) {
        const std::optional<std::string> owner = BluezOwnerChange(signal);
        if (!owner)
            return;
        const std::string& after = *owner;
        const std::lock_guard<std::mutex> lock(m_mutex);
        ++m_ownerChanges;
        m_owner = after;
        // A new bluetoothd knows nothing of the old one's profiles.
        m_registered = false;
    }

    void Deliver(const std::string& sender, const sdbus::ObjectPath& device, sdbus::UnixFd fd) {
        const std::lock_guard<std::mutex> lock(m_mutex);
        // Only bluetoothd hands out connections: a socket from another peer of the bus is not the
        // module, and it is closed with fd as the call is refused.
        if (m_owner.empty() || sender != m_owner)
            throw sdbus::Error("org.bluez.Error.Rejected", "connections are taken from bluetoothd only");
        const auto found = m_waiters.find(device);
        // A connection no open of ours waits for (one that gave up already) is turned away; bluetoothd
        // then closes it.
        if (found == m_waiters.end() || found->second->fd >= 0)
            throw sdbus::Error("org.bluez.Error.Rejected", "no open waits for this device");
        const int owned = fd.release();
        fcntl(owned, F_SETFD, FD_CLOEXEC);
        found->second->fd = owned;
        found->second->Notify();
    }

    // Asks bluetoothd to give up a connection still being made, so that none is left half-made.
    static void Disconnect(sdbus::IProxy& device) {
        try {
            auto call = device.createMethodCall(kDevice, "DisconnectProfile");
            call << std::string(kSerialPortUuid);
            Ask(device, call, CleanupBound(), OnStop::kWait);
        } catch (const sdbus::Error&) {
        }
    }

    void Forget(const std::string& devicePath) {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_waiters.erase(devicePath);
    }

    void Classify(const std::string& errorName, const std::string& errorMessage, OpenFailure& why) {
        const std::string said = errorName + ": " + errorMessage;
        const std::string text = Lower(said);
        if (text.find("profile-unavailable") != std::string::npos) {
            // bluetoothd does not know our profile (it forgot it without telling): registered again
            // at the next open.
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_registered = false;
        }
        if (errorName == "org.freedesktop.DBus.Error.NoReply" || errorName == "org.freedesktop.DBus.Error.Timeout" ||
            text.find("timeout") != std::string::npos || text.find("timed out") != std::string::npos)
            Fail(why, OpenReason::kConnectionTimedOut, said);
        else if (errorName == "org.freedesktop.DBus.Error.UnknownObject" || errorName == "org.bluez.Error.DoesNotExist")
            Fail(why, OpenReason::kDeviceUnknown, said);
        else
            Fail(why, OpenReason::kConnectionRefused, said);
    }

    std::unique_ptr<sdbus::IConnection> m_connection;
    std::unique_ptr<sdbus::IObject> m_profile;
    sdbus::Slot m_ownerSignals;
    std::mutex m_mutex;
    std::map<std::string, std::shared_ptr<Waiter>> m_waiters; // by device object path
    std::string m_owner;         // org.bluez's unique name on the bus; empty while nobody owns it
    unsigned m_ownerChanges = 0; // NameOwnerChanged signals seen
    bool m_registered = false;   // with the bluetoothd that is m_owner
};

std::string OwnerChangedRule() {
    return std::string("type='signal',sender='") + kBusService + "',path='" + kBusPath + "',interface='" +
           kBusService + "',member='NameOwnerChanged',arg0='" + kService + "'";
}

Session* TheSession(OpenFailure& why) {
    static std::mutex mutex;
    static std::unique_ptr<Session> session;
    const std::lock_guard<std::mutex> lock(mutex);
    try {
        if (!session)
            session = std::make_unique<Session>(sdbus::createSystemBusConnection());
    } catch (const std::exception& e) {
        Fail(why, OpenReason::kBluetoothUnavailable, std::string("no system bus: ") + e.what());
        return nullptr;
    }
    return session->Follow(why) ? session.get() : nullptr;
}

sdbus::IConnection& ConnectionOf(Session& session) {
    return session.Connection();
}

std::string BluezOwnerOf(Session& session) {
    return session.Owner();
}

bool EnsureProfile(Session& session, Clock::time_point deadline, OpenFailure& why) {
    return session.EnsureProfile(deadline, why);
}

int ConnectProfile(Session& session, const std::string& devicePath, Clock::time_point deadline,
                   std::chrono::milliseconds whole, OpenFailure& why) {
    return session.Connect(devicePath, deadline, whole, why);
}

bool ManagedObjectsOf(Session& session, ManagedObjects& objects, OpenFailure& why, std::chrono::milliseconds bound) {
    try {
        auto root = sdbus::createProxy(session.Connection(), kService, kRootPath);
        auto call = root->createMethodCall(kObjectManager, "GetManagedObjects");
        Answer answer = Ask(*root, call, bound);
        if (!Refused(answer, "GetManagedObjects", why))
            return false;
        *answer.reply >> objects;
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
    found.bonded = PropertyOr(device, "Bonded", found.paired);
    found.trusted = PropertyOr(device, "Trusted", false);
    found.connected = PropertyOr(device, "Connected", false);
    if (device.count("RSSI") != 0 && device.at("RSSI").containsValueOfType<int16_t>())
        found.rssi = device.at("RSSI").get<int16_t>();
    return found;
}

} // namespace bluez
