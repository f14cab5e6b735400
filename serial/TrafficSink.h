// Where a port hands every byte it writes and every byte it reads, as they go: the traffic log keeps
// the written bytes alone, and a record of a whole conversation needs the module's side too.
#pragma once

#include <cstdint>

class TrafficSink {
public:
    virtual ~TrafficSink() = default;
    // direction is CSerialPort::kDirectionWritten or kDirectionRead; called from the thread that
    // uses the port, with bytes that are only valid during the call.
    virtual void Traffic(uint32_t direction, const void* data, uint32_t length) = 0;
};
