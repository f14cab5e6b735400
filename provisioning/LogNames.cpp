#include "LogNames.h"

#include "SerialPort.h"

#include <algorithm>
#include <cctype>

namespace provisioning {

std::string SafeFileNamePart(const std::string& text) {
    std::string safe;
    for (const char c : text) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                           c == '.' || c == '_';
        safe += plain ? c : '_';
    }
    return safe;
}

std::string LogFileFor(const std::string& port, size_t portCount) {
    if (portCount == 1)
        return CSerialPort::kLogFileName;
    return "TxRx-" + SafeFileNamePart(port) + ".log";
}

std::vector<std::string> LogFilesFor(const std::vector<std::string>& ports) {
    const auto folded = [](std::string name) {
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return name;
    };
    std::vector<std::string> natural;
    for (const std::string& port : ports)
        natural.push_back(folded(LogFileFor(port, ports.size())));
    std::vector<std::string> files;
    std::vector<std::string> taken;
    for (size_t i = 0; i < ports.size(); ++i) {
        const std::string base = LogFileFor(ports[i], ports.size());
        std::string file = base;
        // A suffixed name must not take the natural name of a port further on either.
        for (int n = 2; std::find(taken.begin(), taken.end(), folded(file)) != taken.end() ||
                        (file != base && std::find(natural.begin(), natural.end(), folded(file)) != natural.end());
             ++n)
            file = base.substr(0, base.size() - 4) + "-" + std::to_string(n) + ".log";
        taken.push_back(folded(file));
        files.push_back(file);
    }
    return files;
}

} // namespace provisioning
