// The conversation against zk405-sim with the real one-second wait: what a late module does to the
// name query, the spacing of the programming sequence, and what an exchange costs beyond its wait.
#include "AllFourTicked.h"
#include "ChildProcess.h"
#include "ModuleCommands.h"
#include "TempDir.h"
#include "Transcript.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

using Clock = std::chrono::steady_clock;

double MsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

class SimulatorTimingTest : public ::testing::Test {
protected:
    void SetUp() override { setenv("XDG_RUNTIME_DIR", m_dir.Path().c_str(), 1); }

    TempDir m_dir;
    CSerialPort m_port;
};

TEST_F(SimulatorTimingTest, ALateReplyIsFoundByTheNextAttempt) {
    const std::string transcript = m_dir.File("late.txt");
    ChildProcess sim(
        {ZK405_SIM_PROGRAM, "--late-ms", "1500", "--name", "Spóźniony", "--transcript", transcript});
    ASSERT_EQ(m_port.Open(sim.ReadLine().c_str(), 9600), 0);
    module_commands::CommandLink link;
    link.port = &m_port;

    std::string name;
    EXPECT_TRUE(QueryModuleName(name, link));
    EXPECT_EQ(name, "Sp\xF3\x9Fniony");
    EXPECT_EQ(Commands(ReadTranscript(transcript)), std::vector<std::string>(2, "AT+BNAME?"));
}

TEST_F(SimulatorTimingTest, ProgrammingIsSpacedBySecondsAndCostsLittleMore) {
    const std::string transcript = m_dir.File("program.txt");
    ChildProcess sim({ZK405_SIM_PROGRAM, "--transcript", transcript});
    ASSERT_EQ(m_port.Open(sim.ReadLine().c_str(), 9600), 0);

    // The real wait, timed: the gap from one wait's start to the next is a whole exchange.
    std::vector<Clock::time_point> waitStarts;
    std::vector<double> sleptMs;
    module_commands::CommandLink link;
    link.port = &m_port;
    link.wait = [&](uint32_t milliseconds) {
        waitStarts.push_back(Clock::now());
        module_commands::SleepMilliseconds(milliseconds);
        sleptMs.push_back(MsBetween(waitStarts.back(), Clock::now()));
    };

    ProgramModule(AllFourTicked("Kaldor 2", "4321", "XON/XOFF+RTS/CTS", 1), link);
    std::string name;
    ASSERT_TRUE(QueryModuleName(name, link));
    const Clock::time_point end = Clock::now();
    EXPECT_EQ(name, "Kaldor 2");

    const std::vector<TranscriptLine> lines = ReadTranscript(transcript);
    ASSERT_EQ(Commands(lines), (std::vector<std::string>{"AT+BNAME=Kaldor 2", "AT+BPIN=4321", "AT+BFLOW=3",
                                                         "AT+BSEC=2", "AT+BNAME?"}));
    // The tool writes the next command only after a full second's sleep, which is exact here. The
    // module sees the commands that far apart less the difference of two wake-up delays: well under
    // a millisecond on a quiet machine, more on a loaded one, never a whole exchange.
    for (double slept : sleptMs)
        EXPECT_GE(slept, 1000.0);
    for (size_t i = 1; i < lines.size(); ++i)
        EXPECT_GE(lines[i].ms - lines[i - 1].ms, 980.0) << "command " << i;

    waitStarts.push_back(end); // the last exchange ends with its read
    std::vector<double> overheads, beyondSleep;
    for (size_t i = 0; i + 1 < waitStarts.size(); ++i) {
        const double exchange = MsBetween(waitStarts[i], waitStarts[i + 1]);
        overheads.push_back(exchange - 1000.0);
        beyondSleep.push_back(exchange - sleptMs[i]);
    }
    const double worst = *std::max_element(overheads.begin(), overheads.end());
    double mean = 0;
    for (double overhead : overheads)
        mean += overhead / static_cast<double>(overheads.size());
    const double worstBeyondSleep = *std::max_element(beyondSleep.begin(), beyondSleep.end());
    std::printf("exchange overhead beyond 1000 ms: mean %.3f ms, worst %.3f ms (write, read and log: worst "
                "%.3f ms)\n",
                mean, worst, worstBeyondSleep);
    RecordProperty("overhead_mean_us", static_cast<int>(mean * 1000));
    RecordProperty("overhead_worst_us", static_cast<int>(worst * 1000));
    // The goal is under 2 ms. What the sleep overshoots is the scheduler's (tens of milliseconds on a
    // loaded machine); the part that is this program's own, writing, reading and logging, is held
    // to a loose bound so that only a real slowdown fails the build.
    EXPECT_LT(worstBeyondSleep, 20.0);
}

} // namespace
