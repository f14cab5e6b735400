// CConfigApp: the application object. The program is a chain of modal windows: InitInstance runs the
// port selection window and the program ends when it closes, without a main loop of its own.
#pragma once

#include <wx/app.h>

class CConfigApp : public wxApp {
public:
    bool OnInit() override;
    int OnRun() override;

    // Shows the port selection window modally and returns when it closes. Returns false: no window is
    // left open, so OnRun ends the program instead of starting wx's main loop.
    virtual bool InitInstance();

private:
    bool m_runMainLoop = false;
};

wxDECLARE_APP(CConfigApp);
