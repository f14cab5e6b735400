// The ledger's records read back as written, whatever a module calls itself, and the file shared with
// torn and mangled lines in it: skipped, counted, and never glued onto.
#include "Ledger.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <fstream>

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
    hostile.event = "done";
    hostile.n = 41;
    hostile.port = "com36";
    hostile.nameBefore = "=HYPERLINK(\"http://x\"),'1";
    hostile.nameAfter = "Linia, \"41\"";
    hostile.settings = {"name", "pin"};
    hostile.result = "PROGRAMMED";
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

} // namespace
