// The station's loop with a second source of modules beside the tty watcher: how often it asks that
// source, which is how long a module found there waits before the station takes it.
#include "Station.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace provisioning;
using Clock = std::chrono::steady_clock;

// Reports nothing, and keeps when it was asked and how long it was allowed to wait.
class CountingSource final : public PortSource {
public:
    CountingSource(std::vector<Clock::time_point>& asked, std::vector<int>& waits) : m_asked(asked), m_waits(waits) {}
    std::vector<PortEvent> Present() override { return {}; }
    std::vector<PortEvent> Changes(int waitMs) override {
        m_asked.push_back(Clock::now());
        m_waits.push_back(waitMs);
        return {};
    }

private:
    std::vector<Clock::time_point>& m_asked;
    std::vector<int>& m_waits;
};

class QuietObserver final : public StationObserver {
public:
    void Ready(const StationOptions&, size_t) override {}
    void Gone(const std::string&) override {}
    void WatchLost(const std::string&, const std::string&) override {}
    void WatchBack(const std::string&) override {}
    void Started(const RecordedResult&) override {}
    void Finished(const RecordedResult&, Verdict, const Tally&) override {}
    void LedgerWaiting(const LedgerLockWait&) override {}
    void LedgerBroken(const std::string&) override {}
    void Stopped(const Tally&, ExitStatus, int) override {}
};

// A module found by the Bluetooth discovery is told on the link's thread, which cannot wake the tty
// watcher's wait: the station must not leave it there for the watcher's whole wait.
TEST(StationTest, ASecondSourceIsAskedWithinTensOfMillisecondsWithoutBeingMadeToWait) {
    const TempDir dir;
    std::vector<Clock::time_point> asked;
    std::vector<int> waits;
    StationOptions options;
    options.ledgerPath = dir.File("ledger.jsonl");
    options.watchDir = dir.Path();
    options.bluetooth = true;
    options.input.name = "Linia {n}";
    options.bluetoothSource = [&](std::string&) -> std::unique_ptr<PortSource> {
        return std::make_unique<CountingSource>(asked, waits);
    };
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(1500);
    options.stopRequested = [end] { return Clock::now() >= end; };
    QuietObserver observer;
    std::string refusal;
    RunStation(options, observer, refusal);
    ASSERT_TRUE(refusal.empty()) << refusal;

    ASSERT_GE(asked.size(), 3u);
    EXPECT_EQ(std::count(waits.begin(), waits.end(), 0), static_cast<long>(waits.size())) << "the watcher waits";
    std::vector<long> gaps;
    for (size_t i = 1; i < asked.size(); ++i)
        gaps.push_back(std::chrono::duration_cast<std::chrono::milliseconds>(asked[i] - asked[i - 1]).count());
    std::nth_element(gaps.begin(), gaps.begin() + gaps.size() / 2, gaps.end());
    // The watcher's own wait is 200 ms; a median well under it is not the load of the moment.
    EXPECT_LT(gaps[gaps.size() / 2], 120) << asked.size() << " looks in 1.5 s";
}

} // namespace
