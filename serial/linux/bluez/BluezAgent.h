// The pairing agent of this process: one object on the bus, registered with BlueZ's AgentManager1
// only while a pairing of ours needs it, and never as the default agent. It answers for the devices
// those pairings name, and only to bluetoothd; every other request is refused, so that a person's
// desktop agent keeps everything else.
#pragma once

#include "BluezSession.h"
#include "OpenFailure.h"

#include <chrono>
#include <memory>
#include <string>

namespace bluez {

class AgentLease {
public:
    // The agent answers for the device at devicePath with pin until the lease ends: registered with
    // the bluetoothd of the moment when no other lease holds it already. Null with the reason when
    // BlueZ did not take it within bound.
    static std::unique_ptr<AgentLease> Take(Session& session, const std::string& devicePath, const std::string& pin,
                                            std::chrono::milliseconds bound, serial_result::OpenFailure& why);
    // The device is forgotten; the last lease unregisters the agent (briefly after a stop) and takes
    // its object off the bus.
    ~AgentLease();

    AgentLease(const AgentLease&) = delete;
    AgentLease& operator=(const AgentLease&) = delete;

private:
    explicit AgentLease(std::string devicePath) : m_devicePath(std::move(devicePath)) {}
    std::string m_devicePath;
};

} // namespace bluez
