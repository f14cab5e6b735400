// The monitor's end of the traffic mirror: the endpoint the configuration tool finds and writes each
// piece of its dump to, one message per piece. A mailslot on Windows, a Unix datagram socket in the
// user's private runtime directory elsewhere; one source file per platform, chosen by the build.
#pragma once

#include <cstdint>
#include <string>

class CMonitorEndpoint {
public:
    enum class Receipt { kMessage, kTimeout, kFailed };

    CMonitorEndpoint() = default;
    ~CMonitorEndpoint();
    CMonitorEndpoint(const CMonitorEndpoint&) = delete;
    CMonitorEndpoint& operator=(const CMonitorEndpoint&) = delete;

    // Creates the endpoint, taking over one left behind by a monitor that died. False with the
    // reason in errorOut, for example when another monitor is listening already.
    bool Create(std::string& errorOut);
    // Waits up to timeoutMs for the next message.
    Receipt Receive(std::string& messageOut, int timeoutMs);
    // Where the tool finds this endpoint.
    const std::string& Name() const { return m_name; }

private:
    intptr_t m_handle = -1; // a descriptor or a HANDLE; -1 while there is none
    std::string m_name;
};

// Standard output passes every byte unchanged (no LF to CR LF on Windows), as the log file does.
void UseBinaryOutput();
