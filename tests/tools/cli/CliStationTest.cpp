// zk405-cli's provisioning station and its ledger: modules appear as links to simulated modules in a
// watched folder; what each module receives, what the ledger holds after failures, kills and restarts,
// and what the person at the bench and a script see.
#include "ChildProcess.h"
#include "CliApp.h"
#include "CliRun.h"
#include "Deadline.h"
#include "Ledger.h"
#include "OtherProgram.h"
#include "RecordedJob.h"
#include "PseudoTerminal.h"
#include "StopSignal.h"
#include "TempDir.h"
#include "Transcript.h"
#include "Secret.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <cstdlib>
#include <fstream>
#include <future>
#include <map>
#include <set>
#include <spawn.h>
#include <sys/stat.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

using Json = nlohmann::json;
using Strings = std::vector<std::string>;
using namespace provisioning;

// A zk405-sim process playing count modules, each linked into a watched folder on demand.
class Bench {
public:
    Bench(const TempDir& dir, const std::string& tag, size_t count, Strings options = {}, std::string watched = {})
        : m_watched(watched.empty() ? dir.File("watched-" + tag) : watched), m_tag(tag),
          m_transcript(dir.File("transcript-" + tag)), m_count(count) {
        std::filesystem::create_directories(m_watched);
        Strings args = {ZK405_SIM_PROGRAM, "--count", std::to_string(count), "--transcript", m_transcript};
        args.insert(args.end(), options.begin(), options.end());
        m_sim = std::make_unique<ChildProcess>(args);
        for (size_t i = 0; i < count; ++i)
            m_ports.push_back(m_sim->ReadLine());
    }
    const std::string& Watched() const { return m_watched; }
    std::string Link(size_t index) const { return m_watched + "/" + m_tag + std::to_string(index); }
    // A module plugged in: its device appears at once, as udev makes it.
    void PlugIn(size_t index) const { std::filesystem::create_symlink(m_ports.at(index), Link(index)); }
    void Unplug(size_t index) const { std::filesystem::remove(Link(index)); }
    const std::string& Device(size_t index) const { return m_ports.at(index); }
    Strings Received(size_t index) const {
        return Commands(ReadTranscript(m_count == 1 ? m_transcript : m_transcript + std::to_string(index)));
    }

private:
    std::string m_watched;
    std::string m_tag;
    std::string m_transcript;
    size_t m_count;
    std::unique_ptr<ChildProcess> m_sim;
    Strings m_ports;
};

// The station run in-process on a thread of its own, so the test can plug modules in meanwhile.
class StationThread {
public:
    explicit StationThread(Strings args) : m_run(std::async(std::launch::async, [args] { return Cli(args); })) {}
    CliRun Result() {
        // A station that never ends would hang the suite: it has ten seconds for its --once modules.
        if (m_run.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            InstallStopHandler(); // as zk405-cli's main does: the station stops and returns
            kill(getpid(), SIGTERM);
            m_run.wait();
        }
        return m_run.get();
    }

private:
    std::future<CliRun> m_run;
};

// The station is watching once its ledger exists; a little more for inotify to be set up after it.
void WaitForStation(const std::string& ledger) {
    ASSERT_TRUE(WaitForPath(ledger));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

std::vector<LedgerRecord> Records(const std::string& path) {
    LedgerFormat format;
    std::string error;
    EXPECT_TRUE(LedgerFormatOf(path, format, error));
    const LedgerContents contents = ParseLedger(ReadWholeFile(path), format);
    EXPECT_TRUE(contents.badLines.empty()) << ReadWholeFile(path);
    return contents.records;
}

Strings Concat(Strings a, const Strings& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const Strings kProgrammed = {"AT+BNAME?", "AT+BNAME=Linia 1", "AT+BPIN=98765", "AT+BNAME?"};

class CliStationTest : public ::testing::Test {
protected:
    void SetUp() override { setenv("XDG_RUNTIME_DIR", m_dir.Path().c_str(), 1); }
    TempDir m_dir;
};

TEST_F(CliStationTest, EachNewModuleIsProgrammedOnceAndPortsThereAtTheStartAreLeftAlone) {
    Bench bench(m_dir, "a", 3, {"--reply-delay-ms", "20"});
    bench.PlugIn(0); // there before the station
    const std::string ledger = m_dir.File("line3.jsonl");
    StationThread station({"station", "--watch-dir", bench.Watched(), "--ledger", ledger, "--name", "Linia {n}",
                           "--pin", "98765", "--once", "2", "--json"});
    WaitForStation(ledger);
    bench.PlugIn(1);
    // The same device touched again (udev changing its mode) is no new module.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_EQ(utimensat(AT_FDCWD, bench.Link(1).c_str(), nullptr, AT_SYMLINK_NOFOLLOW), 0);
    bench.PlugIn(2);
    const CliRun run = station.Result();
    ASSERT_EQ(run.status, 0) << run.err;

    EXPECT_EQ(bench.Received(0), Strings{});
    EXPECT_EQ(bench.Received(1), kProgrammed);
    EXPECT_EQ(bench.Received(2), (Strings{"AT+BNAME?", "AT+BNAME=Linia 2", "AT+BPIN=98765", "AT+BNAME?"}));

    const std::vector<LedgerRecord> records = Records(ledger);
    ASSERT_EQ(records.size(), 4u);
    for (size_t i = 0; i < 2; ++i) {
        const LedgerRecord& started = records[2 * i];
        const LedgerRecord& done = records[2 * i + 1];
        EXPECT_EQ(started.event, "started");
        EXPECT_EQ(started.n, static_cast<long>(i + 1));
        EXPECT_EQ(started.port, bench.Link(i + 1));
        EXPECT_EQ(started.nameAfter, "Linia " + std::to_string(i + 1));
        EXPECT_EQ(done.event, "programmed");
        EXPECT_EQ(done.attempt, started.attempt);
        EXPECT_EQ(done.nameBefore, "ZK405");
        EXPECT_EQ(done.settings, (Strings{"name", "pin"}));
        EXPECT_EQ(done.result, "programmed");
        EXPECT_EQ(done.status, 0);
        EXPECT_EQ(done.station, started.station);
        EXPECT_NE(done.time.find('T'), std::string::npos);
        EXPECT_EQ(done.time.back(), 'Z');
    }
    EXPECT_FALSE(ShowsPin(ReadWholeFile(ledger), "98765"));

    // A script reads each event as it happens, the tally in every result.
    const std::vector<Json> events = run.Objects();
    ASSERT_GE(events.size(), 6u);
    EXPECT_EQ(events.front()["event"], "ready");
    EXPECT_EQ(events.front()["present"], 1);
    EXPECT_EQ(events.back()["event"], "stopped");
    EXPECT_EQ(events.back()["tally"]["programmed"], 2);
    size_t programmed = 0;
    for (const Json& event : events)
        if (event["event"] == "finished") {
            EXPECT_EQ(event["result"], "programmed");
            EXPECT_FALSE(event.contains("failure"));
            ++programmed;
            EXPECT_EQ(event["tally"]["programmed"].get<size_t>() >= programmed, true);
            EXPECT_EQ(event["steps"].size(), 4u);
        }
    EXPECT_EQ(programmed, 2u);
    // Each step and try as it begins, the name's tries counted out of eleven.
    Strings begun;
    for (const Json& event : events)
        if (event["event"] == "progress" && event["port"] == bench.Link(1))
            begun.push_back(event["step"].get<std::string>() + " " + event["try"].dump() + "/" + event["of"].dump());
    EXPECT_EQ(begun, (Strings{"open 1/1", "name before 1/11", "name 1/1", "pin 1/1", "name read back 1/11"}));

    // --include-present takes the port that was there all along.
    bench.Unplug(1);
    bench.Unplug(2);
    const CliRun again = Cli({"station", "--watch-dir", bench.Watched(), "--ledger", ledger, "--pin", "98765",
                           "--include-present", "--once", "1", "--json"});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(bench.Received(0).size(), 2u); // the name before, the PIN
}

TEST_F(CliStationTest, AFailingModuleKeepsItsNumberIsRecordedAndTheStationGoesOn) {
    Bench refusing(m_dir, "refusing", 1, {"--refuse", "AT+BPIN"});
    Bench good(m_dir, "good", 1, {}, refusing.Watched());
    const std::string ledger = m_dir.File("ledger.csv");
    StationThread station({"station", "--watch-dir", refusing.Watched(), "--ledger", ledger, "--name", "Linia {n}",
                           "--pin", "98765", "--once", "2"});
    WaitForStation(ledger);
    refusing.PlugIn(0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    good.PlugIn(0);
    const CliRun run = station.Result();
    EXPECT_EQ(run.status, 4) << run.err;
    EXPECT_EQ(good.Received(0), (Strings{"AT+BNAME?", "AT+BNAME=Linia 2", "AT+BPIN=98765", "AT+BNAME?"}));

    const std::vector<LedgerRecord> records = Records(ledger);
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[1].event, "failed");
    EXPECT_EQ(records[1].n, 1);
    EXPECT_EQ(records[1].result, "failed");
    EXPECT_EQ(records[1].status, 4);
    EXPECT_EQ(records[1].message, "the module refused the pin");
    EXPECT_EQ(records[1].settings, (Strings{"name", "pin"})); // both went out; the PIN was refused
    EXPECT_EQ(records[3].event, "programmed");
    EXPECT_EQ(records[3].n, 2);
    const std::string text = ReadWholeFile(ledger);
    EXPECT_FALSE(ShowsPin(text, "98765"));
    EXPECT_EQ(text.compare(0, CsvHeader().size(), CsvHeader()), 0);

    // The bench sees each result with its kind of failure and the running tally, and a string is no
    // terminal.
    EXPECT_NE(run.out.find("failed (not-confirmed)  " + refusing.Link(0) +
                           "  #1 the module refused the pin; program it again; if it refuses the PIN again, set the "
                           "module aside 0."),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("programmed  " + good.Link(0) + "  #2 \"Linia 2\""), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("[ programmed 1 | failed 1 | skipped 0 ]"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find('\x1b'), std::string::npos);
    // Results on stdout, the waiting on stderr, as every command keeps them.
    EXPECT_EQ(run.out.find("Waiting for modules"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("Waiting for modules"), std::string::npos) << run.err;

    const CliRun summary = Cli({"ledger", ledger, "--json"});
    ASSERT_EQ(summary.status, 0) << summary.err;
    const Json object = summary.Objects().at(0);
    EXPECT_EQ(object["programmed"], 1);
    EXPECT_EQ(object["failed"], 1);
    EXPECT_EQ(object["failures"][0], (Json{{"reason", "the module refused the pin"}, {"count", 1}}));
    EXPECT_EQ(object["last_n"], 2);
    EXPECT_EQ(Cli({"ledger", ledger, "--check"}).status, 0);

    // No thread for a module (a process limit) is that module's failure, untouched, and no crash.
    if (std::getenv("ASAN_OPTIONS") != nullptr)
        return; // an address space of 1 GiB cannot hold AddressSanitizer's shadow
    const std::string limitedLedger = m_dir.File("limited.csv");
    ChildProcess limited({"/bin/sh", "-c", R"(ulimit -s 4194304 && ulimit -v 1048576 && exec "$0" "$@")",
                          ZK405_CLI_PROGRAM, "station", "--watch-dir", refusing.Watched(), "--ledger", limitedLedger,
                          "--pin", "98765", "--include-present", "--once", "1", "--json"});
    const std::string events = limited.ReadToEnd();
    EXPECT_EQ(limited.Wait(), 2) << events;
    EXPECT_NE(events.find(R"("event":"finished")"), std::string::npos) << events;
    EXPECT_NE(events.find(R"("failure":"not-opened")"), std::string::npos) << events; // it never reached its open
    EXPECT_NE(events.find(R"("result":"failed")"), std::string::npos) << events;
    EXPECT_NE(events.find("no thread"), std::string::npos) << events;
    EXPECT_NE(events.find(R"("hint":"close programs you do not need, or work fewer ports at once)"), std::string::npos)
        << events;
}

// The station keeps each attempt's transcript and runs --on-result after each result record, from the
// module's own job: a failure of the command is in the finished event and on stderr, never in the
// module's result or the station's status.
TEST_F(CliStationTest, EachResultHasItsTranscriptAndACommandWhoseFailureIsToldNotCounted) {
    Bench bench(m_dir, "after", 1);
    bench.PlugIn(0);
    const std::string ledger = m_dir.File("after.jsonl");
    // Fails (5) only once it has read the result record and seen its number in the environment.
    const std::string command =
        R"(read -r line && test "$ZK405_N" = 1 && test "${line#*\"event\":\"programmed\"}" != "$line" && exit 5)";
    StationThread station({"station", "--watch-dir", bench.Watched(), "--ledger", ledger, "--name", "Linia {n}",
                           "--include-present", "--once", "1", "--json", "--on-result", command});
    const CliRun run = station.Result();
    EXPECT_EQ(run.status, 0) << run.err;
    Json finished;
    for (const Json& event : run.Objects())
        if (event["event"] == "finished")
            finished = event;
    ASSERT_FALSE(finished.is_null()) << run.out;
    EXPECT_EQ(finished["result"], "programmed");
    EXPECT_EQ(finished["on_result"],
              (Json{{"end", "exited"}, {"failed", true}, {"status", 5}, {"message", "exited with status 5"}}));
    EXPECT_EQ(finished["tally"]["failed"], 0);
    const std::vector<LedgerRecord> records = Records(ledger);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(finished["transcript"], m_dir.File(records[1].transcript));
    EXPECT_NE(ReadWholeFile(finished["transcript"]).find("Result command: exited with status 5\n"), std::string::npos);
    EXPECT_NE(run.err.find("zk405-cli: " + bench.Link(0) +
                           ": the --on-result command exited with status 5; the module's result stands\n"),
              std::string::npos)
        << run.err;
}

// What the bench reads is in its words: the reports' step names ("name before") stay in the steps.
TEST_F(CliStationTest, AHeldLineIsToldInTheBenchsWordsWithWhatToDo) {
    PseudoTerminal pty;
    ASSERT_TRUE(pty.HoldPortOutput());
    const std::string watched = m_dir.File("watched-held");
    std::filesystem::create_directories(watched);
    const std::string ledger = m_dir.File("ledger.jsonl");
    StationThread station({"station", "--watch-dir", watched, "--ledger", ledger, "--pin", "98765", "--once", "1"});
    WaitForStation(ledger);
    std::filesystem::create_symlink(pty.SlavePath(), watched + "/held0");
    const CliRun run = station.Result();
    EXPECT_EQ(run.status, 2) << run.err;
    EXPECT_NE(run.out.find("failed (line-stuck)  " + watched + "/held0  the line is stuck: the question for its name did "
                           "not go out within 2 s (flow control held?); check the cable and the adapter"),
              std::string::npos)
        << run.out;
    EXPECT_EQ(run.out.find("name before"), std::string::npos) << run.out;
    EXPECT_EQ(Records(ledger).back().message.find("name before"), std::string::npos);
}

TEST_F(CliStationTest, APluggedAgainModuleIsNewButSkipDoneLeavesOutWhatTheLedgerHas) {
    Bench bench(m_dir, "replug", 2);
    const std::string ledger = m_dir.File("ledger.jsonl");
    const Strings common = {"station", "--watch-dir", bench.Watched(), "--ledger", ledger, "--name", "Linia {n}",
                            "--pin", "98765", "--json"};
    StationThread station(Concat(common, {"--skip-done", "--once", "3"}));
    WaitForStation(ledger);
    bench.PlugIn(0);
    ASSERT_TRUE(WaitUntil(Deadline(3000), std::chrono::milliseconds(10), [&] { return Records(ledger).size() == 2; }));
    bench.Unplug(0);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    bench.PlugIn(0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    bench.PlugIn(1);
    const CliRun run = station.Result();
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(bench.Received(0), Concat(kProgrammed, {"AT+BNAME?"})); // read, found in the ledger, left
    EXPECT_EQ(bench.Received(1), (Strings{"AT+BNAME?", "AT+BNAME=Linia 2", "AT+BPIN=98765", "AT+BNAME?"}));
    const std::vector<LedgerRecord> records = Records(ledger);
    ASSERT_EQ(records.size(), 5u);
    EXPECT_EQ(records[2].event, "skipped");
    EXPECT_EQ(records[2].n, 0); // no number taken
    EXPECT_EQ(records[2].nameBefore, "Linia 1");
    EXPECT_EQ(run.Objects().back()["tally"], (Json{{"programmed", 2}, {"failed", 0}, {"skipped", 1}}));
    EXPECT_NE(run.out.find(Json{{"event", "gone"}, {"port", bench.Link(0)}}.dump()), std::string::npos) << run.out;

    // Without --skip-done the same module plugged in again is programmed again, with a new number.
    bench.Unplug(0);
    StationThread plain(Concat(common, {"--once", "1"}));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    bench.PlugIn(0);
    EXPECT_EQ(plain.Result().status, 0);
    EXPECT_EQ(Records(ledger).back().nameAfter, "Linia 3");
}

TEST_F(CliStationTest, ANameTooLongForItsNumberIsRefusedWithoutTakingIt) {
    Bench bench(m_dir, "long", 1);
    const std::string ledger = m_dir.File("ledger.jsonl");
    LedgerRecord earlier;
    earlier.attempt = "earlier";
    earlier.event = kLedgerStarted;
    earlier.n = 9;
    std::ofstream(ledger) << FormatRecord(earlier, LedgerFormat::JsonLines);
    // 30 characters and the number: 31 up to 9, one too many from 10 on.
    StationThread station({"station", "--watch-dir", bench.Watched(), "--ledger", ledger, "--name",
                           std::string(30, 'x') + "{n}", "--once", "1", "--json"});
    WaitForStation(ledger);
    bench.PlugIn(0);
    const CliRun run = station.Result();
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_EQ(bench.Received(0), Strings{"AT+BNAME?"}); // nothing programmed
    const std::vector<LedgerRecord> records = Records(ledger);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].event, "failed");
    EXPECT_EQ(records[1].n, 0); // 10 stays free for a name that fits
    EXPECT_NE(records[1].message.find("at most 31"), std::string::npos) << records[1].message;
    const Json failed = run.Objects().at(run.Objects().size() - 2);
    EXPECT_EQ(failed["event"], "finished") << run.out;
    EXPECT_EQ(failed["result"], "failed") << run.out;
    EXPECT_EQ(failed["failure"], "not-confirmed") << run.out;
    EXPECT_EQ(failed.value("hint", ""), "shorten the name so that it fits with this number, then program the module again");
    bench.Unplug(0);
}

// The station as a program, with its events on a pipe.
class StationProcess {
public:
    StationProcess(const std::string& watched, const std::string& ledger, Strings options = {}) {
        Strings args = {ZK405_CLI_PROGRAM, "station", "--watch-dir", watched, "--ledger", ledger,
                        "--name",          "Linia {n}", "--pin",     "98765", "--json"};
        args.insert(args.end(), options.begin(), options.end());
        m_process = std::make_unique<ChildProcess>(args);
        m_ready = Json::parse(m_process->ReadLine(), nullptr, false);
    }
    bool Ready() const { return m_ready.is_object() && m_ready["event"] == "ready"; }
    // The next event of this kind, skipping others; null after the time-out.
    Json Next(const std::string& event, int timeoutMs = 5000) {
        const Deadline deadline(timeoutMs);
        while (!deadline.Passed()) {
            const Json object = Json::parse(m_process->ReadLine(deadline.MsLeft()), nullptr, false);
            if (object.is_object() && object["event"] == event)
                return object;
        }
        return nullptr;
    }
    // The next attempt's end when its result is this one; null for another result or after the time-out.
    Json Finished(const std::string& result, int timeoutMs = 5000) {
        const Json event = Next("finished", timeoutMs);
        return event.is_object() && event["result"] == result ? event : Json(nullptr);
    }
    ChildProcess& Process() { return *m_process; }

private:
    std::unique_ptr<ChildProcess> m_process;
    Json m_ready;
};

TEST_F(CliStationTest, AStationKilledMidModuleKeepsTheNumberAndLeavesNoTornRecord) {
    Bench slow(m_dir, "slow", 1, {"--reply-delay-ms", "400"});
    Bench fast(m_dir, "fast", 1, {}, slow.Watched());
    const std::string ledger = m_dir.File("ledger.csv");
    {
        StationProcess station(slow.Watched(), ledger);
        ASSERT_TRUE(station.Ready());
        slow.PlugIn(0);
        const Json started = station.Next("started");
        ASSERT_TRUE(started.is_object());
        EXPECT_EQ(started["n"], 1);
        // The event says what the ledger's own "started" record says, before the job has ended.
        EXPECT_EQ(started["port"], slow.Link(0));
        EXPECT_EQ(started["name_before"], "ZK405");
        const std::vector<LedgerRecord> records = Records(ledger);
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(started["attempt"], records[0].attempt);
        EXPECT_EQ(started["time"], records[0].time);
        std::this_thread::sleep_for(std::chrono::milliseconds(200)); // the name is on its way out
        ASSERT_TRUE(station.Process().Signal(SIGKILL));
        EXPECT_EQ(station.Process().Wait(), 128 + SIGKILL);
    }
    slow.Unplug(0);
    {
        StationProcess station(slow.Watched(), ledger, {"--once", "1"});
        ASSERT_TRUE(station.Ready());
        fast.PlugIn(0);
        const Json done = station.Finished("programmed");
        EXPECT_EQ(done["n"], 2);
        EXPECT_EQ(done["name_after"], "Linia 2");
        EXPECT_EQ(station.Process().Wait(), 0);
    }
    EXPECT_EQ(Cli({"ledger", ledger, "--check"}).status, 0);
    const Json summary = Cli({"ledger", ledger, "--json"}).Objects().at(0);
    EXPECT_EQ(summary["interrupted"], 1);
    EXPECT_EQ(summary["programmed"], 1);
    EXPECT_EQ(summary["last_n"], 2);
}

TEST_F(CliStationTest, CtrlCFinishesTheModuleInFlightRecordsItAndSaysTheRunWasCutShort) {
    Bench slow(m_dir, "slow", 1, {"--reply-delay-ms", "300"});
    const std::string ledger = m_dir.File("ledger.jsonl");
    StationProcess station(slow.Watched(), ledger, {"--once", "2"});
    ASSERT_TRUE(station.Ready());
    slow.PlugIn(0);
    ASSERT_TRUE(station.Next("started").is_object());
    ASSERT_TRUE(station.Process().Signal(SIGINT));
    const Json done = station.Finished("programmed");
    ASSERT_TRUE(done.is_object());
    EXPECT_EQ(done["steps"].size(), 4u);
    const Json stopped = station.Next("stopped");
    EXPECT_EQ(stopped["signal"], SIGINT);
    // Two modules were asked for and one was done: a script must not take that for success.
    EXPECT_EQ(station.Process().Wait(), 128 + SIGINT);
    EXPECT_EQ(Records(ledger).back().event, "programmed");
}

TEST_F(CliStationTest, TwoStationsOnOneLedgerNeverHandOutTheSameNumber) {
    const std::string ledger = m_dir.File("shared.jsonl");
    // The lock itself: processes taking numbers as fast as they can.
    std::vector<pid_t> children;
    for (int child = 0; child < 4; ++child) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            Ledger mine;
            std::string error;
            bool ok = mine.Open(ledger, error);
            for (int i = 0; ok && i < 25; ++i) {
                LedgerRecord record;
                record.attempt = NewAttemptId();
                ok = mine.Start(
                    record, [](long n, std::string& name, std::string&) { return !(name = std::to_string(n)).empty(); },
                    error);
            }
            _exit(ok ? 0 : 1);
        }
        children.push_back(pid);
    }
    for (const pid_t pid : children) {
        int status = -1;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    // Two ledgers open in one process (the lock belongs to the open file, not to the process).
    std::vector<std::thread> threads;
    for (int thread = 0; thread < 2; ++thread)
        threads.emplace_back([&ledger] {
            Ledger mine;
            std::string error;
            ASSERT_TRUE(mine.Open(ledger, error)) << error;
            for (int i = 0; i < 25; ++i) {
                LedgerRecord record;
                record.attempt = NewAttemptId();
                ASSERT_TRUE(mine.Start(
                    record, [](long, std::string& name, std::string&) { return !(name = "x").empty(); }, error));
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    std::set<long> numbers;
    for (const LedgerRecord& record : Records(ledger))
        EXPECT_TRUE(numbers.insert(record.n).second) << record.n;
    EXPECT_EQ(numbers.size(), 150u);
    EXPECT_EQ(*numbers.rbegin(), 150);

    // Two stations, modules appearing on both at once.
    Bench left(m_dir, "left", 3);
    Bench right(m_dir, "right", 3);
    StationProcess a(left.Watched(), ledger, {"--once", "3"});
    StationProcess b(right.Watched(), ledger, {"--once", "3"});
    ASSERT_TRUE(a.Ready() && b.Ready());
    for (size_t i = 0; i < 3; ++i) {
        left.PlugIn(i);
        right.PlugIn(i);
    }
    EXPECT_EQ(a.Process().Wait(10000), 0);
    EXPECT_EQ(b.Process().Wait(10000), 0);
    std::set<std::string> names;
    for (const LedgerRecord& record : Records(ledger))
        if (record.event == "programmed") {
            EXPECT_TRUE(names.insert(record.nameAfter).second) << record.nameAfter;
        }
    EXPECT_EQ(names, (std::set<std::string>{"Linia 151", "Linia 152", "Linia 153", "Linia 154", "Linia 155",
                                            "Linia 156"}));
}

// The ledger's own reading of torn lines is the core's (tests/provisioning/LedgerTest.cpp); here what
// `ledger --check` and `ledger --json` say of them.
TEST_F(CliStationTest, LedgerCheckNamesTornAndMangledLines) {
    LedgerRecord record;
    record.time = "2026-12-07T10:00:00.000Z";
    record.attempt = "a1";
    record.event = "programmed";
    record.n = 41;
    record.result = "programmed";
    record.status = 0;
    for (const std::string file : {"torn.csv", "torn.jsonl"}) {
        const std::string path = m_dir.File(file);
        LedgerFormat format;
        std::string error;
        ASSERT_TRUE(LedgerFormatOf(path, format, error));
        const std::string line = FormatRecord(record, format);
        // A whole record, a line mangled by hand, and a record cut off by a killed writer.
        std::ofstream(path) << (format == LedgerFormat::Csv ? CsvHeader() : "") << line << "not,a,record\n"
                            << line.substr(0, line.size() / 2);
        const size_t first = format == LedgerFormat::Csv ? 2 : 1;
        const CliRun check = Cli({"ledger", path, "--check"});
        EXPECT_EQ(check.status, 7);
        EXPECT_NE(check.err.find("line " + std::to_string(first + 1) + ": not a ledger record"), std::string::npos)
            << check.err;
        EXPECT_NE(check.err.find("line " + std::to_string(first + 2) + ": not whole"), std::string::npos);
        EXPECT_EQ(Cli({"ledger", path, "--json"}).Objects().at(0)["bad_lines"], 2);
    }
}

TEST_F(CliStationTest, ProgramWithALedgerNumbersFromItAndNeverWritesThePin) {
    Bench bench(m_dir, "program", 2);
    const std::string ledger = m_dir.File("ledger.jsonl");
    const Strings args = {"program", bench.Device(0), bench.Device(1), "--name", "P{n}", "--pin", "98765",
                          "--ledger", ledger, "--json", "--quiet"};
    ASSERT_EQ(Cli(args).status, 0);
    const CliRun second = Cli(args);
    ASSERT_EQ(second.status, 0);
    std::set<std::string> names;
    for (const LedgerRecord& record : Records(ledger))
        if (record.event == "programmed")
            names.insert(record.nameAfter);
    EXPECT_EQ(names, (std::set<std::string>{"P1", "P2", "P3", "P4"}));
    EXPECT_FALSE(ShowsPin(ReadWholeFile(ledger), "98765"));
    EXPECT_EQ(Cli({"program", bench.Device(0), "--pin", "1", "--ledger", m_dir.File("ledger.txt")}).status, 1);
    EXPECT_EQ(bench.Received(0).size(), 8u); // the refused run sent nothing
    // Sent without looking at the answers is not recorded as programmed.
    ASSERT_EQ(Cli({"program", bench.Device(0), "--flow", "BRAK", "--no-verify", "--ledger", ledger}).status, 0);
    EXPECT_EQ(Records(ledger).back().event, "sent");
    EXPECT_EQ(Records(ledger).back().result, "sent");
    EXPECT_EQ(Records(ledger).back().settings, Strings{"flow"});
}

// One module's result in one word everywhere it shows: program's table and JSON, the station's line
// and event, both ledgers and their summaries.
struct OneWordCase {
    const char* label;
    Strings simOptions;
    const char* result;
    const char* failure; // "" when the attempt did not fail
};

class OneWordEverywhere : public CliStationTest, public ::testing::WithParamInterface<OneWordCase> {};

INSTANTIATE_TEST_SUITE_P(, OneWordEverywhere,
                         ::testing::Values(OneWordCase{"programmed", {}, "programmed", ""},
                                           OneWordCase{"refused", {"--refuse", "AT+BPIN"}, "failed", "not-confirmed"}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_P(OneWordEverywhere, ProgramStationAndLedgerSayTheSameWord) {
    const OneWordCase& c = GetParam();
    const std::string text = *c.failure == '\0' ? c.result : std::string(c.result) + " (" + c.failure + ")";
    Bench bench(m_dir, "word", 1, c.simOptions);
    bench.PlugIn(0);
    const auto checkJson = [&](const Json& object, const std::string& where) {
        EXPECT_EQ(object.value("result", ""), c.result) << where << ": " << object;
        EXPECT_EQ(object.value("failure", ""), c.failure) << where << ": " << object;
    };
    const auto checkLedger = [&](const std::string& ledger) {
        const std::string written = ReadWholeFile(ledger);
        EXPECT_EQ(Records(ledger).back().event, c.result) << written;
        EXPECT_EQ(Records(ledger).back().result, c.result) << written;
        // JSON Lines names the kind of failure too; a CSV ledger keeps the columns its readers know.
        EXPECT_EQ(Records(ledger).back().failure, ledger.ends_with(".jsonl") ? c.failure : "") << written;
        for (const char* old : {",done,", "\"done\"", "PROGRAMMED", "FAILED"})
            EXPECT_EQ(written.find(old), std::string::npos) << old << " in " << written;
        const CliRun summary = Cli({"ledger", ledger, "--json"});
        EXPECT_EQ(summary.Objects().at(0).value(c.result, 0), 1) << summary.out;
    };

    const Strings program = {"program", bench.Device(0), "--pin", "98765"};
    const CliRun table = Cli(Concat(program, {"--ledger", m_dir.File("program.csv")}));
    EXPECT_NE(table.out.find("  " + text + "  "), std::string::npos) << table.out;
    checkLedger(m_dir.File("program.csv"));
    const CliRun json = Cli(Concat(program, {"--json", "--ledger", m_dir.File("program.jsonl")}));
    checkJson(json.Objects().at(0), "program --json");
    checkLedger(m_dir.File("program.jsonl"));

    const Strings station = {"station", "--watch-dir", bench.Watched(), "--pin", "98765", "--include-present",
                             "--once", "1"};
    const CliRun line = Cli(Concat(station, {"--ledger", m_dir.File("station.csv")}));
    EXPECT_EQ(line.out.find(text + "  " + bench.Link(0)), 0u) << line.out;
    checkLedger(m_dir.File("station.csv"));
    const CliRun events = Cli(Concat(station, {"--json", "--ledger", m_dir.File("station.jsonl")}));
    const std::vector<Json> objects = events.Objects();
    const auto finished = std::find_if(objects.begin(), objects.end(),
                                       [](const Json& event) { return event["event"] == "finished"; });
    ASSERT_NE(finished, objects.end()) << events.out;
    checkJson(*finished, "station --json");
    checkLedger(m_dir.File("station.jsonl"));
}

// What the bench sees when the station's output is a terminal, a pipe, or a terminal with NO_COLOR.
std::string StationOnTerminal(const Strings& args, bool noColour) {
    PseudoTerminal terminal;
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    if (noColour)
        setenv("NO_COLOR", "1", 1);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, terminal.SlavePath().c_str(), O_RDWR | O_NOCTTY, 0);
    pid_t pid = -1;
    posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    unsetenv("NO_COLOR");
    int status = 0;
    waitpid(pid, &status, 0);
    return terminal.ReadFromPort(1, 1000, 50);
}

TEST_F(CliStationTest, ColourAndTheBellOnlyOnATerminalWithoutNoColor) {
    Bench refusing(m_dir, "colour", 3, {"--refuse", "AT+BPIN"});
    for (size_t i = 0; i < 3; ++i)
        refusing.PlugIn(i);
    const auto args = [&](size_t index) {
        return Strings{ZK405_CLI_PROGRAM, "station", "--watch-dir", refusing.Watched(), "--ledger",
                       m_dir.File("l" + std::to_string(index) + ".csv"), "--pin", "98765", "--include-present",
                       "--once", "1"};
    };
    const std::string terminal = StationOnTerminal(args(0), false);
    EXPECT_NE(terminal.find("\x1b[1;31mfailed (not-confirmed)\x1b[0m"), std::string::npos) << terminal;
    EXPECT_NE(terminal.find('\a'), std::string::npos);
    const std::string noColour = StationOnTerminal(args(1), true);
    EXPECT_NE(noColour.find("failed (not-confirmed)"), std::string::npos) << noColour;
    EXPECT_EQ(noColour.find('\x1b'), std::string::npos);
    ChildProcess piped(args(2));
    const std::string pipe = piped.ReadToEnd();
    EXPECT_EQ(piped.Wait(), 4);
    EXPECT_NE(pipe.find("failed (not-confirmed)"), std::string::npos) << pipe;
    EXPECT_EQ(pipe.find('\x1b'), std::string::npos);
    EXPECT_EQ(pipe.find('\a'), std::string::npos);
}


// A link made the way scripts and tools make one: under a passing name, then renamed to its own
// (`ln -s DEV .tmp && mv .tmp ttyUSB0`; `ln -sf`, which links a CuXXXXXX name and renames it over the
// old link; udev's .#names). The second command of a script starts a moment after the first.
void LinkByRename(const std::string& device, const std::string& passing, const std::string& link) {
    std::filesystem::create_symlink(device, passing);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::filesystem::rename(passing, link);
}

TEST_F(CliStationTest, AModuleIsItsDeviceSoPassingNamesAndSecondNamesBringNoAttemptOfTheirOwn) {
    Bench bench(m_dir, "dev", 7);
    const std::string watched = bench.Watched();
    const auto link = [&](size_t index) { return watched + "/ttyUSB" + std::to_string(index); };
    std::filesystem::create_symlink(bench.Device(6), link(3)); // there at the start, left alone
    const std::string ledger = m_dir.File("ledger.jsonl");
    // One attempt too many would use up --once before the last module.
    StationThread station({"station", "--watch-dir", watched, "--ledger", ledger, "--name", "Linia {n}", "--pin",
                           "98765", "--once", "6", "--json"});
    WaitForStation(ledger);
    LinkByRename(bench.Device(0), watched + "/.tmp.x1Yz", link(0));
    LinkByRename(bench.Device(1), watched + "/.#ttyUSB1c0ffee", link(1));
    std::filesystem::create_symlink("/nonexistent/ttyUSB9", link(2)); // ln -sf over a link to nothing
    LinkByRename(bench.Device(2), watched + "/CuAb12Cd", link(2));
    LinkByRename(bench.Device(3), watched + "/CuXy34Ef", link(3)); // ln -sf over a module's old link
    std::filesystem::create_symlink(bench.Device(4), link(4));
    ASSERT_TRUE(WaitUntil(Deadline(5000), std::chrono::milliseconds(10), [&] {
        const std::vector<LedgerRecord> records = Records(ledger);
        return std::any_of(records.begin(), records.end(),
                           [&](const LedgerRecord& r) { return r.port == link(4) && r.event != "started"; });
    }));
    // The same device under a second name (a by-id link) while it stays: the module done already.
    std::filesystem::create_symlink(bench.Device(4), watched + "/by-id-4");
    // Links out of the folder to character devices that are no serial line.
    std::filesystem::create_symlink("/dev/null", watched + "/null0");
    std::filesystem::create_symlink("/dev/tty", watched + "/tty0");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::filesystem::create_symlink(bench.Device(5), link(5));
    const CliRun run = station.Result();
    ASSERT_EQ(run.status, 0) << run.out << run.err;

    std::map<std::string, size_t> attempts;
    for (const LedgerRecord& record : Records(ledger))
        if (record.event == "started")
            ++attempts[record.port];
    std::map<std::string, size_t> expected;
    for (size_t i = 0; i < 6; ++i)
        expected[link(i)] = 1;
    EXPECT_EQ(attempts, expected) << ReadWholeFile(ledger);
    for (size_t i = 0; i < 6; ++i)
        EXPECT_EQ(bench.Received(i).size(), kProgrammed.size()) << i;
    EXPECT_EQ(bench.Received(6), Strings{}); // its link was taken over by module 3's
}

TEST_F(CliStationTest, AWatchedFolderRemovedMovedOrReplacedIsSaidAndFollowedUnderItsPath) {
    Bench bench(m_dir, "again", 4);
    const std::string watched = bench.Watched();
    const std::string ledger = m_dir.File("ledger.jsonl");
    StationProcess station(watched, ledger);
    ASSERT_TRUE(station.Ready());
    bench.PlugIn(0);
    ASSERT_TRUE(station.Finished("programmed").is_object());

    const auto lostAndBack = [&](const std::string& why) {
        const Json lost = station.Next("watch_lost");
        ASSERT_TRUE(lost.is_object()) << why;
        EXPECT_EQ(lost["watching"], watched);
        EXPECT_EQ(lost["reason"], why);
        const Json back = station.Next("watching");
        ASSERT_TRUE(back.is_object()) << why;
        EXPECT_EQ(back["watching"], watched);
    };
    std::filesystem::remove_all(watched);
    std::filesystem::create_directory(watched);
    lostAndBack("it was removed");
    bench.PlugIn(1);
    Json done = station.Finished("programmed");
    EXPECT_EQ(done["n"], 2);
    EXPECT_EQ(done["port"], bench.Link(1));

    std::filesystem::rename(watched, watched + ".old");
    std::filesystem::create_directory(watched);
    lostAndBack("it was moved away");
    bench.PlugIn(2);
    done = station.Finished("programmed");
    EXPECT_EQ(done["n"], 3);

    // Replaced by a link to another folder, as a line engineer points the bench at a new one.
    const std::string other = m_dir.File("other");
    std::filesystem::create_directory(other);
    std::filesystem::remove_all(watched);
    std::filesystem::create_directory_symlink(other, watched);
    lostAndBack("it was removed");
    bench.PlugIn(3);
    done = station.Finished("programmed");
    EXPECT_EQ(done["n"], 4);
    EXPECT_EQ(done["port"], bench.Link(3));
    ASSERT_TRUE(station.Process().Signal(SIGTERM));
    EXPECT_EQ(station.Process().Wait(), 0);
    EXPECT_EQ(Records(ledger).size(), 8u);
    for (size_t i = 0; i < 4; ++i)
        EXPECT_EQ(bench.Received(i).size(), 4u) << i;
}

// zk405-cli as a process with its standard error on the same pipe as its output.
std::unique_ptr<ChildProcess> WithErrors(Strings args) {
    args.insert(args.begin(), {"/bin/sh", "-c", R"(exec "$0" "$@" 2>&1)", ZK405_CLI_PROGRAM});
    return std::make_unique<ChildProcess>(args);
}

// The first line holding text, or "" when none comes within the time.
std::string LineWith(ChildProcess& process, const std::string& text, int timeoutMs = 5000) {
    const Deadline deadline(timeoutMs);
    while (!deadline.Passed()) {
        const std::string line = process.ReadLine(deadline.MsLeft());
        if (line.find(text) != std::string::npos)
            return line;
    }
    return "";
}

// Another program holding the ledger's lock: the station says whom it waits for, takes no number, and
// Ctrl+C ends the wait as a ledger failure, with nothing programmed.
TEST_F(CliStationTest, AHeldLedgerLockIsToldWithItsHolderAndCtrlCEndsTheWait) {
    Bench bench(m_dir, "held", 1);
    const std::string ledger = m_dir.File("ledger.jsonl");
    const auto station = WithErrors({"station", "--watch-dir", bench.Watched(), "--ledger", ledger, "--name",
                                     "Linia {n}", "--once", "1", "--json"});
    ASSERT_NE(LineWith(*station, R"("event":"ready")"), "");
    FileLockHolder holder(ledger);
    ASSERT_TRUE(holder.Locked());
    bench.PlugIn(0);
    const std::string waiting = LineWith(*station, "waiting for the lock on the ledger");
    EXPECT_NE(waiting.find("held by PID " + std::to_string(holder.Pid())), std::string::npos) << waiting;
    EXPECT_NE(waiting.find("Ctrl+C"), std::string::npos) << waiting;
    ASSERT_TRUE(station->Signal(SIGINT));
    EXPECT_EQ(station->Wait(3000), 7);
    EXPECT_EQ(bench.Received(0), Strings{"AT+BNAME?"}); // nothing programmed
    holder.Release();
    EXPECT_TRUE(Records(ledger).empty());

    // program --ledger waits at the start the same way, and the stop ends it before anything is sent.
    FileLockHolder again(ledger);
    ASSERT_TRUE(again.Locked());
    const auto program = WithErrors({"program", bench.Device(0), "--name", "P{n}", "--ledger", ledger});
    const std::string told = LineWith(*program, "waiting for the lock on the ledger");
    EXPECT_NE(told.find("held by PID " + std::to_string(again.Pid())), std::string::npos) << told;
    ASSERT_TRUE(program->Signal(SIGINT));
    const int status = program->Wait(3000);
    EXPECT_TRUE(status == 128 + SIGINT || status == 7) << status; // stopped, or the ledger's failure
    EXPECT_EQ(bench.Received(0), Strings{"AT+BNAME?"});
}

// A ledger renamed over while the station runs (an editor's save): the next module's records go to
// the file at the path; a copy that lacks records stops the station before a number is given again.
TEST_F(CliStationTest, ALedgerRenamedOverIsFollowedOrStopsTheStation) {
    Bench bench(m_dir, "renamed", 3);
    const std::string ledger = m_dir.File("ledger.csv");
    const std::string copy = m_dir.File("saved.csv");
    const Strings args = {"station", "--watch-dir", bench.Watched(), "--ledger", ledger, "--name", "Linia {n}",
                          "--json"};
    StationThread station(Concat(args, {"--once", "2"}));
    WaitForStation(ledger);
    bench.PlugIn(0);
    ASSERT_TRUE(WaitUntil(Deadline(5000), std::chrono::milliseconds(10), [&] { return Records(ledger).size() == 2; }));
    const std::string early = ReadWholeFile(ledger);
    std::ofstream(copy) << early;
    std::filesystem::rename(copy, ledger);
    bench.PlugIn(1);
    const CliRun run = station.Result();
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<LedgerRecord> records = Records(ledger);
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[3].event, "programmed");
    EXPECT_EQ(records[3].nameAfter, "Linia 2");

    const auto next = WithErrors(Concat(args, {"--once", "1"}));
    ASSERT_NE(LineWith(*next, R"("event":"ready")"), ""); // the ledger read, the folder watched
    std::ofstream(copy) << early;                         // saved from before module 2
    std::filesystem::rename(copy, ledger);
    bench.PlugIn(2);
    EXPECT_NE(LineWith(*next, "was replaced while in use"), "");
    EXPECT_EQ(next->Wait(5000), 7);
    EXPECT_EQ(bench.Received(2), Strings{"AT+BNAME?"}); // "Linia 2" was not given again
    EXPECT_EQ(ReadWholeFile(ledger), early);
}

} // namespace
