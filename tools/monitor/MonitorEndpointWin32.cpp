#include "MonitorEndpoint.h"

#include "MonitorPath.h"

#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace {

using monitor_path::kMailslotName;
constexpr DWORD kLargestMessage = 65536;

HANDLE AsHandle(intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

} // namespace

CMonitorEndpoint::~CMonitorEndpoint() {
    // The mailslot goes away with its last handle.
    if (m_handle != -1)
        CloseHandle(AsHandle(m_handle));
}

bool CMonitorEndpoint::Create(std::string& errorOut) {
    const HANDLE slot = CreateMailslotA(kMailslotName, 0, 0, nullptr);
    if (slot == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        errorOut = error == ERROR_ALREADY_EXISTS ? "another monitor has the mailslot open"
                                                 : "CreateMailslot failed, error " + std::to_string(error);
        return false;
    }
    m_handle = reinterpret_cast<intptr_t>(slot);
    m_name = kMailslotName;
    return true;
}

CMonitorEndpoint::Receipt CMonitorEndpoint::Receive(std::string& messageOut, int timeoutMs) {
    if (m_handle == -1)
        return Receipt::kFailed;
    const HANDLE slot = AsHandle(m_handle);
    if (!SetMailslotInfo(slot, static_cast<DWORD>(timeoutMs)))
        return Receipt::kFailed;
    messageOut.resize(kLargestMessage);
    DWORD read = 0;
    if (!ReadFile(slot, messageOut.data(), kLargestMessage, &read, nullptr)) {
        messageOut.clear();
        return GetLastError() == ERROR_SEM_TIMEOUT ? Receipt::kTimeout : Receipt::kFailed;
    }
    messageOut.resize(read);
    return Receipt::kMessage;
}

void UseBinaryOutput() {
    _setmode(_fileno(stdout), _O_BINARY);
}
