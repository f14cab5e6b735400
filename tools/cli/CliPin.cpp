#include "CliPin.h"

#include "CliPlatform.h"
#include "Settings.h"

namespace zk405_cli {

bool PinFromSource(const std::string& pinFile, std::optional<std::string>& pin, std::string& error) {
    if (!pinFile.empty()) {
        std::string read;
        if (!provisioning::ReadPinFile(pinFile, read, error))
            return false;
        pin = read;
    } else if (pin == "-") {
        std::string read;
        if (!cli_platform::ReadSecretLine("PIN: ", read, error))
            return false;
        pin = read;
    }
    return true;
}

} // namespace zk405_cli
