#include "PortInfoSystem.h"

#include "PortNames.h"
#include "PortRecord.h"

#include <windows.h>
#include <initguid.h>
#include <devguid.h>
#include <setupapi.h>

#include <cstring>
#include <cwchar>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace port_info_os {

namespace {

using port_info::PortRecord;

std::string WideToUtf8(const wchar_t* text, int length = -1) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return {};
    std::string utf8(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, utf8.data(), size, nullptr, nullptr);
    if (length < 0)
        utf8.resize(static_cast<size_t>(size - 1));
    return utf8;
}

class DeviceList {
public:
    DeviceList() : m_set(SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT)) {}
    ~DeviceList() {
        if (m_set != INVALID_HANDLE_VALUE)
            SetupDiDestroyDeviceInfoList(m_set);
    }
    DeviceList(const DeviceList&) = delete;
    DeviceList& operator=(const DeviceList&) = delete;
    HDEVINFO Set() const { return m_set; }

private:
    HDEVINFO m_set;
};

class RegistryKey {
public:
    explicit RegistryKey(HKEY key) : m_key(key) {}
    ~RegistryKey() {
        if (m_key != nullptr && m_key != INVALID_HANDLE_VALUE)
            RegCloseKey(m_key);
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    bool Opened() const { return m_key != nullptr && m_key != INVALID_HANDLE_VALUE; }
    HKEY Get() const { return m_key; }

private:
    HKEY m_key;
};

// A string property as UTF-8 strings: one for REG_SZ, each of a REG_MULTI_SZ's.
std::vector<std::string> DeviceStrings(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
    std::vector<wchar_t> buffer(512);
    DWORD type = 0;
    DWORD size = 0;
    if (!SetupDiGetDeviceRegistryPropertyW(set, &device, property, &type, reinterpret_cast<BYTE*>(buffer.data()),
                                           static_cast<DWORD>(buffer.size() * sizeof(wchar_t)) - 2 * sizeof(wchar_t),
                                           &size)) {
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            return {};
        buffer.assign(size / sizeof(wchar_t) + 4, L'\0');
        if (!SetupDiGetDeviceRegistryPropertyW(set, &device, property, &type,
                                               reinterpret_cast<BYTE*>(buffer.data()), size, &size))
            return {};
    }
    std::vector<std::string> strings;
    // The buffer ends in at least two zeros whatever the device wrote.
    for (const wchar_t* p = buffer.data(); *p != L'\0'; p += wcslen(p) + 1) {
        strings.push_back(WideToUtf8(p));
        if (type != REG_MULTI_SZ)
            break;
    }
    return strings;
}

std::string InstanceId(HDEVINFO set, SP_DEVINFO_DATA& device) {
    wchar_t id[512] = {};
    if (!SetupDiGetDeviceInstanceIdW(set, &device, id, static_cast<DWORD>(std::size(id) - 1), nullptr))
        return {};
    return WideToUtf8(id);
}

std::string PortName(HDEVINFO set, SP_DEVINFO_DATA& device) {
    const RegistryKey key(SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ));
    if (!key.Opened())
        return {};
    wchar_t name[64] = {};
    DWORD size = sizeof(name) - sizeof(wchar_t);
    DWORD type = 0;
    if (RegQueryValueExW(key.Get(), L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(name), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        return {};
    return WideToUtf8(name);
}

std::optional<PortRecord> FindRecord(const std::string& portName) {
    const DeviceList list;
    if (list.Set() == INVALID_HANDLE_VALUE)
        return std::nullopt;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof(device);
    for (DWORD index = 0; SetupDiEnumDeviceInfo(list.Set(), index, &device); ++index) {
        PortRecord record;
        record.portName = PortName(list.Set(), device);
        if (!port_info::RecordIsFor(record, portName))
            continue;
        const std::vector<std::string> friendly = DeviceStrings(list.Set(), device, SPDRP_FRIENDLYNAME);
        if (!friendly.empty())
            record.friendlyName = friendly.front();
        record.hardwareIds = DeviceStrings(list.Set(), device, SPDRP_HARDWAREID);
        record.instanceId = InstanceId(list.Set(), device);
        return record;
    }
    return std::nullopt;
}

// The name Windows learnt when the device was paired, kept (UTF-8) under the Bluetooth service's key.
std::optional<std::string> PairedDeviceName(const std::string& address) {
    std::string digits;
    for (char c : address)
        if (c != ':')
            digits += static_cast<char>(c >= 'A' && c <= 'F' ? c - 'A' + 'a' : c);
    const std::string path = "SYSTEM\\CurrentControlSet\\Services\\BTHPORT\\Parameters\\Devices\\" + digits;
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return std::nullopt;
    const RegistryKey key(opened);
    char name[256] = {};
    DWORD size = sizeof(name) - 1;
    if (RegQueryValueExA(key.Get(), "Name", nullptr, nullptr, reinterpret_cast<BYTE*>(name), &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    const std::string text(name, strnlen(name, size));
    if (text.empty())
        return std::nullopt;
    return text;
}

bool DosDeviceExists(const std::string& portName) {
    char target[512];
    return QueryDosDeviceA(portName.c_str(), target, sizeof(target)) != 0 ||
           GetLastError() == ERROR_INSUFFICIENT_BUFFER;
}

} // namespace

void ReadPortFacts(port_info::PortInfo& info) {
    info.device = port_names::Win32DevicePath(info.name.c_str());
    if (const std::optional<PortRecord> record = FindRecord(info.name)) {
        port_info::ApplyPortRecord(*record, info);
        if (info.address)
            info.remoteName = PairedDeviceName(*info.address);
        return;
    }
    info.present = port_names::ComNumber(info.name.c_str()) != 0 && DosDeviceExists(info.name);
}

} // namespace port_info_os
