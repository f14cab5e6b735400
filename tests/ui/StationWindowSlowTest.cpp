// The station window while a silent module takes its full wait (about 11 seconds): the window still
// handles what is posted to it at once, and then shows the module as silent with what to do next.
#include "StationBench.h"

#include "PolishHints.h"

#include <gtest/gtest.h>

#include <wx/button.h>

#include <chrono>
#include <filesystem>
#include <cstdlib>

namespace {

using namespace station_test;
using Clock = std::chrono::steady_clock;

class StationWindowSlowTest : public ::testing::Test {
protected:
    void SetUp() override { setenv("XDG_RUNTIME_DIR", m_dir.Path().c_str(), 1); }
    TempDir m_dir;
};

TEST_F(StationWindowSlowTest, AnswersWhileASilentModuleWaits) {
    Modules modules(m_dir, 1, {"--silent"});
    modules.PlugIn(0);
    Window window(SetupFor(m_dir, modules));
    window.Select(modules.Link(0));
    wx_test::Click(&window->ProgramButton());
    ASSERT_EQ(window.Cell(modules.Link(0), station_ui::kColResult), station_ui::text::kInFlight);

    // Events posted while the job waits are handled within a fraction of the wait.
    for (int i = 0; i < 10; ++i) {
        const Clock::time_point posted = Clock::now();
        Clock::duration took{};
        bool handled = false;
        window->CallAfter([&] {
            took = Clock::now() - posted;
            handled = true;
        });
        ASSERT_TRUE(RunUntil([&] { return handled; }, 1000));
        EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(took).count(), 200) << i;
        wx_test::Settle(100);
    }
    EXPECT_EQ(window.Cell(modules.Link(0), station_ui::kColResult), station_ui::text::kInFlight);

    EXPECT_EQ(window.ResultOf(modules.Link(0), 20000), "BŁĄD (brak odpowiedzi)");
    const std::string hint = station_ui::PolishHints()[static_cast<size_t>(provisioning::HintKey::Silent)];
    // With a ledger the sentence ends by telling where the attempt's transcript is.
    const std::string said = window->Counters().LastFailure();
    const std::string sentence = modules.Link(0) + ": BŁĄD (brak odpowiedzi). " + hint + station_ui::text::kTranscriptAt;
    ASSERT_EQ(said.substr(0, sentence.size()), sentence);
    EXPECT_TRUE(std::filesystem::is_regular_file(said.substr(sentence.size()))) << said;
    EXPECT_EQ(window->Counters().Figure(1), "1");
}

} // namespace
