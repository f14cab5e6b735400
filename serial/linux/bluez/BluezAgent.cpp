// The agent's answers run on the bus link's event loop and take only the table's lock; registering
// and unregistering run on the pairing threads under a lock of their own, so that one lease's
// UnregisterAgent never crosses another's RegisterAgent.
#include "BluezAgent.h"

#include "BluezNames.h"
#include "StopSignal.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <map>
#include <mutex>
#include <new>

namespace bluez {

using serial_result::OpenFailure;
using serial_result::OpenReason;

namespace {

struct AgentState {
    std::mutex registration; // the object, its registration and the owner it was made with
    std::mutex table;        // the PINs: the only lock the event loop takes
    std::map<std::string, std::string> pins; // by device object path
    std::atomic<Session*> session{nullptr}; // the process has one: set once, read by the event loop
    std::unique_ptr<sdbus::IObject> object;
    std::string registeredWith; // bluetoothd's unique name when it took the agent; empty otherwise
};

// Never destroyed: the event loop may still be answering a call when the process ends.
AgentState& State() {
    static AgentState* state = new AgentState;
    return *state;
}

[[noreturn]] void Reject(const char* why) {
    throw sdbus::Error(kRejected, why);
}

// The PIN for a request about device, which only the bluetoothd of the moment may make.
std::string PinFor(const sdbus::IObject& agent, const sdbus::ObjectPath& device) {
    AgentState& state = State();
    const sdbus::Message* message = agent.getCurrentlyProcessedMessage();
    Session* session = state.session.load();
    const std::string owner = session != nullptr ? BluezOwnerOf(*session) : std::string();
    if (message == nullptr || owner.empty() || message->getSender() != owner)
        Reject("this agent answers bluetoothd only");
    const std::lock_guard<std::mutex> lock(state.table);
    const auto found = state.pins.find(device);
    if (found == state.pins.end())
        Reject("this agent answers only for the devices it pairs");
    return found->second;
}

// A passkey is the PIN itself when it is one: up to six digits.
uint32_t PasskeyFor(const sdbus::IObject& agent, const sdbus::ObjectPath& device) {
    const std::string pin = PinFor(agent, device);
    if (pin.empty() || pin.size() > 6 ||
        !std::all_of(pin.begin(), pin.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }))
        Reject("the PIN is no passkey");
    return static_cast<uint32_t>(std::stoul(pin));
}

// The registration takes effect as the statement ends.
template <typename Handler>
void Serve(sdbus::IObject& agent, const char* method, Handler handler) {
    agent.registerMethod(method).onInterface(kAgent).implementedAs(std::move(handler));
}

// Each answer is given for the object that takes the call; the lambdas end with it.
std::unique_ptr<sdbus::IObject> MakeAgentObject(sdbus::IConnection& connection) {
    using Path = sdbus::ObjectPath;
    auto agent = sdbus::createObject(connection, kAgentPath);
    const sdbus::IObject* self = agent.get();
    Serve(*agent, "Release", [] {});
    Serve(*agent, "RequestPinCode", [self](const Path& d) { return PinFor(*self, d); });
    Serve(*agent, "DisplayPinCode", [self](const Path& d, const std::string&) { PinFor(*self, d); });
    Serve(*agent, "RequestPasskey", [self](const Path& d) { return PasskeyFor(*self, d); });
    Serve(*agent, "DisplayPasskey", [self](const Path& d, uint32_t, uint16_t) { PinFor(*self, d); });
    // The pairing is this program's own: the number shown is confirmed for the device it pairs.
    Serve(*agent, "RequestConfirmation", [self](const Path& d, uint32_t) { PinFor(*self, d); });
    Serve(*agent, "RequestAuthorization", [self](const Path& d) { PinFor(*self, d); });
    Serve(*agent, "AuthorizeService", [self](const Path& d, const std::string&) { PinFor(*self, d); });
    Serve(*agent, "Cancel", [] {});
    agent->finishRegistration();
    return agent;
}

// A call to the agent manager; false with the reason when it did not reply (allowed, an error BlueZ
// may give that means the same as a reply).
bool AskManager(sdbus::IProxy& manager, const sdbus::MethodCall& call, std::chrono::milliseconds bound, OnStop onStop,
                const char* allowed, const std::string& asked, OpenFailure& why) {
    const Answer answer = Ask(manager, call, bound, onStop);
    if (answer.kind == Answer::Kind::kFailed && answer.errorName == allowed)
        return true;
    return Refused(answer, asked, why);
}

bool Register(AgentState& state, Session& session, std::chrono::milliseconds bound, OpenFailure& why) {
    const std::string owner = BluezOwnerOf(session);
    if (state.object && state.session.load() == &session && !owner.empty() && state.registeredWith == owner)
        return true;
    try {
        state.session = &session;
        if (!state.object)
            state.object = MakeAgentObject(ConnectionOf(session));
        auto manager = sdbus::createProxy(ConnectionOf(session), kService, kManagerPath);
        auto call = manager->createMethodCall(kAgentManager, "RegisterAgent");
        call << sdbus::ObjectPath(kAgentPath) << std::string(kAgentCapability);
        if (!AskManager(*manager, call, bound, OnStop::kEnd, "org.bluez.Error.AlreadyExists",
                        "RegisterAgent (our pairing agent)", why))
            return false;
    } catch (const sdbus::Error& e) {
        serial_result::Refuse(why, OpenReason::kBluetoothUnavailable, std::string(), 0,
                              "BlueZ did not take our pairing agent: " + e.getName() + " " + e.getMessage());
        return false;
    }
    state.registeredWith = owner;
    return true;
}

// Told to the bluetoothd that took the agent only: a new one never knew it.
void Unregister(AgentState& state) {
    Session* session = state.session.load();
    if (session != nullptr && !state.registeredWith.empty() && state.registeredWith == BluezOwnerOf(*session)) {
        try {
            auto manager = sdbus::createProxy(ConnectionOf(*session), kService, kManagerPath);
            auto call = manager->createMethodCall(kAgentManager, "UnregisterAgent");
            call << sdbus::ObjectPath(kAgentPath);
            const bool stopped = StopRequested();
            OpenFailure ignored;
            AskManager(*manager, call, stopped ? CleanupBound() : AnswerBound(),
                       stopped ? OnStop::kWait : OnStop::kEnd, "org.bluez.Error.DoesNotExist", "UnregisterAgent",
                       ignored);
        } catch (const sdbus::Error&) {
        }
    }
    state.registeredWith.clear();
    state.object.reset();
}

} // namespace

std::unique_ptr<AgentLease> AgentLease::Take(Session& session, const std::string& devicePath, const std::string& pin,
                                             std::chrono::milliseconds bound, OpenFailure& why) {
    AgentState& state = State();
    const std::lock_guard<std::mutex> registration(state.registration);
    {
        const std::lock_guard<std::mutex> lock(state.table);
        // Two pairings of one device at once would share one PIN: the second is turned away.
        if (!state.pins.emplace(devicePath, pin).second) {
            serial_result::Refuse(why, OpenReason::kBusy, std::string(), 0, "another pairing of it is under way");
            return nullptr;
        }
    }
    if (Register(state, session, bound, why)) {
        if (AgentLease* lease = new (std::nothrow) AgentLease(devicePath))
            return std::unique_ptr<AgentLease>(lease);
        serial_result::Refuse(why, OpenReason::kResourceLimit, std::string(), 0, "no memory for the pairing agent");
    }
    bool last = false;
    {
        const std::lock_guard<std::mutex> lock(state.table);
        state.pins.erase(devicePath);
        last = state.pins.empty();
    }
    if (last)
        Unregister(state);
    return nullptr;
}

AgentLease::~AgentLease() {
    AgentState& state = State();
    const std::lock_guard<std::mutex> registration(state.registration);
    bool last = false;
    {
        const std::lock_guard<std::mutex> lock(state.table);
        state.pins.erase(m_devicePath);
        last = state.pins.empty();
    }
    if (last)
        Unregister(state);
}

} // namespace bluez
