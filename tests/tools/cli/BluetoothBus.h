// What the Bluetooth cases of zk405-cli stand on: a private system bus, the stand-in bluetoothd
// (python-dbusmock's BlueZ, tests/support/fake_bluetoothd.py) on it, and zk405-cli run as a process
// of its own, to its end or signalled while it waits.
#pragma once

#include "ChildProcess.h"
#include "CliRun.h"
#include "Deadline.h"
#include "TempDir.h"
#include "Transcript.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace cli_bluetooth {

using Clock = std::chrono::steady_clock;
using Strings = std::vector<std::string>;

// What the stand-in's log holds of our agent's registration.
constexpr const char* kAgentRegistered = "RegisterAgent \"/org/zk405/agent\" \"KeyboardDisplay\"";
constexpr const char* kAgentUnregistered = "UnregisterAgent \"/org/zk405/agent\"";

inline size_t Count(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

inline std::string LockOf(const std::string& address) {
    std::string compact;
    for (const char c : address)
        if (c != ':')
            compact += c;
    return "/run/lock/LCK..bt-" + compact;
}

// A dbus-daemon of the test's own, made the system bus of every program the test starts.
class PrivateSystemBus {
public:
    explicit PrivateSystemBus(const TempDir& dir) {
        const std::string config = dir.File("system-bus.conf");
        std::ofstream(config) << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                                 " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                                 "<busconfig><type>system</type><listen>unix:dir="
                              << dir.Path()
                              << "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                                 "<allow user=\"*\"/><allow own=\"*\"/><allow send_type=\"method_call\"/>"
                                 "<allow send_type=\"signal\"/><allow send_type=\"method_return\"/>"
                                 "<allow send_type=\"error\"/><allow receive_type=\"method_call\"/>"
                                 "<allow receive_type=\"signal\"/><allow receive_type=\"method_return\"/>"
                                 "<allow receive_type=\"error\"/></policy></busconfig>\n";
        m_daemon = std::make_unique<ChildProcess>(
            Strings{"/usr/bin/dbus-daemon", "--nofork", "--print-address", "--config-file=" + config});
        m_address = m_daemon->ReadLine();
        setenv("DBUS_SYSTEM_BUS_ADDRESS", m_address.c_str(), 1);
    }
    bool Running() const { return !m_address.empty(); }

private:
    std::unique_ptr<ChildProcess> m_daemon;
    std::string m_address;
};

// The stand-in bluetoothd; its modules are zk405-sim with a transcript each ("transcript-<address>"),
// and with keepState a name and PIN kept across connections ("state-<address>"), as a real module's.
// A test may stop it (SIGSTOP: it keeps its name on the bus and answers nothing) or end it and start
// another on the same bus; it is always let go on again before it is ended.
class FakeBluez {
public:
    FakeBluez(const TempDir& dir, const Strings& scene, const std::string& log = "bluez.log", bool keepState = false) {
        Strings args = {"/usr/bin/python3", ZK405_FAKE_BLUETOOTHD};
        args.insert(args.end(), scene.begin(), scene.end());
        args.insert(args.end(), {"--log", dir.File(log), "--sim", ZK405_SIM_PROGRAM, "--transcript",
                                 dir.File("transcript-{address}")});
        if (keepState)
            args.insert(args.end(), {"--state", dir.File("state-{address}")});
        m_process = std::make_unique<ChildProcess>(args);
        m_ready = m_process->ReadLine(10000) == "ready";
    }
    ~FakeBluez() { m_process->Signal(SIGCONT); }
    FakeBluez(const FakeBluez&) = delete;
    FakeBluez& operator=(const FakeBluez&) = delete;
    bool Ready() const { return m_ready; }
    bool Signal(int sig) const { return m_process->Signal(sig); }
    // What it tells on stdout of the calls it holds or the sockets it hands out, a line at a time.
    std::string NextLine(int timeoutMs = 5000) { return m_process->ReadLine(timeoutMs); }

private:
    std::unique_ptr<ChildProcess> m_process;
    bool m_ready = false;
};

// zk405-cli as a process of its own, so that it finds the test's system bus as a user's program would.
inline CliRun CliProcess(const Strings& args, int timeoutMs = 20000) {
    Strings argv = {ZK405_CLI_PROGRAM};
    argv.insert(argv.end(), args.begin(), args.end());
    const Clock::time_point start = Clock::now();
    ChildProcess cli(argv);
    CliRun run;
    run.out = cli.ReadToEnd(timeoutMs);
    run.status = cli.Wait(timeoutMs);
    run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return run;
}

inline std::string Bt(const std::string& address) {
    return "bt:" + address;
}

// zk405-cli left running, for a test that signals it.
class RunningCli {
public:
    explicit RunningCli(const Strings& args) : m_process(WithProgram(args)) {}
    // Ctrl+C: the status, what it printed and how long it took from the signal to its end.
    CliRun Interrupt(int timeoutMs = 10000) { return Stop(SIGINT, timeoutMs); }
    // The same for another stop signal (SIGTERM, SIGHUP).
    CliRun Stop(int sig, int timeoutMs = 10000) {
        const Clock::time_point start = Clock::now();
        m_process.Signal(sig);
        CliRun run;
        run.out = m_process.ReadToEnd(timeoutMs);
        run.status = m_process.Wait(timeoutMs);
        run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
        return run;
    }
    // Reads its output up to a line that holds every one of texts; that line, or empty at the deadline.
    std::string LineWith(const Strings& texts, int timeoutMs) {
        const Deadline deadline(timeoutMs);
        for (std::string line = m_process.ReadLine(deadline.MsLeft()); !line.empty();
             line = m_process.ReadLine(deadline.MsLeft())) {
            m_seen += line + "\n";
            if (std::all_of(texts.begin(), texts.end(),
                            [&](const std::string& text) { return line.find(text) != std::string::npos; }))
                return line;
        }
        return std::string();
    }
    CliRun End(int timeoutMs) {
        CliRun run;
        run.out = m_seen + m_process.ReadToEnd(timeoutMs);
        run.status = m_process.Wait(timeoutMs);
        return run;
    }

private:
    static Strings WithProgram(Strings args) {
        args.insert(args.begin(), ZK405_CLI_PROGRAM);
        return args;
    }
    ChildProcess m_process;
    std::string m_seen;
};

// Each test with a private system bus in a folder of its own.
class BluetoothBusTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("XDG_RUNTIME_DIR", m_dir.Path().c_str(), 1);
        // A device that never answers is given up after 1.5 s here instead of 15 s.
        setenv("ZK405_BLUETOOTH_CONNECT_MS", "1500", 1);
        ASSERT_TRUE(m_bus.Running());
    }
    void TearDown() override {
        unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
        unsetenv("ZK405_BLUEZ_ANSWER_MS");
    }

    TempDir m_dir;
    PrivateSystemBus m_bus{m_dir};
};

inline bool WaitForText(const std::string& file, const std::string& text, int timeoutMs) {
    return WaitUntil(Deadline(timeoutMs), std::chrono::milliseconds(20),
                     [&] { return ReadWholeFile(file).find(text) != std::string::npos; });
}

} // namespace cli_bluetooth
