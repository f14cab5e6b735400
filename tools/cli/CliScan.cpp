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

nlohmann::json ToJson(const bluetooth::SerialDevice& device) {
    return {
        {"address", device.address},
        {"name", device.name},
        {"paired", device.paired},
        {"trusted", device.trusted},
        {"connected", device.connected},
        {"rssi", device.rssi ? nlohmann::json(*device.rssi) : nlohmann::json(nullptr)},
        {"port", device.port ? nlohmann::json(*device.port) : nlohmann::json(nullptr)},
    };
}

ExitStatus Scan(int discoverSeconds, bool json, const std::string& sysfsRoot, std::ostream& out, std::ostream& err) {
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
            out << JsonLine(ToJson(device)) << "\n";
        return kExitOk;
    }
    // A nearby device chooses its own name: over the air it could otherwise write to the terminal.
    std::vector<std::string> names;
    size_t nameWidth = 4;
    for (const bluetooth::SerialDevice& device : devices) {
        names.push_back(EscapeControls(device.name));
        nameWidth = std::max(nameWidth, DisplayWidth(names.back()));
    }
    out << Pad("address", 17) << "  " << Pad("name", nameWidth) << "  paired  trusted  connected  rssi  port\n";
    for (size_t i = 0; i < devices.size(); ++i) {
        const bluetooth::SerialDevice& device = devices[i];
        out << device.address << "  " << Pad(names[i], nameWidth) << "  " << Pad(YesNo(device.paired), 6) << "  "
            << Pad(YesNo(device.trusted), 7) << "  " << Pad(YesNo(device.connected), 9) << "  "
            << Pad(device.rssi ? std::to_string(*device.rssi) : "-", 4) << "  "
            << EscapeControls(device.port.value_or("-")) << "\n";
    }
    if (devices.empty())
        err << "zk405-cli: no device offering the Serial Port Profile"
            << (discoverSeconds > 0 ? " was found" : " is paired; try --discover 10") << "\n";
    return kExitOk;
}

} // namespace zk405_cli
