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

// The digits of a device number as PosixDevicePath writes them: decimal without a leading zero.
int DeviceNumber(std::string_view digits) {
    if (digits.empty() || digits.size() > 2 || (digits.size() > 1 && digits[0] == '0'))
        return -1;
    int number = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            return -1;
        number = number * 10 + (c - '0');
    }
    return number < kPortsPerFamily ? number : -1;
}

} // namespace

int ComNumber(const char* name) {
    const long number = ComSuffixNumber(name);
    return number >= kFirstPort && number <= kLastPort ? static_cast<int>(number) : 0;
}

std::string ComName(int number) {
    return "com" + std::to_string(number);
}

const std::vector<std::string>& AllComNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> all;
        for (int number = kFirstPort; number <= kLastPort; ++number)
            all.push_back(ComName(number));
        return all;
    }();
    return names;
}

std::string ComNameOfDeviceFile(std::string_view fileName) {
    for (const DeviceFamily& family : kFamilies) {
        const std::string_view prefix = family.prefix;
        if (fileName.substr(0, prefix.size()) != prefix)
            continue;
        const int device = DeviceNumber(fileName.substr(prefix.size()));
        if (device >= 0)
            return ComName(family.firstPort + device);
    }
    return "";
}

std::string ComNameOfDevicePath(std::string_view path, const std::string& deviceDirectory) {
    if (path.size() <= deviceDirectory.size() + 1 ||
        path.substr(0, deviceDirectory.size()) != deviceDirectory || path[deviceDirectory.size()] != '/')
        return "";
    const std::string_view fileName = path.substr(deviceDirectory.size() + 1);
    return fileName.find('/') == std::string_view::npos ? ComNameOfDeviceFile(fileName) : "";
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
