// CConfigApp: the application object. The program is a chain of modal windows: InitInstance runs the
// port selection window and the program ends when it closes, without a main loop of its own.
#pragma once

#include <wx/app.h>
#include <wx/timer.h>

class CConfigApp : public wxApp {
public:
    bool OnInit() override;
    int OnRun() override;

    // Shows the port selection window modally and returns when it closes. Returns false: no window is
    // left open, so OnRun ends the program instead of starting wx's main loop.
    virtual bool InitInstance();

private:
    // Looks at the stop flag (SIGINT, SIGTERM, SIGHUP) and ends the open windows one by one, the
    // innermost first, so that the program leaves as when the user closes them.
    void OnStopCheck(wxTimerEvent& event);

    bool m_runMainLoop = false;
    wxTimer m_stopCheck;
};

wxDECLARE_APP(CConfigApp);
