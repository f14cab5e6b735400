// Pairing a module through BlueZ with the PIN it has now, and removing the bond again: the device
// looked up in what BlueZ knows, Device1.Pair asked with our agent answering for it alone, a time-out
// or a stop cancelling the pairing, and the bond marked trusted. Every wait is bounded.
#include "Bluetooth.h"

#include "BluetoothAddress.h"
#include "BluezAgent.h"
#include "BluezFind.h"
#include "BluezNames.h"
#include "BluezSession.h"
#include "StopSignal.h"

#include <algorithm>

namespace bluetooth {

using serial_result::OpenFailure;
using serial_result::OpenReason;
using Kind = PairOutcome::Kind;

namespace {

using Clock = std::chrono::steady_clock;

PairOutcome Outcome(Kind kind, std::string reason) {
    PairOutcome outcome;
    outcome.kind = kind;
    outcome.reason = std::move(reason);
    return outcome;
}

// A failure in the open's words, with the kind that tells it for a pairing.
PairOutcome FromFailure(const OpenFailure& why) {
    PairOutcome outcome;
    switch (why.reason) {
    case OpenReason::kNoAdapter:
        outcome.kind = Kind::kNoAdapter;
        break;
    case OpenReason::kStopped:
        outcome.kind = Kind::kStopped;
        break;
    default:
        outcome.kind = Kind::kUnavailable;
        break;
    }
    outcome.failure = why;
    outcome.reason = serial_result::DescribeOpenFailure(why);
    return outcome;
}

PairOutcome Failed(OpenReason reason, std::string detail) {
    OpenFailure why;
    serial_result::Refuse(why, reason, std::string(), 0, std::move(detail));
    return FromFailure(why);
}

// What BlueZ knows of the device, looked up once; the properties point into objects.
struct Located {
    bluez::Session* session = nullptr;
    bluez::ManagedObjects objects;
    bluez::Found found;
};

// False with the outcome when the device cannot be asked: no BlueZ, no adapter, not known, and (when
// powered counts) its adapter off.
bool Locate(const std::string& address, bool powered, Located& located, PairOutcome& outcome) {
    const std::optional<Address> parsed = Address::Parse(address);
    if (!parsed) {
        outcome = Outcome(Kind::kUnknownDevice, "\"" + address + "\" is no Bluetooth address");
        return false;
    }
    OpenFailure why;
    located.session = bluez::TheSession(why);
    if (located.session == nullptr || !bluez::ManagedObjectsOf(*located.session, located.objects, why)) {
        outcome = FromFailure(why);
        return false;
    }
    located.found = bluez::FindDevice(located.objects, *parsed);
    const bluez::Found& found = located.found;
    if (!found.anyAdapter)
        outcome = Failed(OpenReason::kNoAdapter, "none is present");
    else if (found.device == nullptr)
        outcome = Outcome(Kind::kUnknownDevice, "BlueZ does not know " + parsed->Text() + " (no discovery found it)");
    else if (found.adapter == nullptr)
        outcome = Failed(OpenReason::kNoAdapter, "the device's adapter is gone");
    else if (powered && !bluez::PropertyOr(*found.adapter, "Powered", false))
        outcome = Failed(OpenReason::kNoAdapter, bluez::AdapterName(found.adapterPath) + " is powered off");
    else
        return true;
    return false;
}

// Short after a stop: the program is on its way out.
bluez::Answer AskBriefly(sdbus::IProxy& proxy, const sdbus::MethodCall& call) {
    const bool stopped = StopRequested();
    return bluez::Ask(proxy, call, stopped ? bluez::CleanupBound() : bluez::AnswerBound(),
                      stopped ? bluez::OnStop::kWait : bluez::OnStop::kEnd);
}

// Empty when BlueZ marked the device trusted, else why not.
std::string Trust(sdbus::IProxy& device) {
    auto call = device.createMethodCall(bluez::kProperties, "Set");
    call << std::string(bluez::kDevice) << std::string("Trusted") << sdbus::Variant(true);
    const bluez::Answer answer = AskBriefly(device, call);
    if (answer.kind == bluez::Answer::Kind::kReplied)
        return std::string();
    OpenFailure why;
    if (answer.kind == bluez::Answer::Kind::kFailed)
        return answer.errorName + " " + answer.errorMessage;
    bluez::Refused(answer, "marking it trusted", why);
    return why.detail;
}

PairOutcome Trusted(sdbus::IProxy& device, Kind kind, const std::string& done) {
    const std::string refused = Trust(device);
    return Outcome(kind, refused.empty() ? done + "; marked trusted" : done + ", but not marked trusted: " + refused);
}

// bluetoothd gives the pairing up; the device's record, which was there before, stays.
void CancelPairing(sdbus::IProxy& device) {
    auto call = device.createMethodCall(bluez::kDevice, "CancelPairing");
    bluez::Ask(device, call, bluez::CleanupBound(), bluez::OnStop::kWait);
}

// Device1.Pair's error in the pairing's words.
PairOutcome PairRefused(sdbus::IProxy& device, const bluez::Answer& answer) {
    const std::string said = answer.errorName + ": " + answer.errorMessage;
    if (answer.errorName == "org.bluez.Error.AuthenticationFailed")
        return Outcome(Kind::kWrongPin, "the module did not take the PIN (" + said + ")");
    if (answer.errorName == "org.bluez.Error.AlreadyExists")
        return Trusted(device, Kind::kAlreadyPaired, "it was paired already");
    if (answer.errorName == "org.bluez.Error.AuthenticationTimeout" ||
        answer.errorName == "org.bluez.Error.ConnectionAttemptFailed")
        return Outcome(Kind::kNoAnswer, "the module did not answer (" + said + ")");
    if (answer.errorName == "org.bluez.Error.DoesNotExist" ||
        answer.errorName == "org.freedesktop.DBus.Error.UnknownObject")
        return Outcome(Kind::kUnknownDevice, "BlueZ no longer knows it (" + said + ")");
    if (answer.errorName.rfind("org.bluez.Error.", 0) == 0)
        return Outcome(Kind::kRefused, "the pairing was turned down (" + said + ")");
    OpenFailure why;
    bluez::Refused(answer, "Pair", why);
    return FromFailure(why);
}

PairOutcome AskToPair(sdbus::IProxy& device, Clock::time_point deadline, std::chrono::milliseconds timeout) {
    auto call = device.createMethodCall(bluez::kDevice, "Pair");
    const auto bound =
        std::max(std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()), std::chrono::milliseconds(1));
    const bluez::Answer answer = bluez::Ask(device, call, bound);
    switch (answer.kind) {
    case bluez::Answer::Kind::kReplied:
        return Trusted(device, Kind::kPaired, "paired");
    case bluez::Answer::Kind::kFailed:
        if (answer.errorName != "org.freedesktop.DBus.Error.NoReply")
            return PairRefused(device, answer);
        // The bus says so at once when bluetoothd ends with the call unanswered: no time-out of ours.
        if (Clock::now() + std::chrono::milliseconds(200) < deadline)
            return Failed(OpenReason::kBluetoothUnavailable, "bluetoothd left the bus during the pairing");
        [[fallthrough]];
    case bluez::Answer::Kind::kNoAnswer:
        CancelPairing(device);
        return Outcome(Kind::kNoAnswer, "no answer within " + bluez::SecondsText(timeout) + "; the pairing was cancelled");
    case bluez::Answer::Kind::kStopped:
        CancelPairing(device);
        return Failed(OpenReason::kStopped,
                      "by signal " + std::to_string(StopSignalNumber()) + " while pairing; the pairing was cancelled");
    case bluez::Answer::Kind::kNoDescriptor:
        break;
    }
    return Failed(OpenReason::kResourceLimit, "no descriptor left to wait for BlueZ on");
}

} // namespace

PairOutcome Pair(const std::string& address, const std::string& pin, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    Located located;
    PairOutcome outcome;
    if (!Locate(address, true, located, outcome))
        return outcome;
    try {
        auto device = sdbus::createProxy(bluez::ConnectionOf(*located.session), bluez::kService,
                                         located.found.devicePath);
        if (bluez::PropertyOr(*located.found.device, "Paired", false))
            return bluez::PropertyOr(*located.found.device, "Trusted", false)
                       ? Outcome(Kind::kAlreadyPaired, "it was paired already")
                       : Trusted(*device, Kind::kAlreadyPaired, "it was paired already");
        OpenFailure why;
        const std::unique_ptr<bluez::AgentLease> agent =
            bluez::AgentLease::Take(*located.session, located.found.devicePath, pin, bluez::BoundWithin(deadline), why);
        if (!agent)
            return FromFailure(why);
        return AskToPair(*device, deadline, timeout);
    } catch (const sdbus::Error& e) {
        return Failed(OpenReason::kBluetoothUnavailable, e.getName() + " " + e.getMessage());
    }
}

// The adapter forgets the device with its bond; a device not known has no bond to remove.
PairOutcome Unpair(const std::string& address) {
    Located located;
    PairOutcome outcome;
    if (!Locate(address, false, located, outcome))
        return outcome;
    try {
        auto adapter = sdbus::createProxy(bluez::ConnectionOf(*located.session), bluez::kService,
                                          located.found.adapterPath);
        auto call = adapter->createMethodCall(bluez::kAdapter, "RemoveDevice");
        call << sdbus::ObjectPath(located.found.devicePath);
        const bluez::Answer answer = AskBriefly(*adapter, call);
        if (answer.kind == bluez::Answer::Kind::kReplied)
            return Outcome(Kind::kUnpaired, bluez::PropertyOr(*located.found.device, "Paired", false)
                                                ? "the bond is removed"
                                                : "it was not paired; BlueZ forgot it");
        if (answer.kind == bluez::Answer::Kind::kFailed && answer.errorName == "org.bluez.Error.DoesNotExist")
            return Outcome(Kind::kUnknownDevice, "BlueZ no longer knows it");
        if (answer.kind == bluez::Answer::Kind::kFailed && answer.errorName.rfind("org.bluez.Error.", 0) == 0)
            return Outcome(Kind::kRefused, "BlueZ kept the bond (" + answer.errorName + ": " + answer.errorMessage + ")");
        OpenFailure why;
        bluez::Refused(answer, "RemoveDevice", why);
        return FromFailure(why);
    } catch (const sdbus::Error& e) {
        return Failed(OpenReason::kBluetoothUnavailable, e.getName() + " " + e.getMessage());
    }
}

} // namespace bluetooth
