// zk405-cli's ledger counts modules: a module that failed and is tried again keeps its number and its
// name, one found programmed is left alone with the record named, and `ledger` sums up modules over
// the whole ledger or a shift, in local time. Each attempt leaves its transcript beside the ledger, and
// --on-result hands each result record to a command.
#include "ChildProcess.h"
#include "CliRun.h"
#include "Deadline.h"
#include "Ledger.h"
#include "TempDir.h"
#include "Transcript.h"
#include "TranscriptFile.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <sys/stat.h>

namespace {

using Json = nlohmann::json;
using Strings = std::vector<std::string>;
using namespace provisioning;

std::vector<LedgerRecord> Records(const std::string& path) {
    LedgerFormat format;
    std::string error;
    EXPECT_TRUE(LedgerFormatOf(path, format, error));
    return ParseLedger(ReadWholeFile(path), format).records;
}

// A simulated module on a pseudo-terminal of its own: the port, and the process behind it.
struct Module {
    explicit Module(const TempDir& dir, const std::string& tag, Strings options = {}) {
        Strings args = {ZK405_SIM_PROGRAM, "--transcript", dir.File("transcript-" + tag)};
        args.insert(args.end(), options.begin(), options.end());
        sim = std::make_unique<ChildProcess>(args);
        port = sim->ReadLine();
    }
    std::unique_ptr<ChildProcess> sim;
    std::string port;
};

// A transcript read back: each block's direction ("Written" or "Read"), its time and its bytes, from
// the hex columns alone; a line that is neither is kept in notes.
struct TranscriptBlock {
    std::string direction;
    std::string time;
    std::string bytes;
};
struct ReadBack {
    std::vector<TranscriptBlock> blocks;
    Strings notes;
};
ReadBack ReadTranscriptFile(const std::string& path) {
    ReadBack back;
    std::istringstream in(ReadWholeFile(path));
    for (std::string line; std::getline(in, line);) {
        const size_t colon = line.find(": ");
        if (line.empty())
            continue;
        if (line.rfind("Written: ", 0) == 0 || line.rfind("Read: ", 0) == 0) {
            back.blocks.push_back({line.substr(0, colon), line.substr(colon + 2), ""});
        } else if (!back.blocks.empty() && line.size() > 51 && line[2] == ' ' && back.notes.empty()) {
            for (size_t i = 0; i + 1 < 48 && line[i] != ' '; i += 3)
                back.blocks.back().bytes += static_cast<char>(std::stoi(line.substr(i, 2), nullptr, 16));
        } else {
            back.notes.push_back(line);
        }
    }
    return back;
}

std::string Joined(const std::vector<TranscriptBlock>& blocks, const std::string& direction) {
    std::string bytes;
    for (const TranscriptBlock& block : blocks)
        if (block.direction == direction)
            bytes += block.bytes;
    return bytes;
}

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

class CliLedgerTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("XDG_RUNTIME_DIR", m_dir.Path().c_str(), 1);
        const char* zone = std::getenv("TZ");
        m_zone = zone == nullptr ? "" : zone;
        m_hadZone = zone != nullptr;
    }
    void TearDown() override {
        if (m_hadZone)
            setenv("TZ", m_zone.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    // One hour east of UTC all year, as a POSIX zone (no zone database needed).
    static void OneHourEast() {
        setenv("TZ", "UTC-1", 1);
        tzset();
    }
    TempDir m_dir;
    std::string m_zone;
    bool m_hadZone = false;
};

TEST_F(CliLedgerTest, ARetriedModuleKeepsItsNumberAndIsThenLeftAloneAsThatRecord) {
    const std::string ledger = m_dir.File("ledger.jsonl");
    const Strings settings = {"--name", "Linia {n}", "--pin", "98765", "--ledger", ledger, "--quiet"};
    const auto program = [&](const std::string& port) {
        Strings args = {"program", port};
        args.insert(args.end(), settings.begin(), settings.end());
        return Cli(args).status;
    };
    {
        Module refusing(m_dir, "a1", {"--refuse", "AT+BPIN"}); // takes the name, refuses the PIN
        EXPECT_EQ(program(refusing.port), 4);
    }
    {
        Module other(m_dir, "b1", {"--refuse", "AT+BPIN"});
        EXPECT_EQ(program(other.port), 4);
    }
    {
        Module again(m_dir, "a2", {"--name", "Linia 1", "--refuse", "AT+BPIN"}); // the first, re-plugged
        EXPECT_EQ(program(again.port), 4);
    }
    {
        Module mended(m_dir, "a3", {"--name", "Linia 1"});
        EXPECT_EQ(program(mended.port), 0);
    }
    const std::vector<LedgerRecord> records = Records(ledger);
    ASSERT_EQ(records.size(), 8u);
    EXPECT_EQ(records[3].n, 2);
    EXPECT_EQ(records[5].n, 1);
    EXPECT_EQ(records[7].n, 1);
    EXPECT_EQ(records[7].event, kResultProgrammed);
    EXPECT_EQ(records[7].nameAfter, "Linia 1");
    EXPECT_NE(records[5].attempt, records[7].attempt);

    // Found programmed by the station: left alone, and the line names the record.
    const std::string watched = m_dir.File("watched");
    std::filesystem::create_directories(watched);
    Module done(m_dir, "a4", {"--name", "Linia 1"});
    std::filesystem::create_symlink(done.port, watched + "/m0");
    ChildProcess station({ZK405_CLI_PROGRAM, "station", "--watch-dir", watched, "--ledger", ledger, "--name",
                          "Linia {n}", "--pin", "98765", "--skip-done", "--include-present", "--once", "1"});
    const std::string lines = station.ReadToEnd(10000);
    EXPECT_EQ(station.Wait(), 0) << lines;
    EXPECT_NE(lines.find("skipped     " + watched + "/m0  already programmed as #1 (Linia 1)"), std::string::npos)
        << lines;

    // Two modules, four attempts and a skip.
    const CliRun summary = Cli({"ledger", ledger, "--json"});
    ASSERT_EQ(summary.status, 0) << summary.err;
    const Json object = summary.Objects().at(0);
    EXPECT_EQ(object["programmed"], 1);
    ASSERT_EQ(object["unresolved"].size(), 1u);
    EXPECT_EQ(object["unresolved"][0]["n"], 2);
    EXPECT_EQ(object["unresolved"][0]["name"], "Linia 2");
    EXPECT_EQ(object["unresolved"][0]["reason"], "the module refused the pin");
    EXPECT_EQ(object["attempts"], 4);
    EXPECT_EQ(object["failed"], 3);
    EXPECT_EQ(object["skipped"], 1);
    EXPECT_EQ(object["last_n"], 2);
}

// The transcript of an attempt is the conversation byte for byte: every command as the module got it
// and every reply as the module sent it, in blocks of their own with their times, private to its
// owner, named by the ledger's record (JSON Lines) or by its number, port and attempt (CSV).
TEST_F(CliLedgerTest, AnAttemptsTranscriptHoldsTheExactBytesBothWays) {
    for (const std::string ledgerName : {"ledger.jsonl", "ledger.csv"}) {
        const std::string ledger = m_dir.File(ledgerName);
        Module module(m_dir, ledgerName);
        // The started record is written once the name before is read, so its time follows the first blocks'.
        const std::string begun = LedgerTime();
        const CliRun run = Cli({"program", module.port, "--name", "Linia {n}", "--pin", "98765", "--ledger", ledger});
        ASSERT_EQ(run.status, 0) << run.err;
        module.sim.reset(); // its transcript whole

        const std::vector<LedgerRecord> records = Records(ledger);
        ASSERT_EQ(records.size(), 2u);
        const std::string file = TranscriptFileName(1, "", module.port, records[1].attempt);
        const std::string folder = TranscriptFolderFor(ledger);
        if (ledgerName == "ledger.jsonl") {
            EXPECT_EQ(records[0].transcript, ledgerName + ".transcripts/" + file);
            EXPECT_EQ(records[1].transcript, records[0].transcript);
        } else {
            EXPECT_EQ(records[1].transcript, "") << "a CSV ledger keeps the columns its readers know";
            EXPECT_EQ(ReadWholeFile(ledger).compare(0, CsvHeader().size(), CsvHeader()), 0);
        }
        EXPECT_EQ(ModeOf(folder), 0700u);
        EXPECT_EQ(ModeOf(folder + "/" + file), 0600u) << "it holds the PIN's bytes";

        const ReadBack back = ReadTranscriptFile(folder + "/" + file);
        std::string received;
        for (const std::string& command : Commands(ReadTranscript(m_dir.File("transcript-" + ledgerName))))
            received += command + "\r\n";
        EXPECT_EQ(Joined(back.blocks, "Written"), received);
        EXPECT_EQ(received, "AT+BNAME?\r\nAT+BNAME=Linia 1\r\nAT+BPIN=98765\r\nAT+BNAME?\r\n");
        // The simulated module's replies, as its protocol words them.
        EXPECT_EQ(Joined(back.blocks, "Read"), "+BNAME=ZK405\r\nOK\r\nOK\r\nOK\r\n+BNAME=Linia 1\r\nOK\r\n");
        ASSERT_EQ(back.blocks.size(), 8u) << ReadWholeFile(folder + "/" + file);
        for (size_t i = 0; i < back.blocks.size(); ++i) {
            EXPECT_EQ(back.blocks[i].direction, i % 2 == 0 ? "Written" : "Read") << "replies are blocks of their own";
            EXPECT_EQ(back.blocks[i].time.size(), std::string("2026-12-08T06:15:18.042Z").size());
            EXPECT_GE(back.blocks[i].time, begun);
            EXPECT_LE(back.blocks[i].time, records[1].time);
        }
        EXPECT_TRUE(back.notes.empty());
        // The traffic log beside it keeps what was sent alone, as it always has.
        EXPECT_EQ(ReadWholeFile(m_dir.File("TxRx.log")).find("Read:"), std::string::npos);
    }
}

// A module that never gives its name takes no number, and its transcript still shows what was asked.
TEST_F(CliLedgerTest, AnAttemptWithoutANumberAndAFolderThatIsALinkAreTold) {
    const std::string ledger = m_dir.File("silent.jsonl");
    Module silent(m_dir, "silent", {"--refuse", "AT+BNAME?"});
    const CliRun run = Cli({"program", silent.port, "--name", "Linia {n}", "--ledger", ledger, "--quiet"});
    EXPECT_EQ(run.status, 3) << run.err;
    const std::vector<LedgerRecord> records = Records(ledger);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].n, 0);
    const std::string file = TranscriptFolderFor(ledger) + "/" + TranscriptFileName(0, "", silent.port, records[0].attempt);
    EXPECT_EQ(records[0].transcript, "silent.jsonl.transcripts/" + TranscriptFileName(0, "", silent.port, records[0].attempt));
    EXPECT_NE(Joined(ReadTranscriptFile(file).blocks, "Written").find("AT+BNAME?\r\n"), std::string::npos);

    // A link planted where the folder goes is not followed: the module is programmed, the record
    // names no transcript, and the reason is told.
    const std::string linked = m_dir.File("linked.jsonl");
    std::filesystem::create_directories(m_dir.File("elsewhere"));
    std::filesystem::create_directory_symlink(m_dir.File("elsewhere"), TranscriptFolderFor(linked));
    Module module(m_dir, "linked");
    const CliRun programmed = Cli({"program", module.port, "--name", "Linia {n}", "--ledger", linked, "--quiet"});
    EXPECT_EQ(programmed.status, 0) << programmed.err;
    EXPECT_NE(programmed.err.find("zk405-cli: " + module.port + ": no transcript: " + TranscriptFolderFor(linked) +
                                  " is not a folder\n"),
              std::string::npos)
        << programmed.err;
    EXPECT_TRUE(std::filesystem::is_empty(m_dir.File("elsewhere")));
    EXPECT_EQ(Records(linked).back().transcript, "");
}

// The command after each result gets the record as the ledger has it on its standard input and its
// fields in its environment; one that fails or hangs is told and recorded in the transcript, and the
// module's result and the exit status stand.
TEST_F(CliLedgerTest, OnResultGetsTheRecordAndAFailingOrHangingCommandIsToldNotTheModules) {
    const std::string ledger = m_dir.File("result.jsonl");
    const std::string seen = m_dir.File("seen");
    const std::string command = "cat > " + seen + ".json; env | grep -E '^ZK405_(ADDRESS|FAILURE|LEDGER|N|NAME|PORT|RESULT|TRANSCRIPT)=' | sort > " + seen +
                                ".env; echo to-stdout; exit 3";
    Module module(m_dir, "r1");
    const CliRun run = Cli({"program", module.port, "--name", "Linia {n}", "--ledger", ledger, "--json",
                            "--on-result", command});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.find("to-stdout"), std::string::npos) << "its output never mixes with the report";
    const std::string ledgerText = ReadWholeFile(ledger);
    const std::string lastLine = ledgerText.substr(ledgerText.rfind('\n', ledgerText.size() - 2) + 1);
    EXPECT_EQ(ReadWholeFile(seen + ".json"), lastLine) << "the result record, not the started one";
    const LedgerRecord record = Records(ledger).back();
    EXPECT_EQ(ReadWholeFile(seen + ".env"),
              "ZK405_ADDRESS=\nZK405_FAILURE=\nZK405_LEDGER=" + ledger + "\nZK405_N=1\nZK405_NAME=Linia 1\nZK405_PORT=" +
                  module.port + "\nZK405_RESULT=programmed\nZK405_TRANSCRIPT=" + m_dir.File(record.transcript) + "\n");
    EXPECT_NE(run.err.find("zk405-cli: " + module.port +
                           ": the --on-result command exited with status 3; the module's result stands\n"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(ReadTranscriptFile(m_dir.File(record.transcript)).notes,
              Strings{"Result command: exited with status 3"});

    // One that hangs, and what it started, end at the time limit.
    const std::string pidFile = m_dir.File("background.pid");
    Module hanging(m_dir, "r2");
    const CliRun hung = Cli({"program", hanging.port, "--name", "Linia {n}", "--ledger", ledger, "--quiet",
                             "--on-result", "sleep 30 & echo $! > " + pidFile + "; wait", "--on-result-timeout", "1"});
    EXPECT_EQ(hung.status, 0) << hung.err;
    EXPECT_LT(hung.seconds, 10);
    EXPECT_NE(hung.err.find("the --on-result command killed after the time limit of 1 s"), std::string::npos)
        << hung.err;
    const std::string pid = ReadWholeFile(pidFile).substr(0, ReadWholeFile(pidFile).find('\n'));
    ASSERT_FALSE(pid.empty());
    // Killed, it dies in its own time: the kill is sent, not waited for, to what the command started.
    std::string state;
    const bool ended = WaitUntil(Deadline(2000), std::chrono::milliseconds(10), [&] {
        state = std::filesystem::exists("/proc/" + pid) ? ReadWholeFile("/proc/" + pid + "/stat") : "";
        return state.empty() || state.find(") Z") != std::string::npos;
    });
    EXPECT_TRUE(ended) << "still running: " << state;
    EXPECT_EQ(Records(ledger).back().result, kResultProgrammed);

    // Without a ledger there is no record to run it after.
    EXPECT_EQ(Cli({"program", hanging.port, "--name", "x", "--on-result", "true"}).status, 1);
}

// A shift given in local time, or with its offset, and the times shown back in local time.
TEST_F(CliLedgerTest, ASummaryCoversAShiftInLocalTime) {
    OneHourEast();
    const std::string ledger = m_dir.File("shift.jsonl");
    std::ofstream file(ledger);
    const auto record = [](const char* time, const char* attempt, const char* event, std::int64_t n) {
        LedgerRecord r;
        r.time = time;
        r.attempt = attempt;
        r.event = event;
        r.n = n;
        r.nameAfter = "Linia " + std::to_string(n);
        r.message = event == std::string(kResultFailed) ? "the module did not answer" : "";
        return FormatRecord(r, LedgerFormat::JsonLines);
    };
    file << record("2026-12-08T04:59:00.000Z", "a1", kLedgerStarted, 1)
         << record("2026-12-08T04:59:01.000Z", "a1", kResultProgrammed, 1)
         << record("2026-12-08T06:15:18.042Z", "b1", kLedgerStarted, 2)
         << record("2026-12-08T06:15:19.000Z", "b1", kResultFailed, 2)
         << record("2026-12-08T13:00:00.000Z", "c1", kLedgerStarted, 3)
         << record("2026-12-08T13:00:01.000Z", "c1", kResultProgrammed, 3);
    file.close();

    for (const Strings& shift : {Strings{"--since", "2026-12-08T06:00", "--until", "2026-12-08 14:00"},
                                 Strings{"--since", "2026-12-08T05:00Z", "--until", "2026-12-08T13:00+00:00"}}) {
        Strings args = {"ledger", ledger};
        args.insert(args.end(), shift.begin(), shift.end());
        const CliRun run = Cli(args);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.out.find("from 2026-12-08 07:15:18 +01:00 to 2026-12-08 07:15:19 +01:00\n"), std::string::npos)
            << run.out;
        EXPECT_NE(run.out.find("modules programmed  0\n"), std::string::npos) << run.out;
        EXPECT_NE(run.out.find("modules unresolved  1"), std::string::npos) << run.out;
        EXPECT_NE(run.out.find("  #2 \"Linia 2\"  1 attempt, the last at 2026-12-08 07:15:19 +01:00: the module did "
                               "not answer\n"),
                  std::string::npos)
            << run.out;
        EXPECT_NE(run.out.find("attempts            1 (1 failed)\n"), std::string::npos) << run.out;
        EXPECT_NE(run.out.find("last n              3\n"), std::string::npos) << run.out;
    }
    const Json day = Cli({"ledger", ledger, "--json", "--since", "2026-12-08"}).Objects().at(0);
    EXPECT_EQ(day["programmed"], 2);
    EXPECT_EQ(day["first_time"], "2026-12-08T04:59:00.000Z"); // 05:59 here
    EXPECT_EQ(Cli({"ledger", ledger, "--json", "--until", "2026-12-08"}).Objects().at(0)["attempts"], 0);
    EXPECT_EQ(Cli({"ledger", ledger, "--since", "06:00"}).status, 0); // today's

    for (const char* bad : {"2026-12-32", "yesterday", "6:00", "2026-12-08T06:00+25:00"}) {
        const CliRun run = Cli({"ledger", ledger, "--since", bad});
        EXPECT_EQ(run.status, 1) << bad;
        EXPECT_NE(run.err.find("zk405-cli: ledger: --since: expected a time such as 2026-12-08T06:00"),
                  std::string::npos)
            << run.err;
        EXPECT_TRUE(run.out.empty()) << run.out;
    }
}

} // namespace
