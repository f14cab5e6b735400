#include "CliPorts.h"

#include "Bluetooth.h"
#include "CliReport.h"
#include "DeviceIdentity.h"
#include "EscapedText.h"
#include "Hints.h"
#include "PortNameText.h"
#include "PortNames.h"
#include "PortProbe.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <optional>

namespace zk405_cli {

namespace {

// Two names of one device would be programmed once each, one of them failing as busy: they are
// compared by the device they reach (a link, a doubled slash, a com name and its device file).
bool SamePort(const std::string& a, const std::string& b) {
    std::string addressA, addressB;
    if (bluetooth::AddressOfPortName(a.c_str(), addressA) && bluetooth::AddressOfPortName(b.c_str(), addressB))
        return addressA == addressB;
    const int number = port_names::ComNumber(a.c_str());
    return a == b || (number != 0 && number == port_names::ComNumber(b.c_str())) ||
           device_identity::IdentityOf(PortNameFromUtf8(a)) == device_identity::IdentityOf(PortNameFromUtf8(b));
}

} // namespace

bool PortListUsable(const std::vector<std::string>& ports, std::ostream& err) {
    // "bt:" and something that is no address is a typing error, not a port that happens to be missing.
    const size_t prefix = std::strlen(bluetooth::kPortPrefix);
    std::string address;
    for (const std::string& port : ports)
        if (port.size() >= prefix && std::equal(port.begin(), port.begin() + static_cast<long>(prefix), bluetooth::kPortPrefix,
                                                [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; }) &&
            !bluetooth::AddressOfPortName(port.c_str(), address)) {
            err << "zk405-cli: " << EscapeControls(port) << " is no Bluetooth address: write it as "
                << bluetooth::kPortPrefix << "AA:BB:CC:DD:EE:FF; nothing was sent\n";
            return false;
        }
    for (size_t i = 0; i < ports.size(); ++i)
        for (size_t j = i + 1; j < ports.size(); ++j)
            if (SamePort(ports[i], ports[j])) {
                err << "zk405-cli: the port " << EscapeControls(ports[j]) << " is named twice; nothing was sent\n";
                return false;
            }
    return true;
}

namespace {

nlohmann::json OrNull(const std::optional<std::string>& value) {
    return value ? nlohmann::json(*value) : nlohmann::json(nullptr);
}

struct ListedPort {
    port_info::PortInfo info;
    bool openable = true;
    serial_result::OpenFailure failure; // why it cannot be opened now
};

nlohmann::json ToJson(const ListedPort& port, bool all) {
    const port_info::PortInfo& info = port.info;
    const char* direction = port_info::DirectionName(info.direction);
    nlohmann::json object = {{"port", info.name},
                             {"device", info.device},
                             {"kind", port_info::KindName(info.kind)},
                             {"description", info.description},
                             {"address", OrNull(info.address)},
                             {"remote_name", OrNull(info.remoteName)},
                             {"direction", direction ? nlohmann::json(direction) : nlohmann::json(nullptr)}};
    if (all) {
        object["openable"] = port.openable;
        if (!port.openable) {
            object["reason"] = serial_result::OpenReasonName(port.failure.reason);
            object["message"] = serial_result::DescribeOpenFailure(port.failure);
            object["hint"] = provisioning::HintFor(port.failure);
        }
    }
    return object;
}

} // namespace

// The ports the port window offers, each with what it is; with all, also the ports that exist but
// cannot be opened now, with the reason. Sorted as text, as the port window's list shows them: com10
// before com2.
ExitStatus ListPorts(bool json, bool all, const port_info::RemoteNameLookup& remoteNames, std::ostream& out,
                     std::ostream& err) {
    std::vector<ListedPort> ports;
    size_t leftOut = 0; // what --all would add
    for (const std::string& name : port_names::AllComNames()) {
        ListedPort port;
        port.openable = port_probe::CanOpen(name, port.failure);
        if (!port.openable && port.failure.reason == serial_result::OpenReason::kMissing)
            continue;
        // A port only counted needs no remote name: asking BlueZ for it would only slow the list.
        const bool listed = port.openable || all;
        port.info = port_info::DescribePort(name, listed ? remoteNames : port_info::RemoteNameLookup());
        // Every possible ttyS has a device file; only the ones with a UART behind them are ports.
        if (!port.openable && !port.info.present)
            continue;
        if (listed)
            ports.push_back(std::move(port));
        else
            ++leftOut;
    }
    std::sort(ports.begin(), ports.end(),
              [](const ListedPort& a, const ListedPort& b) { return a.info.name < b.info.name; });
    for (const ListedPort& port : ports) {
        if (json) {
            out << JsonLine(ToJson(port, all)) << "\n";
            continue;
        }
        // Descriptions hold what USB adapters and Bluetooth devices say of themselves.
        out << EscapeControls(port.info.name) << "\t" << EscapeControls(port.info.device) << "\t"
            << port_info::KindName(port.info.kind) << "\t" << EscapeControls(port.info.description);
        if (!port.openable)
            out << "\tcannot be opened: "
                << EscapeControls(serial_result::DescribeOpenFailure(port.failure) + "; " +
                                  provisioning::HintFor(port.failure));
        out << "\n";
    }
    // A port held by another program is the usual reason for one missing from the list.
    if (leftOut > 0 && !json)
        err << "zk405-cli: " << leftOut << (leftOut == 1 ? " more port exists" : " more ports exist")
            << " but cannot be opened: zk405-cli list --all\n";
    return kExitOk;
}

} // namespace zk405_cli
