// The station window's tests' bench: simulated modules (zk405-sim) linked into a watched folder on
// demand, the window made with a setup of the test's own, and waits on what the window shows, each
// with a deadline, with the window's events handled meanwhile.
#pragma once

#include "ChildProcess.h"
#include "Deadline.h"
#include "StationFrame.h"
#include "TempDir.h"
#include "Transcript.h"
#include "WxTestSupport.h"

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/weakref.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace station_test {

using Strings = std::vector<std::string>;

class Modules {
public:
    Modules(const TempDir& dir, size_t count, Strings options = {}, const std::string& folder = "watched")
        : m_watched(dir.File(folder)), m_transcript(dir.File("transcript")), m_count(count) {
        std::filesystem::create_directories(m_watched);
        Strings args = {ZK405_SIM_PROGRAM, "--count", std::to_string(count), "--transcript", m_transcript};
        args.insert(args.end(), options.begin(), options.end());
        m_sim = std::make_unique<ChildProcess>(args);
        for (size_t i = 0; i < count; ++i)
            m_ports.push_back(m_sim->ReadLine());
    }
    const std::string& Watched() const { return m_watched; }
    std::string Link(size_t index) const { return m_watched + "/m" + std::to_string(index); }
    void PlugIn(size_t index) const { std::filesystem::create_symlink(m_ports.at(index), Link(index)); }
    Strings Received(size_t index) const {
        return Commands(ReadTranscript(m_count == 1 ? m_transcript : m_transcript + std::to_string(index)));
    }

private:
    std::string m_watched;
    std::string m_transcript;
    size_t m_count;
    std::unique_ptr<ChildProcess> m_sim;
    Strings m_ports;
};

// Handles the window's events until done() holds; false when it does not within timeoutMs.
inline bool RunUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
    for (const Deadline end(timeoutMs); !done();) {
        if (end.Passed())
            return false;
        wxTheApp->Yield(true);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

inline station_ui::StationSetup SetupFor(const TempDir& dir, const Modules& modules) {
    station_ui::StationSetup setup;
    setup.input.name = "Linia {n}";
    setup.input.pin = "98765";
    setup.ledgerPath = dir.File("ledger.jsonl");
    setup.place.watchDir = modules.Watched();
    return setup;
}

// The window, closed as a user closes it and waited for until it has gone when the test ends.
class Window {
public:
    explicit Window(const station_ui::StationSetup& setup) : m_frame(new station_ui::StationFrame(setup)) {
        m_frame->Show();
    }
    ~Window() { CloseAndWait(); }
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    station_ui::StationFrame& operator*() { return *m_frame; }
    station_ui::StationFrame* operator->() { return m_frame.get(); }
    // True once the window has finished its modules and gone.
    bool CloseAndWait(int timeoutMs = 15000) {
        if (m_frame)
            m_frame->Close();
        return RunUntil([this] { return !m_frame; }, timeoutMs);
    }

    // The row of the port, once it is listed.
    int RowOf(const std::string& port) {
        int row = -1;
        RunUntil([&] { return (row = m_frame->Rows().RowOf(port)) >= 0; });
        return row;
    }
    std::string Cell(const std::string& port, station_ui::Column column) {
        const int row = m_frame->Rows().RowOf(port);
        return row < 0 ? std::string() : m_frame->Rows().Cell(row, column);
    }
    // Waits for the port's row to show a result other than waiting or in flight.
    std::string ResultOf(const std::string& port, int timeoutMs = 8000) {
        std::string result;
        RunUntil(
            [&] {
                result = Cell(port, station_ui::kColResult);
                return !result.empty() && result != station_ui::text::kWaiting &&
                       result != station_ui::text::kInFlight;
            },
            timeoutMs);
        return result;
    }
    void Select(const std::string& port) {
        const int row = RowOf(port);
        ASSERT_GE(row, 0) << port;
        m_frame->List().SelectRow(static_cast<unsigned>(row));
        wxDataViewEvent changed(wxEVT_DATAVIEW_SELECTION_CHANGED, &m_frame->List(),
                                m_frame->List().RowToItem(row));
        m_frame->List().ProcessWindowEvent(changed);
    }

private:
    wxWeakRef<station_ui::StationFrame> m_frame;
};

// Each station window test in a folder of its own, which is also where its locks go.
class StationFixture : public ::testing::Test {
protected:
    void SetUp() override { setenv("XDG_RUNTIME_DIR", m_dir.Path().c_str(), 1); }
    TempDir m_dir;
};

} // namespace station_test
