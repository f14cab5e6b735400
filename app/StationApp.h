// zk405-station's application object: one resizable window with a main loop, which ends with the
// station's exit status (--once) once the window has finished its modules and gone.
#pragma once

#include <wx/app.h>

class StationApp : public wxApp {
public:
    bool OnInit() override;
    int OnRun() override;

private:
    int m_status = 0;
};

wxDECLARE_APP(StationApp);
