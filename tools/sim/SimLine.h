// One simulated module's line: the pseudo-terminal it answers on (or a connected stream socket that
// stands for one), the symbolic link to the port, and the transcript of the commands it received.
// Every way out of the program gives the descriptors and the link back.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

namespace zk405_sim {

using Clock = std::chrono::steady_clock;

class SimLine {
public:
    SimLine() = default;
    ~SimLine();
    SimLine(const SimLine&) = delete;
    SimLine& operator=(const SimLine&) = delete;

    // Each of these says why on stderr when it fails.
    // A new pseudo-terminal in raw mode; controlling makes it this process's controlling terminal.
    bool Open(bool controlling);
    // A connected stream socket stands for the line: the module's bytes go straight over it.
    bool Adopt(int socketFd, const std::string& description);
    bool ConnectUnix(const std::string& path);
    bool MakeLink(const std::string& link);
    bool OpenTranscript(const std::string& path);

    // Appends "<ms since start> <command>" to the transcript, if there is one.
    void Record(Clock::time_point arrival, const std::string& command);

    bool IsSocket() const { return m_socket; }
    const std::string& SlavePath() const { return m_slavePath; }
    const std::string& Link() const { return m_link; }
    int Master() const { return m_master; }

private:
    int m_master = -1;
    int m_slave = -1;
    bool m_socket = false;
    std::string m_slavePath;
    std::string m_link;
    std::FILE* m_transcript = nullptr;
    Clock::time_point m_start = Clock::now();
};

} // namespace zk405_sim
