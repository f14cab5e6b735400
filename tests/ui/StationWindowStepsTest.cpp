// The station window's work around each module as the technician sees it: the command run after each
// result, each attempt's transcript beside the ledger, and the unattended Bluetooth steps given on the
// command line, read from the window's fields and last-failure line.
#include "StationBench.h"

#include "Ledger.h"
#include "StationCommandLine.h"
#include "StationTexts.h"
#include "TranscriptFile.h"

#include <gtest/gtest.h>

#include <wx/checkbox.h>
#include <wx/textctrl.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

using namespace station_test;
namespace text = station_ui::text;

std::vector<provisioning::LedgerRecord> Records(const std::string& path) {
    provisioning::LedgerFormat format;
    std::string error;
    EXPECT_TRUE(provisioning::LedgerFormatOf(path, format, error));
    return provisioning::ParseLedger(ReadWholeFile(path), format).records;
}

// A transcript's bytes one way ("Written" or "Read"), from its hex dump, and its lines of the program's own.
struct TranscriptBytes {
    std::string written, read;
    Strings notes;
};
TranscriptBytes ReadTranscriptBytes(const std::string& path) {
    TranscriptBytes back;
    std::string* into = nullptr;
    std::istringstream in(ReadWholeFile(path));
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("Written: ", 0) == 0 || line.rfind("Read: ", 0) == 0) {
            into = line[0] == 'W' ? &back.written : &back.read;
        } else if (into != nullptr && line.size() > 51 && line[2] == ' ' && back.notes.empty()) {
            for (size_t i = 0; i + 1 < 48 && line[i] != ' '; i += 3)
                *into += static_cast<char>(std::stoi(line.substr(i, 2), nullptr, 16));
        } else if (!line.empty()) {
            back.notes.push_back(line);
        }
    }
    return back;
}

Strings FilesIn(const std::string& folder) {
    Strings files;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ignored))
        files.push_back(entry.path().string());
    return files;
}

class StationStepsTest : public StationFixture {};

// A command after the result that fails is told on the last-failure line and kept in the transcript;
// the module stays programmed, in the row, the counters and the ledger.
TEST_F(StationStepsTest, AFailingResultCommandIsToldAndRecordedAndTheResultStands) {
    Modules modules(m_dir, 1);
    modules.PlugIn(0);
    station_ui::StationSetup setup = SetupFor(m_dir, modules);
    setup.steps.onResult.command = "exit 3";
    Window window(setup);
    EXPECT_EQ(WxToUtf8(window->Steps().CommandField().GetValue()), "exit 3");
    window.Select(modules.Link(0));
    wx_test::Click(&window->ProgramButton());

    EXPECT_EQ(window.ResultOf(modules.Link(0)), "ZAPROGRAMOWANY");
    ASSERT_TRUE(RunUntil([&] { return !window->Counters().LastFailure().empty() &&
                                      window->Counters().LastFailure() != text::kNoFailure; }));
    EXPECT_EQ(window->Counters().LastFailure(),
              modules.Link(0) + ": polecenie po wyniku zakończyło się kodem 3; wynik modułu bez zmian.");
    EXPECT_EQ(window->Counters().Figure(0), "1");
    EXPECT_EQ(window->Counters().Figure(1), "0");
    ASSERT_TRUE(window.CloseAndWait());
    const auto records = Records(setup.ledgerPath);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].event, provisioning::kResultProgrammed);

    // The attempt made from the window has its transcript, with the exact bytes both ways.
    const Strings files = FilesIn(provisioning::TranscriptFolderFor(setup.ledgerPath));
    ASSERT_EQ(files.size(), 1u);
    const TranscriptBytes back = ReadTranscriptBytes(files[0]);
    std::string received;
    for (const std::string& command : modules.Received(0))
        received += command + "\r\n";
    EXPECT_EQ(back.written, received);
    EXPECT_EQ(received, "AT+BNAME?\r\nAT+BNAME=Linia 1\r\nAT+BPIN=98765\r\nAT+BNAME?\r\n");
    EXPECT_EQ(back.read, "+BNAME=ZK405\r\nOK\r\nOK\r\nOK\r\n+BNAME=Linia 1\r\nOK\r\n");
    EXPECT_EQ(back.notes, Strings{"Result command: exited with status 3"});
}

// A failed attempt's last-failure line says where its transcript is, and the file is there.
TEST_F(StationStepsTest, AFailedAttemptTellsWhereItsTranscriptIs) {
    Modules modules(m_dir, 1, {"--refuse", "AT+BPIN"});
    modules.PlugIn(0);
    station_ui::StationSetup setup = SetupFor(m_dir, modules);
    Window window(setup);
    window.Select(modules.Link(0));
    wx_test::Click(&window->ProgramButton());
    EXPECT_EQ(window.ResultOf(modules.Link(0)), "BŁĄD (niepotwierdzony)");
    const std::string failure = window->Counters().LastFailure();
    const size_t at = failure.find(text::kTranscriptAt);
    ASSERT_NE(at, std::string::npos) << failure;
    const std::string path = failure.substr(at + std::string(text::kTranscriptAt).size());
    ASSERT_TRUE(window.CloseAndWait());
    const Strings files = FilesIn(provisioning::TranscriptFolderFor(setup.ledgerPath));
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(std::filesystem::equivalent(std::filesystem::absolute(path), files[0])) << path;
    EXPECT_NE(ReadTranscriptBytes(files[0]).written.find("AT+BPIN=98765\r\n"), std::string::npos);
}

// The command after the result and the Bluetooth steps, as given to the program, are the window's.
TEST_F(StationStepsTest, TheCommandLinesStepsReachTheWindow) {
    const std::string preset = m_dir.File("line.preset");
    std::ofstream(preset) << "name=Linia {n}\npin=98765\npair-pin=1234\n";
    const char* argv[] = {"zk405-station", "--preset", preset.c_str(), "--bluetooth", "--on-result", "./label.sh",
                          "--on-result-timeout", "3", "--discover", "--match", "ZK405*", "--prove-pin",
                          "--unpair-after", "--locked"};
    StationStart start;
    std::ostringstream out, err;
    ASSERT_EQ(ReadStationStart(static_cast<int>(std::size(argv)), argv, start, out, err), std::nullopt) << err.str();
    Modules modules(m_dir, 1);
    station_ui::StationSetup setup = SetupFor(m_dir, modules);
    setup.input = start.input;
    setup.steps = {start.onResult, start.unattended};
    setup.locked = start.locked;
    Window window(setup);
    station_ui::StepsPanel& steps = window->Steps();
    EXPECT_EQ(WxToUtf8(steps.CommandField().GetValue()), "./label.sh");
    EXPECT_TRUE(steps.DiscoverBox().GetValue());
    EXPECT_EQ(WxToUtf8(steps.MatchField().GetValue()), "ZK405*");
    EXPECT_TRUE(steps.ProvePinBox().GetValue());
    EXPECT_TRUE(steps.UnpairAfterBox().GetValue());
    EXPECT_EQ(steps.Steps().onResult.timeout, std::chrono::seconds(3));
    bool pairPinShown = false;
    for (wxWindow* child : window->Settings().GetChildren()) {
        pairPinShown = pairPinShown || WxToUtf8(child->GetLabel()) == text::kPairPinSet;
        EXPECT_EQ(WxToUtf8(child->GetLabel()).find("1234"), std::string::npos);
    }
    EXPECT_TRUE(pairPinShown);
    EXPECT_EQ(window->Settings().Input().pairPin, "1234");
}

// Steps that cannot go together are refused before the window opens, as zk405-cli refuses them.
TEST(StationCommandLine, RefusesStepsThatCannotGoTogether) {
    const std::vector<std::vector<const char*>> refused = {
        {"zk405-station", "--discover", "--pair-pin", "1234"},               // no --bluetooth
        {"zk405-station", "--bluetooth", "--discover"},                      // no pairing PIN
        {"zk405-station", "--match", "ZK*"},                                 // no --discover
        {"zk405-station", "--bluetooth", "--pair-pin", "1234", "--prove-pin"}, // no new PIN to prove
        {"zk405-station", "--on-result-timeout", "0"},
    };
    for (const auto& argv : refused) {
        StationStart start;
        std::ostringstream out, err;
        EXPECT_EQ(ReadStationStart(static_cast<int>(argv.size()), argv.data(), start, out, err),
                  provisioning::kExitUsage)
            << argv[1];
        EXPECT_FALSE(err.str().empty());
    }
}

} // namespace
