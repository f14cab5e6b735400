// The ledger's records read back as written, whatever a module calls itself, and the file shared with
// torn and mangled lines in it: skipped, counted, and never glued onto. Its numbers never given twice:
// not past the highest a record may hold, not over a record that cannot be read, not after the file
// was replaced, and its lock waited for within a bound; a module's retry takes its own number again.
#include "Ledger.h"
#include "LedgerSummary.h"
#include "LedgerModules.h"
#include "OtherProgram.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sys/stat.h>
#include <thread>
#include <tuple>

namespace {

using namespace provisioning;

class LedgerTest : public ::testing::Test {
protected:
    TempDir m_dir;
};

TEST_F(LedgerTest, TornLinesAreSkippedAndNoRecordIsGluedOntoOne) {
    LedgerRecord hostile;
    hostile.time = "2026-12-07T10:00:00.000Z";
    hostile.station = "hala-2";
    hostile.attempt = "a1";
    hostile.event = kResultProgrammed;
    hostile.n = 41;
    hostile.port = "com36";
    hostile.nameBefore = "=HYPERLINK(\"http://x\"),'1";
    hostile.nameAfter = "Linia, \"41\"";
    hostile.settings = {"name", "pin"};
    hostile.result = kResultProgrammed;
    hostile.status = 0;
    hostile.seconds = 0.25;
    for (const std::string file : {"torn.csv", "torn.jsonl"}) {
        const std::string path = m_dir.File(file);
        LedgerFormat format;
        std::string error;
        ASSERT_TRUE(LedgerFormatOf(path, format, error));
        const std::string line = FormatRecord(hostile, format);
        if (format == LedgerFormat::Csv) {
            EXPECT_NE(line.find(",\"'=HYPERLINK("), std::string::npos) << line; // text in a spreadsheet
        }
        // A whole record, a line mangled by hand, and a record cut off by a killed writer.
        std::ofstream(path) << (format == LedgerFormat::Csv ? CsvHeader() : "") << line << "not,a,record\n"
                            << line.substr(0, line.size() / 2);
        const LedgerContents before = ParseLedger(ReadWholeFile(path), format);
        ASSERT_EQ(before.records.size(), 1u) << file;
        const LedgerRecord& back = before.records[0];
        EXPECT_EQ(back.nameBefore, hostile.nameBefore);
        EXPECT_EQ(back.nameAfter, hostile.nameAfter);
        EXPECT_EQ(back.settings, hostile.settings);
        EXPECT_EQ(back.n, 41);
        const size_t first = format == LedgerFormat::Csv ? 2 : 1;
        EXPECT_EQ(before.badLines, (std::vector<size_t>{first + 1, first + 2}));

        Ledger ledger;
        ASSERT_TRUE(ledger.Open(path, error)) << error;
        LedgerRecord next;
        next.attempt = "a2";
        ASSERT_TRUE(ledger.Start(next, [](long, std::string& name, std::string&) { return !(name = "x").empty(); },
                                 error));
        EXPECT_EQ(next.n, 42); // past the highest whole record
        const LedgerContents after = ParseLedger(ReadWholeFile(path), format);
        ASSERT_EQ(after.records.size(), 2u);
        EXPECT_EQ(after.records[1].attempt, "a2");
        EXPECT_EQ(after.badLines.size(), 2u);
    }
    std::ofstream(m_dir.File("foreign.csv")) << "date,amount\n";
    Ledger foreign;
    std::string error;
    EXPECT_FALSE(foreign.Open(m_dir.File("foreign.csv"), error));
    EXPECT_FALSE(foreign.Open(m_dir.File("ledger.txt"), error));
    EXPECT_NE(error.find(".csv or .jsonl"), std::string::npos);
}

// A name for each number, as the station's settings give it.
bool Named(std::int64_t n, std::string& name, std::string&) {
    name = "Linia " + std::to_string(n);
    return true;
}

LedgerRecord Started(const std::string& attempt, std::int64_t n) {
    LedgerRecord record;
    record.time = "2026-12-07T10:00:00.000Z";
    record.attempt = attempt;
    record.event = kLedgerStarted;
    record.n = n;
    return record;
}

class LedgerFormats : public LedgerTest, public ::testing::WithParamInterface<const char*> {
protected:
    std::string Path() const { return m_dir.File(std::string("ledger.") + GetParam()); }
    LedgerFormat Format() const {
        LedgerFormat format;
        std::string error;
        EXPECT_TRUE(LedgerFormatOf(Path(), format, error));
        return format;
    }
    // A ledger holding these lines after its beginning, as a file on disk.
    void Write(const std::string& lines) const {
        std::ofstream(Path(), std::ios::binary) << (Format() == LedgerFormat::Csv ? CsvHeader() : "") << lines;
    }
    // Start on a fresh Ledger over the file; the number taken, or 0 with error filled.
    std::int64_t Next(std::string& error) const {
        Ledger ledger;
        LedgerRecord record;
        record.attempt = "next";
        if (!ledger.Open(Path(), error) || !ledger.Start(record, Named, error))
            return 0;
        return record.n;
    }
};
INSTANTIATE_TEST_SUITE_P(, LedgerFormats, ::testing::Values("csv", "jsonl"),
                         [](const auto& info) { return std::string(info.param); });

// Every control character a module, a port's description or a message may hold, in every field of
// text, reads back as written, on one record, and the next number follows it.
TEST_P(LedgerFormats, EveryControlCharacterInEveryFieldReadsBack) {
    std::string hostile = "ZK\n405\r\n\"q\",'=";
    for (char c = 1; c < 0x20; ++c)
        hostile += c;
    hostile += '\x7f';
    LedgerRecord record = Started("a1", 7);
    record.event = kResultProgrammed;
    for (std::string* field : {&record.station, &record.port, &record.device, &record.bluetooth, &record.nameBefore,
                               &record.nameAfter, &record.message})
        *field = hostile;
    record.settings = {"name"};
    record.result = kResultProgrammed;
    record.status = 0;
    Write(FormatRecord(Started("a1", 7), Format()) + FormatRecord(record, Format()));
    const LedgerContents contents = ParseLedger(ReadWholeFile(Path()), Format());
    EXPECT_TRUE(contents.badLines.empty());
    ASSERT_EQ(contents.records.size(), 2u);
    const LedgerRecord& back = contents.records[1];
    for (const std::string* field : {&back.station, &back.port, &back.device, &back.bluetooth, &back.nameBefore,
                                     &back.nameAfter, &back.message})
        EXPECT_EQ(*field, hostile);
    EXPECT_EQ(back.n, 7);
    std::string error;
    EXPECT_EQ(Next(error), 8) << error;
    EXPECT_TRUE(ParseLedger(ReadWholeFile(Path()), Format()).badLines.empty());
}

// The transcript is named in a JSON Lines record; a CSV ledger keeps the columns every reader of it
// knows, so a record written today still reads where an older reader (or spreadsheet) reads it.
TEST_P(LedgerFormats, ATranscriptIsNamedInJsonLinesAloneAndCsvKeepsItsColumns) {
    LedgerRecord record = Started("a1", 7);
    record.transcript = "ledger.transcripts/7-com5-a1.txt";
    const std::string line = FormatRecord(record, Format());
    Write(line);
    const LedgerContents contents = ParseLedger(ReadWholeFile(Path()), Format());
    ASSERT_EQ(contents.records.size(), 1u);
    if (Format() == LedgerFormat::JsonLines) {
        EXPECT_EQ(contents.records[0].transcript, record.transcript);
        return;
    }
    EXPECT_EQ(contents.records[0].transcript, "");
    EXPECT_EQ(std::count(line.begin(), line.end(), ','), std::count(CsvHeader().begin(), CsvHeader().end(), ','));
    EXPECT_EQ(line.find("transcripts"), std::string::npos);
}

// Ledgers written before the result word was the event, as the stations of then wrote them: a module
// programmed, one refused, one sent without its answers looked at, one skipped.
constexpr const char* kOldCsv =
    "2026-12-07T19:46:46.059Z,hala-2,a1,started,1,com36,/dev/ttyUSB3,,ZK405,Linia 1,name;pin,,,,\n"
    "2026-12-07T19:46:46.145Z,hala-2,a1,done,1,com36,/dev/ttyUSB3,00:1A:7D:DA:71:13,ZK405,Linia 1,name;pin,"
    "PROGRAMMED,0,,0.166\n"
    "2026-12-07T19:46:46.426Z,hala-2,a2,started,2,com37,/dev/ttyUSB4,,ZK405,Linia 2,name;pin,,,,\n"
    "2026-12-07T19:46:46.445Z,hala-2,a2,failed,2,com37,/dev/ttyUSB4,,ZK405,Linia 2,name;pin,FAILED,4,"
    "the module refused the pin,0.065\n"
    "2026-12-07T19:46:47.000Z,hala-2,a3,started,3,com38,/dev/ttyUSB5,,ZK405,,flow,,,,\n"
    "2026-12-07T19:46:47.100Z,hala-2,a3,done,3,com38,/dev/ttyUSB5,00:1A:7D:DA:71:14,ZK405,,flow,SENT,0,,0.050\n"
    "2026-12-07T19:46:48.000Z,hala-2,a4,skipped,0,com36,/dev/ttyUSB3,,Linia 1,,,SKIPPED,0,"
    "already programmed (the ledger has it),0.010\n";
constexpr const char* kOldJsonLines =
    R"x({"attempt":"a1","device":"/dev/ttyUSB3","event":"started","n":1,"name_after":"Linia 1","name_before":"ZK405","port":"com36","settings":["name","pin"],"station":"hala-2","time":"2026-12-07T19:46:46.059Z"})x" "\n"
    R"x({"attempt":"a1","bluetooth":"00:1A:7D:DA:71:13","device":"/dev/ttyUSB3","event":"done","n":1,"name_after":"Linia 1","name_before":"ZK405","port":"com36","result":"PROGRAMMED","seconds":0.166,"settings":["name","pin"],"station":"hala-2","status":0,"time":"2026-12-07T19:46:46.145Z"})x" "\n"
    R"x({"attempt":"a2","device":"/dev/ttyUSB4","event":"started","n":2,"name_after":"Linia 2","name_before":"ZK405","port":"com37","settings":["name","pin"],"station":"hala-2","time":"2026-12-07T19:46:46.426Z"})x" "\n"
    R"x({"attempt":"a2","device":"/dev/ttyUSB4","event":"failed","message":"the module refused the pin","n":2,"name_after":"Linia 2","name_before":"ZK405","port":"com37","result":"FAILED","seconds":0.065,"settings":["name","pin"],"station":"hala-2","status":4,"time":"2026-12-07T19:46:46.445Z"})x" "\n"
    R"x({"attempt":"a3","device":"/dev/ttyUSB5","event":"started","n":3,"name_after":"","name_before":"ZK405","port":"com38","settings":["flow"],"station":"hala-2","time":"2026-12-07T19:46:47.000Z"})x" "\n"
    R"x({"attempt":"a3","bluetooth":"00:1A:7D:DA:71:14","device":"/dev/ttyUSB5","event":"done","n":3,"name_after":"","name_before":"ZK405","port":"com38","result":"SENT","seconds":0.05,"settings":["flow"],"station":"hala-2","status":0,"time":"2026-12-07T19:46:47.100Z"})x" "\n"
    R"x({"attempt":"a4","device":"/dev/ttyUSB3","event":"skipped","message":"already programmed (the ledger has it)","n":0,"name_after":"","name_before":"Linia 1","port":"com36","result":"SKIPPED","seconds":0.01,"settings":[],"station":"hala-2","status":0,"time":"2026-12-07T19:46:48.000Z"})x" "\n";

// An old ledger reads back in today's words, counts as it did, and goes on numbering with new records.
TEST_P(LedgerFormats, ALedgerInTheOldWordsReadsBackInTodaysAndGoesOn) {
    // The header every CSV ledger on the line begins with: a ledger with another one is refused.
    EXPECT_EQ(CsvHeader(), "time,station,attempt,event,n,port,device,bluetooth,name_before,name_after,settings,"
                           "result,status,message,seconds\n");
    Write(Format() == LedgerFormat::Csv ? kOldCsv : kOldJsonLines);
    const std::string before = ReadWholeFile(Path());
    const auto words = [&] {
        std::vector<std::pair<std::string, std::string>> words;
        const LedgerContents contents = ParseLedger(ReadWholeFile(Path()), Format());
        EXPECT_TRUE(contents.badLines.empty());
        for (const LedgerRecord& record : contents.records)
            words.emplace_back(record.event, record.result);
        return words;
    };
    using Words = std::vector<std::pair<std::string, std::string>>;
    const Words old = {{"started", ""}, {"programmed", "programmed"}, {"started", ""}, {"failed", "failed"},
                       {"started", ""}, {"sent", "sent"},             {"skipped", "skipped"}};
    EXPECT_EQ(words(), old);
    LedgerSummary summary = Summarize(ParseLedger(ReadWholeFile(Path()), Format()));
    EXPECT_EQ(summary.programmed, 1u);
    EXPECT_EQ(summary.sent, 1u);
    EXPECT_EQ(summary.skipped, 1u);
    EXPECT_EQ(summary.failures, (std::vector<std::pair<std::string, size_t>>{{"the module refused the pin", 1}}));
    EXPECT_EQ(summary.lastNumber, 3);

    // What --skip-done leaves alone: the programmed module and the one sent its settings, as before.
    Ledger ledger;
    std::string error;
    ASSERT_TRUE(ledger.Open(Path(), error)) << error;
    for (const auto& [address, name, done] : {std::tuple{"00:1A:7D:DA:71:13", "", true},
                                              std::tuple{"00:1A:7D:DA:71:14", "", true}, std::tuple{"", "Linia 1", true},
                                              std::tuple{"", "Linia 2", false}}) {
        std::optional<LedgerModule> programmed;
        ASSERT_TRUE(ledger.WasProgrammed(address, name, programmed, error)) << error;
        EXPECT_EQ(programmed.has_value(), done) << address << name;
    }
    LedgerRecord record = Started("a5", 0);
    ASSERT_TRUE(ledger.Start(record, Named, error)) << error;
    EXPECT_EQ(record.n, 4);
    record.event = record.result = kResultProgrammed;
    record.status = 0;
    ASSERT_TRUE(ledger.Append(record, error)) << error;
    const std::string text = ReadWholeFile(Path());
    ASSERT_EQ(text.compare(0, before.size(), before), 0); // the old records stay as they were written
    const std::string added = text.substr(before.size());
    EXPECT_EQ(added.find("done"), std::string::npos) << added;
    EXPECT_EQ(added.find("PROGRAMMED"), std::string::npos) << added;
    Words mixed = old;
    mixed.insert(mixed.end(), {{"started", ""}, {"programmed", "programmed"}});
    EXPECT_EQ(words(), mixed);
    EXPECT_EQ(Summarize(ParseLedger(text, Format())).programmed, 2u);
    EXPECT_EQ(Next(error), 5) << error;
}

// One attempt at a module on a ledger: its number taken, then its result; the number it took.
std::int64_t Attempt(Ledger& ledger, const std::string& attempt, const std::string& bluetooth,
                     const std::string& nameBefore, const char* event) {
    LedgerRecord record;
    record.attempt = attempt;
    record.bluetooth = bluetooth;
    record.nameBefore = nameBefore;
    std::string error;
    EXPECT_TRUE(ledger.Start(record, Named, error)) << error;
    if (event == nullptr)
        return record.n; // still in flight
    record.event = event;
    record.message = event == std::string(kResultFailed) ? "the module refused the pin" : "";
    EXPECT_TRUE(ledger.Append(record, error)) << error;
    return record.n;
}

// A module that failed and is tried again keeps its number, and so the name it was given: known by its
// address where it has one, else by the name the failed attempt gave it. A programmed number is never
// given again, and another station's ledger over the same file does the same.
// The Bluetooth steps read back in both spellings; CSV keeps its columns, its old ledgers read as ever
// and a record without steps is written as before.
TEST_P(LedgerFormats, TheBluetoothStepsReadBackAndLeaveTheColumnsAsTheyWere) {
    LedgerRecord record = Started("a1", 3);
    record.event = record.result = kResultFailed;
    record.failure = "pin-not-proved";
    record.status = 4;
    record.settings = {"name", "pin"};
    record.steps = {"pair=paired", "program=programmed", "prove-pin=wrong-pin", "unpair=unpaired"};
    LedgerRecord plain = record;
    plain.attempt = "a2";
    plain.steps.clear();
    const std::string plainLine = FormatRecord(plain, Format());
    Write(FormatRecord(Started("a1", 3), Format()) + FormatRecord(record, Format()) + plainLine);
    const LedgerContents contents = ParseLedger(ReadWholeFile(Path()), Format());
    ASSERT_TRUE(contents.badLines.empty());
    ASSERT_EQ(contents.records.size(), 3u);
    EXPECT_TRUE(contents.records[0].steps.empty());
    EXPECT_EQ(contents.records[1].settings, record.settings);
    EXPECT_EQ(contents.records[1].steps, record.steps);
    EXPECT_TRUE(contents.records[2].steps.empty());
    EXPECT_EQ(plainLine.find("steps"), std::string::npos);
    if (Format() == LedgerFormat::Csv) {
        EXPECT_EQ(plainLine.find("pair="), std::string::npos);
        EXPECT_NE(FormatRecord(record, Format()).find(",name;pin;pair=paired;program=programmed;"), std::string::npos);
    }
}

TEST_P(LedgerFormats, ARetriedModuleKeepsItsNumberAndAProgrammedOneIsNeverGivenAgain) {
    const std::string address = "00:1A:7D:DA:71:13";
    Ledger ledger;
    std::string error;
    ASSERT_TRUE(ledger.Open(Path(), error)) << error;
    EXPECT_EQ(Attempt(ledger, "a1", address, "ZK405", kResultFailed), 1);
    EXPECT_EQ(Attempt(ledger, "b1", "", "ZK405", kResultFailed), 2);
    EXPECT_EQ(Attempt(ledger, "a2", address, "Linia 1", kResultFailed), 1); // by its address
    EXPECT_EQ(Attempt(ledger, "c1", "", "ZK405", kResultFailed), 3);        // a fresh module's name
    // Module b's retry is in flight: a second module by the same name is not the same module.
    EXPECT_EQ(Attempt(ledger, "b2", "", "Linia 2", nullptr), 2);
    EXPECT_EQ(Attempt(ledger, "d1", "", "Linia 2", kResultFailed), 4);

    EXPECT_EQ(Attempt(ledger, "a3", address, "Linia 1", kResultProgrammed), 1);
    std::optional<LedgerModule> programmed;
    ASSERT_TRUE(ledger.WasProgrammed(address, "", programmed, error)) << error;
    ASSERT_TRUE(programmed.has_value());
    EXPECT_EQ(programmed->n, 1);
    EXPECT_EQ(programmed->name, "Linia 1");
    // Programmed again on purpose (no skip asked for): a new number, never the programmed one.
    EXPECT_EQ(Attempt(ledger, "a4", address, "Linia 1", kResultFailed), 5);
    EXPECT_EQ(Attempt(ledger, "a5", address, "Linia 5", kResultProgrammed), 5);
    ASSERT_TRUE(ledger.WasProgrammed("", "Linia 9", programmed, error)) << error;
    EXPECT_FALSE(programmed.has_value());

    Ledger other; // another station on the same file
    ASSERT_TRUE(other.Open(Path(), error)) << error;
    EXPECT_EQ(Attempt(other, "c2", "", "Linia 3", kResultProgrammed), 3);
    EXPECT_EQ(Attempt(other, "c3", "", "Linia 3", kResultFailed), 6);
    EXPECT_EQ(Next(error), 7) << error;
}

// Which number a module's retry takes, from records as older ledgers hold them too: the latest of
// several failed numbers; none once the module was programmed since; and none for a name that a
// programmed module has as well (a name without {n} is every module's).
TEST(LedgerModulesTest, ARetryTakesTheLatestUnresolvedNumberOfTheModule) {
    const auto record = [](const char* event, std::int64_t n, const char* bluetooth, const char* name) {
        LedgerRecord r;
        r.event = event;
        r.n = n;
        r.bluetooth = bluetooth;
        r.nameAfter = name;
        return r;
    };
    LedgerModules modules;
    for (const LedgerRecord& r : {record(kResultFailed, 2, "A", "L2"), record(kResultFailed, 4, "A", "L4"),
                                  record(kResultFailed, 6, "B", "L6"), record(kResultProgrammed, 7, "B", "L7"),
                                  record(kResultFailed, 8, "", "Same"), record(kResultProgrammed, 9, "", "Same"),
                                  record(kResultFailed, 10, "", "Same"), record(kResultSkipped, 0, "C", "")})
        modules.Take(r);
    EXPECT_EQ(modules.Retry("A", ""), 4);
    EXPECT_EQ(modules.Retry("", "L2"), 2);
    EXPECT_EQ(modules.Retry("B", "L6"), 0); // programmed as #7 since #6 failed
    EXPECT_EQ(modules.Retry("", "Same"), 0);
    EXPECT_EQ(modules.Retry("C", ""), 0);
    EXPECT_EQ(modules.Retry("", ""), 0);
    modules.Take(record(kLedgerStarted, 4, "A", "L4"));
    EXPECT_EQ(modules.Retry("A", ""), 0); // its retry is under way
    EXPECT_EQ(modules.Programmed("B", "")->n, 7);
    EXPECT_EQ(modules.Programmed("", "Same")->n, 9);
    // Programmed through its serial pins, with no address known, and back over Bluetooth: still done.
    ASSERT_TRUE(modules.Programmed("D", "L7").has_value());
    EXPECT_EQ(modules.Programmed("D", "L7")->n, 7);
    EXPECT_FALSE(modules.Programmed("D", "L6").has_value());
}

// A record cut off inside a quoted name (a full disk) never takes the records after it with it.
TEST_P(LedgerFormats, ATornRecordInsideAQuoteLeavesTheNextRecordsReadable) {
    LedgerRecord named = Started("a1", 3);
    named.nameAfter = "Linia, \"3\"\nzwei";
    const std::string line = FormatRecord(named, Format());
    Write(line.substr(0, line.find("zwei")) + "\n" + FormatRecord(Started("a2", 4), Format()));
    const LedgerContents contents = ParseLedger(ReadWholeFile(Path()), Format());
    ASSERT_EQ(contents.records.size(), 1u);
    EXPECT_EQ(contents.records[0].n, 4);
    EXPECT_TRUE(contents.unreadable.empty());
    std::string error;
    EXPECT_EQ(Next(error), 5) << error;
}

// A record of the ledger's shape that cannot be read may hold the highest number: none is taken.
TEST_P(LedgerFormats, ARecordThatCannotBeReadRefusesTheNextNumber) {
    std::string broken = FormatRecord(Started("a2", 12), Format());
    broken.replace(broken.find("started"), 7, "startet");
    Write(FormatRecord(Started("a1", 11), Format()) + broken);
    const std::string before = ReadWholeFile(Path());
    std::string error;
    EXPECT_EQ(Next(error), 0);
    EXPECT_NE(error.find("line " + std::to_string(Format() == LedgerFormat::Csv ? 3 : 2)), std::string::npos)
        << error;
    EXPECT_EQ(ReadWholeFile(Path()), before); // nothing written
}

// The edge of the numbers: the last one a record may hold is read, the next one refused, and a
// record holding more than that is one that cannot be read, never wrapped.
TEST_P(LedgerFormats, ANumberTheNextCannotFollowIsRefusedNeverWrapped) {
    Write(FormatRecord(Started("a1", kLedgerMaxNumber), Format()));
    const std::string before = ReadWholeFile(Path());
    EXPECT_EQ(ParseLedger(before, Format()).records.at(0).n, kLedgerMaxNumber);
    std::string error;
    EXPECT_EQ(Next(error), 0);
    EXPECT_NE(error.find("used up"), std::string::npos) << error;
    EXPECT_EQ(ReadWholeFile(Path()), before);

    for (const char* beyond : {"1000000000000000000", "9223372036854775807", "9223372036854775808",
                               "18446744073709551616"}) {
        std::string line = FormatRecord(Started("a1", 5), Format());
        line.replace(line.find('5'), 1, beyond);
        Write(line);
        EXPECT_EQ(ParseLedger(ReadWholeFile(Path()), Format()).unreadable.size(), 1u) << beyond;
        EXPECT_EQ(Next(error), 0) << beyond;
    }
}

TEST_F(LedgerTest, AJsonLinesLedgerMustBeginWithARecord) {
    const std::string notes = m_dir.File("notes.txt");
    std::ofstream(notes) << "shopping: milk, bread\n";
    std::filesystem::create_symlink(notes, m_dir.File("linked.jsonl"));
    Ledger linked;
    std::string error;
    EXPECT_FALSE(linked.Open(m_dir.File("linked.jsonl"), error));
    EXPECT_NE(error.find("does not begin with a ledger record"), std::string::npos) << error;
    EXPECT_EQ(ReadWholeFile(notes), "shopping: milk, bread\n");

    // A first record cut off by a crash is still the tool's: the ledger goes on after it.
    const std::string torn = m_dir.File("torn.jsonl");
    const std::string first = FormatRecord(Started("a1", 1), LedgerFormat::JsonLines);
    std::ofstream(torn) << first.substr(0, 20);
    Ledger ledger;
    ASSERT_TRUE(ledger.Open(torn, error)) << error;
    LedgerRecord record;
    record.attempt = "a2";
    ASSERT_TRUE(ledger.Start(record, Named, error)) << error;
    EXPECT_EQ(record.n, 1);

    // Neither a FIFO nor a directory is a ledger, and opening one does not wait for a writer.
    ASSERT_EQ(mkfifo(m_dir.File("fifo.jsonl").c_str(), 0600), 0);
    std::filesystem::create_directory(m_dir.File("folder.csv"));
    for (const char* name : {"fifo.jsonl", "folder.csv"}) {
        Ledger other;
        EXPECT_FALSE(other.Open(m_dir.File(name), error)) << name;
    }
}

// A new file renamed over the ledger, as an editor or a sync tool saves it, is followed when it holds
// what the ledger held, and refused when records are missing from it.
TEST_F(LedgerTest, AReplacedLedgerIsFollowedOrRefused) {
    const std::string path = m_dir.File("ledger.jsonl");
    Ledger ledger;
    std::string error;
    ASSERT_TRUE(ledger.Open(path, error)) << error;
    LedgerRecord record;
    record.attempt = "a1";
    ASSERT_TRUE(ledger.Start(record, Named, error)) << error;
    const std::string copy = m_dir.File("copy.jsonl");
    std::filesystem::copy_file(path, copy);
    std::filesystem::rename(copy, path);
    record.attempt = "a2";
    ASSERT_TRUE(ledger.Start(record, Named, error)) << error;
    EXPECT_EQ(record.n, 2);
    LedgerRecord result = record;
    result.event = kResultProgrammed;
    ASSERT_TRUE(ledger.Append(result, error)) << error;
    std::vector<LedgerRecord> records = ParseLedger(ReadWholeFile(path), LedgerFormat::JsonLines).records;
    ASSERT_EQ(records.size(), 3u); // in the file at the path, not in the one renamed over
    EXPECT_EQ(records[1].n, 2);
    EXPECT_EQ(records[2].event, kResultProgrammed);

    // A copy made before the last records: their numbers would be given again.
    std::ofstream(copy) << FormatRecord(Started("a1", 1), LedgerFormat::JsonLines);
    std::filesystem::rename(copy, path);
    record.attempt = "a3";
    EXPECT_FALSE(ledger.Start(record, Named, error));
    EXPECT_NE(error.find("replaced"), std::string::npos) << error;
    EXPECT_EQ(record.n, 0);
    EXPECT_FALSE(ledger.Append(result, error)); // and it stays refused
    EXPECT_EQ(ReadWholeFile(path), FormatRecord(Started("a1", 1), LedgerFormat::JsonLines));

    // Deleted while in use: refused, and no empty ledger made in its place.
    Ledger deleted;
    ASSERT_TRUE(deleted.Open(m_dir.File("gone.csv"), error)) << error;
    std::filesystem::remove(m_dir.File("gone.csv"));
    EXPECT_FALSE(deleted.Start(record, Named, error));
    EXPECT_FALSE(std::filesystem::exists(m_dir.File("gone.csv")));
}

TEST_F(LedgerTest, AHeldLockIsWaitedForWithinItsBoundAndItsHolderIsNamed) {
    const std::string path = m_dir.File("ledger.jsonl");
    FileLockHolder holder(path);
    ASSERT_TRUE(holder.Locked());
    Ledger ledger;
    std::vector<LedgerLockWait> waits;
    ledger.SetLockWait([&](const LedgerLockWait& wait) { waits.push_back(wait); }, std::chrono::milliseconds(300));
    std::string error;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(ledger.Open(path, error));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_NE(error.find("lock stayed held by PID " + std::to_string(holder.Pid())), std::string::npos) << error;
    ASSERT_EQ(waits.size(), 1u); // told once, not at every try
    EXPECT_EQ(waits[0].pid, holder.Pid());
    EXPECT_EQ(waits[0].path, path);
    EXPECT_FALSE(waits[0].program.empty());
    EXPECT_TRUE(waits[0].stoppable);

    // The ledger holds no lock between its calls; a lock let go within the bound is taken.
    holder.Release();
    ASSERT_TRUE(ledger.Open(path, error)) << error;
    FileLockHolder again(path);
    ASSERT_TRUE(again.Locked());
    ledger.SetLockWait([&](const LedgerLockWait& wait) { waits.push_back(wait); }, std::chrono::seconds(20));
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        again.Release();
    });
    LedgerRecord record;
    record.attempt = "a1";
    EXPECT_TRUE(ledger.Start(record, Named, error)) << error;
    release.join();
    EXPECT_EQ(record.n, 1);
    EXPECT_EQ(waits.size(), 2u);
}

} // namespace
