#include "CliScan.h"

#include "CliReport.h"
#include "EscapedText.h"
#include "Hints.h"

#include <algorithm>

namespace zk405_cli {

namespace {

const char* YesNo(bool value) {
    return value ? "yes" : "no";
}

// Padded by the columns the text takes, so that names with Polish letters line up too.
std::string Pad(std::string text, size_t width) {
    const size_t columns = DisplayWidth(text);
    if (columns < width)
        text.append(width - columns, ' ');
    return text;
}

} // namespace

nlohmann::json ToJson(const bluetooth::SerialDevice& device, const std::optional<std::string>& match) {
    return {
        {"address", device.address},
        {"name", device.name},
        {"paired", device.paired},
        {"bonded", device.bonded},
        {"trusted", device.trusted},
        {"connected", device.connected},
        // Only a device a discovery sees now has a signal strength.
        {"nearby", device.rssi.has_value()},
        {"rssi", device.rssi ? nlohmann::json(*device.rssi) : nlohmann::json(nullptr)},
        {"port", device.port ? nlohmann::json(*device.port) : nlohmann::json(nullptr)},
        {"matches", match ? nlohmann::json(bluetooth::NameMatches(device.name, *match)) : nlohmann::json(nullptr)},
    };
}

ExitStatus Scan(int discoverSeconds, bool json, const std::string& sysfsRoot, const std::optional<std::string>& match,
                std::ostream& out, std::ostream& err) {
    if (!bluetooth::Available()) {
        err << "zk405-cli: scan is not available on this system; open the COM port of the paired module\n";
        return kExitUsage;
    }
    std::vector<bluetooth::SerialDevice> devices;
    serial_result::OpenFailure why;
    if (!bluetooth::ListSerialDevices(std::chrono::seconds(discoverSeconds), sysfsRoot, devices, why)) {
        const std::string hint = HintFor(why);
        err << "zk405-cli: cannot scan: " << EscapeControls(DescribeOpenFailure(why) + "; " + hint) << "\n";
        if (json)
            out << JsonLine({{"reason", serial_result::OpenReasonName(why.reason)},
                             {"message", DescribeOpenFailure(why)},
                             {"hint", hint}})
                << "\n";
        return kExitNotOpened;
    }
    if (json) {
        for (const bluetooth::SerialDevice& device : devices)
            out << JsonLine(ToJson(device, match)) << "\n";
        return kExitOk;
    }
    // A nearby device chooses its own name: over the air it could otherwise write to the terminal.
    std::vector<std::string> names;
    size_t nameWidth = 4;
    for (const bluetooth::SerialDevice& device : devices) {
        names.push_back(EscapeControls(device.name));
        nameWidth = std::max(nameWidth, DisplayWidth(names.back()));
    }
    size_t portWidth = 4;
    for (const bluetooth::SerialDevice& device : devices)
        portWidth = std::max(portWidth, DisplayWidth(EscapeControls(device.port.value_or("-"))));
    out << Pad("address", 17) << "  " << Pad("name", nameWidth) << "  paired  trusted  connected  rssi  "
        << Pad("port", portWidth) << "  bonded  nearby" << (match ? "  match" : "") << "\n";
    for (size_t i = 0; i < devices.size(); ++i) {
        const bluetooth::SerialDevice& device = devices[i];
        out << device.address << "  " << Pad(names[i], nameWidth) << "  " << Pad(YesNo(device.paired), 6) << "  "
            << Pad(YesNo(device.trusted), 7) << "  " << Pad(YesNo(device.connected), 9) << "  "
            << Pad(device.rssi ? std::to_string(*device.rssi) : "-", 4) << "  "
            << Pad(EscapeControls(device.port.value_or("-")), portWidth) << "  " << Pad(YesNo(device.bonded), 6) << "  "
            << (match ? Pad(YesNo(device.rssi.has_value()), 6) + "  " + YesNo(bluetooth::NameMatches(device.name, *match))
                      : std::string(YesNo(device.rssi.has_value())))
            << "\n";
    }
    if (devices.empty())
        err << "zk405-cli: no device offering the Serial Port Profile"
            << (discoverSeconds > 0 ? " was found" : " is paired; try --discover 10") << "\n";
    return kExitOk;
}

} // namespace zk405_cli
