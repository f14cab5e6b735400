// The replies of a ZK405 in configuration mode, without any I/O: received bytes go in, the commands
// they complete and the bytes to answer each with come out. The program around it owns the line and
// the clock, so every reply rule can be checked here at once.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Misbehaviour to reproduce faults of real modules and lines.
struct ModuleQuirks {
    bool silent = false;   // never answers nor takes a setting, as out of configuration mode
    bool noCr = false;     // the name reply's lines end in LF alone, so it holds no CR
    bool echo = false;     // repeats each command, with its CR LF, before the reply
    size_t floodBytes = 0; // filler without "=" or CR sent ahead of every reply
    bool keepPin = false;  // answers "OK" to a new PIN and keeps the one it has, as a faulty module did
    // Commands starting with any of these get "ERROR" and change nothing, as a module that does not
    // take a setting (or a value) would answer.
    std::vector<std::string> refusedPrefixes{};
};

class SimulatedModule {
public:
    using Quirks = ModuleQuirks;

    struct Exchange {
        std::string command; // without its CR LF
        std::string reply;   // empty when the module says nothing
    };

    static constexpr size_t kMaxPendingBytes = 4096;

    // name is single-byte Windows-1250 text, as the module stores it.
    explicit SimulatedModule(std::string name, Quirks quirks = {});

    // Adds bytes from the line; returns one exchange per command completed by a CR LF.
    std::vector<Exchange> Receive(std::string_view bytes);

    const std::string& Name() const { return m_name; }
    const std::string& Pin() const { return m_pin; }
    const std::string& Flow() const { return m_flow; }
    const std::string& Security() const { return m_security; }
    // What a module kept from an earlier run (SimState.h).
    void Restore(std::string name, std::string pin) {
        m_name = std::move(name);
        m_pin = std::move(pin);
    }

private:
    std::string Answer(const std::string& command);

    std::string m_name;
    std::string m_pin = "1234";
    std::string m_flow = "2";
    std::string m_security = "1";
    Quirks m_quirks;
    std::string m_pending; // bytes of a command whose CR LF has not come yet
};
