// A program run by a test, with its standard output on a pipe the test reads. Ended with SIGTERM
// and reaped when the test is done with it, so no test leaves a process behind.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

class ChildProcess {
public:
    explicit ChildProcess(const std::vector<std::string>& argv);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return m_pid > 0; }
    // The next line of output without its line feed; empty after timeoutMs or at the end.
    std::string ReadLine(int timeoutMs = 5000);
    // Everything up to the end of the output.
    std::string ReadToEnd(int timeoutMs = 5000);
    bool Signal(int sig) const;
    // The exit status (128 + signal for a killed program), or -1 when it is still running after
    // timeoutMs.
    int Wait(int timeoutMs = 5000);

private:
    // Appends what arrives within timeoutMs; false at the end of the output or on time-out.
    bool ReadMore(int timeoutMs);

    pid_t m_pid = -1;
    int m_output = -1;
    int m_status = -1;
    std::string m_buffered;
};

// True once path exists, waiting up to timeoutMs.
bool WaitForPath(const std::string& path, int timeoutMs = 5000);
