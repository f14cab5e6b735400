#include "PortNames.h"

#include <cctype>

namespace port_names {

namespace {

struct DeviceFamily {
    const char* prefix;
    int firstPort;
};

// Each family takes 32 consecutive port numbers, device numbers from 0.
constexpr int kPortsPerFamily = 32;
constexpr DeviceFamily kFamilies[] = {
    {"ttyS", 1},
    {"ttyUSB", 33},
    {"ttyACM", 65},
    {"rfcomm", 97},
};

std::string& DeviceDirectoryStorage() {
    static std::string directory = "/dev";
    return directory;
}

// The number after a "com" prefix, or 0 when the name is not "com" + digits without a leading zero.
long ComSuffixNumber(const char* name) {
    if (name == nullptr || std::tolower(static_cast<unsigned char>(name[0])) != 'c' ||
        std::tolower(static_cast<unsigned char>(name[1])) != 'o' ||
        std::tolower(static_cast<unsigned char>(name[2])) != 'm')
        return 0;
    const char* digits = name + 3;
    if (*digits < '1' || *digits > '9')
        return 0;
    long number = 0;
    for (const char* p = digits; *p; ++p) {
        if (*p < '0' || *p > '9' || number > 1000000)
            return 0;
        number = number * 10 + (*p - '0');
    }
    return number;
}

} // namespace

int ComNumber(const char* name) {
    const long number = ComSuffixNumber(name);
    return number >= kFirstPort && number <= kLastPort ? static_cast<int>(number) : 0;
}

std::string ComName(int number) {
    return "com" + std::to_string(number);
}

std::string PosixDevicePath(const char* name, const std::string& deviceDirectory) {
    const int number = ComNumber(name);
    if (number == 0)
        return name ? name : "";
    const DeviceFamily& family = kFamilies[(number - 1) / kPortsPerFamily];
    return deviceDirectory + "/" + family.prefix + std::to_string(number - family.firstPort);
}

std::string Win32DevicePath(const char* name) {
    if (ComSuffixNumber(name) == 0)
        return name ? name : "";
    return std::string("\\\\.\\") + name;
}

const std::string& DeviceDirectory() {
    return DeviceDirectoryStorage();
}

void SetDeviceDirectory(std::string directory) {
    DeviceDirectoryStorage() = std::move(directory);
}

} // namespace port_names
