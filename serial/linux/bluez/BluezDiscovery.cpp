#include "BluezDiscovery.h"

#include "Bluetooth.h"
#include "BluetoothAddress.h"
#include "BluezCall.h"
#include "BluezFind.h"
#include "BluezNames.h"
#include "StopSignal.h"

#include <mutex>

namespace bluez {

using serial_result::OpenFailure;
using serial_result::OpenReason;

namespace {

// A call to an adapter whose refusal (a discovery of another program under way, say) still lets the
// discovery go on; false, with the reason, when BlueZ did not answer it or a stop came.
bool AskAdapter(sdbus::IProxy& adapter, sdbus::MethodCall& call, const char* asked, OpenFailure& why) {
    const Answer answer = Ask(adapter, call, AnswerBound());
    return answer.kind == Answer::Kind::kReplied || answer.kind == Answer::Kind::kFailed ||
           Refused(answer, asked, why);
}

// The process's one discovery, and how many hold it.
struct Shared {
    std::mutex lock;
    size_t holders = 0;
    std::vector<std::unique_ptr<sdbus::IProxy>> started;
};

Shared& TheDiscovery() {
    static Shared shared;
    return shared;
}

class Lease final : public bluetooth::DiscoveryLease {
public:
    ~Lease() override {
        Shared& shared = TheDiscovery();
        const std::lock_guard<std::mutex> lock(shared.lock);
        if (--shared.holders == 0)
            StopDiscoveries(shared.started);
    }
};

} // namespace

bool PoweredAdapters(const ManagedObjects& objects, std::vector<std::string>& adapters, OpenFailure& why) {
    bool any = false;
    for (const auto& [path, interfaces] : objects) {
        const Properties* adapter = InterfaceOf(interfaces, kAdapter);
        if (adapter == nullptr)
            continue;
        any = true;
        if (PropertyOr(*adapter, "Powered", false))
            adapters.push_back(path);
    }
    if (!adapters.empty())
        return true;
    serial_result::Refuse(why, OpenReason::kNoAdapter, std::string(), 0,
                          any ? "every adapter is powered off; turn one on: bluetoothctl power on" : "none is present");
    return false;
}

bool StartDiscoveries(Session& session, const std::vector<std::string>& adapters,
                      std::vector<std::unique_ptr<sdbus::IProxy>>& started, OpenFailure& why) {
    try {
        for (const std::string& path : adapters) {
            auto adapter = sdbus::createProxy(ConnectionOf(session), kService, path);
            const std::map<std::string, sdbus::Variant> filter = {{"Transport", sdbus::Variant(std::string("bredr"))}};
            auto setFilter = adapter->createMethodCall(kAdapter, "SetDiscoveryFilter");
            setFilter << filter;
            auto start = adapter->createMethodCall(kAdapter, "StartDiscovery");
            const bool asked = AskAdapter(*adapter, setFilter, "SetDiscoveryFilter", why) &&
                               AskAdapter(*adapter, start, "StartDiscovery", why);
            // One that did not answer may have begun all the same: it is asked to end too.
            started.push_back(std::move(adapter));
            if (!asked)
                return false;
        }
    } catch (const sdbus::Error& e) {
        serial_result::Refuse(why, OpenReason::kBluetoothUnavailable, std::string(), 0, e.getName() + " " + e.getMessage());
        return false;
    }
    return true;
}

void StopDiscoveries(std::vector<std::unique_ptr<sdbus::IProxy>>& started) {
    const bool stopped = StopRequested();
    const auto bound = stopped ? CleanupBound() : AnswerBound();
    for (auto& adapter : started) {
        auto call = adapter->createMethodCall(kAdapter, "StopDiscovery");
        Ask(*adapter, call, bound, stopped ? OnStop::kWait : OnStop::kEnd);
    }
    started.clear();
}

} // namespace bluez

namespace bluetooth {

using serial_result::OpenFailure;
using serial_result::OpenReason;

std::unique_ptr<DiscoveryLease> KeepDiscovering(OpenFailure& why) {
    bluez::Shared& shared = bluez::TheDiscovery();
    const std::lock_guard<std::mutex> lock(shared.lock);
    if (shared.holders == 0) {
        bluez::Session* session = bluez::TheSession(why);
        bluez::ManagedObjects objects;
        std::vector<std::string> adapters;
        if (session == nullptr || !bluez::ManagedObjectsOf(*session, objects, why) ||
            !bluez::PoweredAdapters(objects, adapters, why))
            return nullptr;
        if (!bluez::StartDiscoveries(*session, adapters, shared.started, why)) {
            bluez::StopDiscoveries(shared.started);
            return nullptr;
        }
    }
    ++shared.holders;
    return std::make_unique<bluez::Lease>();
}

// BlueZ forgets a device with its bond: it is known again, unpaired, once a discovery finds it. Asked
// of BlueZ itself rather than of the signals, which may not yet have told of the removal.
bool FindAgain(const std::string& address, std::chrono::milliseconds timeout, OpenFailure& why) {
    const std::optional<Address> parsed = Address::Parse(address);
    const std::unique_ptr<DiscoveryLease> discovery = KeepDiscovering(why);
    if (!parsed || !discovery)
        return false;
    bluez::Session* session = bluez::TheSession(why);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        bluez::ManagedObjects objects;
        if (session == nullptr || !bluez::ManagedObjectsOf(*session, objects, why))
            return false;
        const bluez::Found found = bluez::FindDevice(objects, *parsed);
        if (found.device != nullptr && !bluez::PropertyOr(*found.device, "Paired", false))
            return true;
        if (StopRequested()) {
            serial_result::Refuse(why, OpenReason::kStopped, std::string(), 0,
                                  "by signal " + std::to_string(StopSignalNumber()) + " while finding it again");
            return false;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            serial_result::Refuse(why, OpenReason::kDeviceUnknown, std::string(), 0,
                                  "no discovery found it again within " + bluez::SecondsText(timeout));
            return false;
        }
        WaitForStop(100);
    }
}

} // namespace bluetooth
