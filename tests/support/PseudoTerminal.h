// A pseudo-terminal for tests: the port under test opens the slave path, the test plays the module on
// the master. The test keeps a slave descriptor of its own so that the master never reads EIO while
// the port is closed, and so that it can see what is queued for the port.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

class PseudoTerminal {
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    bool IsOpen() const { return m_master >= 0; }
    const std::string& SlavePath() const { return m_slavePath; }
    int MasterFd() const { return m_master; }

    // Bytes queued for the port to read (what the port's FIONREAD would say).
    size_t QueuedForPort() const;
    // Writes as the module and waits until every byte is queued on the port's side.
    bool SendToPort(std::string_view bytes, int timeoutMs = 2000);
    // Reads what the port wrote: waits up to timeoutMs for at least minBytes, then takes the rest that
    // follows within quietMs.
    std::string ReadFromPort(size_t minBytes, int timeoutMs = 2000, int quietMs = 20);
    // Everything the port wrote so far, without waiting.
    std::string Drain();
    // Suspends the port's output, as a module holding CTS off does: its writes then wait.
    bool HoldPortOutput();

private:
    int m_master = -1;
    int m_slave = -1;
    std::string m_slavePath;
};
