// CConfigApp: the application object. The program is a chain of modal windows: InitInstance runs the
// port selection window and the program ends when it closes, without a main loop of its own.
#pragma once

#include <wx/app.h>

class CConfigApp : public wxApp {
public:
    bool OnInit() override;
    int OnRun() override;

    // Runs the port selection window modally; answers whether a main loop should follow, which it
    // never should.
    virtual bool InitInstance();

private:
    bool m_runMainLoop = false;
};

wxDECLARE_APP(CConfigApp);
