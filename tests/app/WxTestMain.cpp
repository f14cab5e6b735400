// Runs the window tests inside an initialised wx application without a main loop of its own, as the
// program itself does: each modal window runs its own loop.
#include "WxTestSupport.h"

#include <wx/app.h>
#include <wx/init.h>
#include <wx/log.h>

#include <gtest/gtest.h>

namespace {
bool g_haveDisplay = false;
}

bool HaveDisplay() {
    return g_haveDisplay;
}

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    wxApp::SetInstance(new wxApp);
    g_haveDisplay = wxEntryStart(argc, argv);
    if (g_haveDisplay) {
        wxLog::EnableLogging(false); // GTK theme warnings on Xvfb are no test result
        wxTheApp->SetExitOnFrameDelete(false);
    }
    const int result = RUN_ALL_TESTS();
    if (g_haveDisplay)
        wxEntryCleanup();
    return result;
}
