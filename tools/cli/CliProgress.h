// What zk405-cli shows of a wait on a terminal: the step each port is on ("com5: asking for the name,
// try 3 of 11") on one line of standard error, rewritten in place and kept out of the way of every
// line the run prints. Nothing of it reaches a pipe, a file, --quiet or --json.
#pragma once

#include "Job.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace zk405_cli {

using namespace provisioning;

// The step in a person's words, with the try after the first: "asking for the name, try 3 of 11".
std::string UnderWayWords(const StepUnderWay& underWay);
// The station's event: {"event":"progress","port":..,"step":..,"try":3,"of":11}; the step by the
// reports' own name, "open" for the open, and a Bluetooth step by the ledger's ("pair", "prove-pin",
// "unpair").
nlohmann::json ProgressJson(const StepUnderWay& underWay);

// The line itself, as bytes for the terminal: each port under way as "com5: ..." in the order the
// ports began, joined by "; " and cut to fit the terminal (never reaching its last column, where a
// terminal would wrap), or taken away.
class ProgressLine {
public:
    // eraseEscape: the terminal takes "\x1b[K"; otherwise the line is blanked with spaces.
    explicit ProgressLine(bool eraseEscape = true) : m_eraseEscape(eraseEscape) {}

    void Set(const StepUnderWay& underWay);
    void Clear(const std::string& port);
    // What takes the line drawn away, the cursor left at the line's start; "" when none is drawn.
    std::string Erase();
    // What puts the current line in place of the one drawn; "" when that is already there.
    std::string Draw(size_t columns);

private:
    std::string Text(size_t columns) const;

    const bool m_eraseEscape;
    std::vector<std::pair<std::string, std::string>> m_ports; // port, its words
    std::string m_drawn;
    size_t m_drawnColumns = 0;
};

// Whether a run shows progress at all: err is the process's standard error, a terminal that is not
// dumb, and neither --quiet nor --json was given. eraseEscape tells how the line is taken away.
bool ProgressWanted(const std::ostream& err, bool quiet, bool json, bool& eraseEscape);

// The line on err, told from any thread. A burst of steps is drawn at most every kRedrawInterval,
// the latest state always drawn in the end; every other line is written through Around.
class TerminalProgress {
public:
    static constexpr std::chrono::milliseconds kRedrawInterval{100};

    // Off: nothing is drawn, and Around only writes.
    TerminalProgress(std::ostream& err, bool on, bool eraseEscape);
    ~TerminalProgress() { Stop(); }
    TerminalProgress(const TerminalProgress&) = delete;
    TerminalProgress& operator=(const TerminalProgress&) = delete;

    void Show(const StepUnderWay& underWay);
    // Nothing is under way on port now: its step or the port itself ended.
    void Ended(const std::string& port);
    // The line taken away, write run, the line drawn again: no output meets half a progress line.
    template <typename Write> void Around(const Write& write) {
        const std::lock_guard<std::mutex> lock(m_lock);
        Put(m_line.Erase());
        write();
        Redraw();
    }
    // The line taken away for good; later calls draw nothing.
    void Stop();

private:
    void Changed();
    void DrawLoop();
    void Redraw();
    void Put(const std::string& bytes);

    std::ostream& m_err;
    bool m_on;
    std::mutex m_lock;
    std::condition_variable m_changed;
    ProgressLine m_line;
    bool m_dirty = false;
    bool m_stopping = false;
    std::thread m_drawer;
};

// The progress of a command's ports: drawn on err when ProgressWanted, otherwise off.
std::unique_ptr<TerminalProgress> ProgressOn(std::ostream& err, bool quiet, bool json);

} // namespace zk405_cli
