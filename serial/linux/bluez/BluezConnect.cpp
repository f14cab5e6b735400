// The way from an address to a connected socket: the device looked up in what BlueZ knows, each reason
// it cannot be reached told with what to do, then the session's profile asked for the link, all
// within one bound.
#include "BluezConnect.h"

#include "BluezFind.h"
#include "BluezNames.h"
#include "BluezSession.h"

namespace bluez {

using serial_result::OpenFailure;
using serial_result::OpenReason;

namespace {

int Fail(OpenFailure& why, OpenReason reason, std::string detail) {
    serial_result::Refuse(why, reason, std::string(), 0, std::move(detail));
    return -1;
}

// -1 with the reason the device cannot be asked for a connection, 0 when it can.
int Unreachable(const Found& found, const bluetooth::Address& address, OpenFailure& why) {
    const std::string pairHint = "pair it first: bluetoothctl pair " + address.Text();
    if (!found.anyAdapter)
        return Fail(why, OpenReason::kNoAdapter, "none is present");
    if (found.device == nullptr)
        return Fail(why, OpenReason::kDeviceUnknown, "BlueZ does not know it; " + pairHint);
    if (found.adapter == nullptr)
        return Fail(why, OpenReason::kNoAdapter, "the device's adapter is gone");
    if (!PropertyOr(*found.adapter, "Powered", false))
        return Fail(why, OpenReason::kNoAdapter,
                    AdapterName(found.adapterPath) + " is powered off; turn it on: bluetoothctl power on");
    if (!PropertyOr(*found.device, "Paired", false))
        return Fail(why, OpenReason::kDeviceUnknown, "it is not paired; " + pairHint);
    if (!OffersSerialPort(*found.device))
        return Fail(why, OpenReason::kNoSerialProfile, "the Serial Port Profile is not among its services");
    return 0;
}

} // namespace

int ConnectSerialPort(const bluetooth::Address& address, std::chrono::milliseconds bound, OpenFailure& why) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    Session* session = TheSession(why);
    ManagedObjects objects;
    if (session == nullptr || !ManagedObjectsOf(*session, objects, why, BoundWithin(deadline)))
        return -1;
    const Found found = FindDevice(objects, address);
    if (Unreachable(found, address, why) < 0 || !EnsureProfile(*session, deadline, why))
        return -1;
    return ConnectProfile(*session, found.devicePath, deadline, bound, why);
}

} // namespace bluez
