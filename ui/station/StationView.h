// What the window is told by the threads that do the work, always on its own (the GUI) thread: the
// bridge posts each call there, so that no exchange with a module ever waits in the window.
#pragma once

#include "Ledger.h"
#include "Outcome.h"
#include "RecordedJob.h"
#include "StationRows.h"

#include <string>

namespace station_ui {

class StationView {
public:
    virtual ~StationView() = default;
    virtual void PortAppeared(const PortFacts& facts) = 0;
    virtual void PortGone(const std::string& port) = 0;
    virtual void AttemptStarted(const provisioning::RecordedResult& attempt) = 0;
    virtual void AttemptFinished(const provisioning::RecordedResult& attempt, provisioning::Verdict verdict) = 0;
    // About the station, its folder or its ledger; failure rings the bell.
    virtual void Notice(const std::string& sentence, bool failure) = 0;
    // The station's thread ended; refusal says why it could not start, when it did not.
    virtual void StationEnded(provisioning::ExitStatus status, const std::string& refusal) = 0;
    // A manual job's thread ended.
    virtual void ManualEnded(const std::string& port) = 0;
};

} // namespace station_ui
