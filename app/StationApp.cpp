#include "StationApp.h"

#include "StationCommandLine.h"
#include "StationFrame.h"
#include "StopSignal.h"

// wx's own command-line parsing is not called: the entry has read the options already.
bool StationApp::OnInit() {
    InstallStopHandler();
    IgnoreBrokenPipe();
    const StationStart& start = TheStationStart();
    station_ui::StationSetup setup;
    setup.input = start.input;
    setup.steps = {start.onResult, start.unattended};
    setup.ledgerPath = start.ledgerPath;
    setup.place = {start.watchDir, start.bluetooth};
    setup.locked = start.locked;
    setup.automatic = start.automatic;
    setup.once = start.once;
    setup.exitStatus = &m_status;
    auto* frame = new station_ui::StationFrame(setup);
    frame->Show();
    return true;
}

int StationApp::OnRun() {
    wxApp::OnRun();
    return m_status;
}
