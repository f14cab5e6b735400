#include "StationBridge.h"

#include "StationTexts.h"

namespace station_ui {

using provisioning::RecordedResult;
using provisioning::Verdict;

void StationBridge::Ready(const provisioning::StationOptions&, size_t) {}

// The window's own port watch tells what goes; the station's word for it would say it twice.
void StationBridge::Gone(const std::string&) {}

void StationBridge::WatchLost(const std::string& folder, const std::string& why) {
    Notice(std::string(text::kWatchLost) + folder + " (" + why + ")", true);
}

void StationBridge::WatchBack(const std::string&) {}

void StationBridge::Started(const RecordedResult& attempt) {
    Post([attempt](StationView& view) { view.AttemptStarted(attempt); });
}

void StationBridge::Finished(const RecordedResult& attempt, Verdict verdict, const provisioning::Tally&) {
    Post([attempt, verdict](StationView& view) { view.AttemptFinished(attempt, verdict); });
}

void StationBridge::LedgerWaiting(const provisioning::LedgerLockWait& wait) {
    std::string holder = wait.program;
    if (wait.pid != 0)
        holder += (holder.empty() ? "PID " : " (PID ") + std::to_string(wait.pid) + (holder.empty() ? "" : ")");
    Notice(text::kLedgerWaiting + wait.path + (holder.empty() ? "" : ", " + holder), false);
}

void StationBridge::LedgerBroken(const std::string& error) {
    Notice(text::kLedgerBroken + error, true);
}

void StationBridge::Stopped(const provisioning::Tally&, provisioning::ExitStatus, int) {}

void StationBridge::Appeared(const PortFacts& facts) {
    Post([facts](StationView& view) { view.PortAppeared(facts); });
}

void StationBridge::Went(const std::string& port) {
    Post([port](StationView& view) { view.PortGone(port); });
}

void StationBridge::Notice(const std::string& sentence, bool failure) {
    Post([sentence, failure](StationView& view) { view.Notice(sentence, failure); });
}

void StationBridge::StationEnded(provisioning::ExitStatus status, const std::string& refusal) {
    Post([status, refusal](StationView& view) { view.StationEnded(status, refusal); });
}

void StationBridge::ManualEnded(const std::string& port) {
    Post([port](StationView& view) { view.ManualEnded(port); });
}

} // namespace station_ui
