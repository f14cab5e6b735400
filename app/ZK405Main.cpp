// The program's entry: wx's main (WinMain on Windows) creating the application object after the
// globals in Globals.cpp, so that it is destroyed before them.
#include "ConfigApp.h"

wxIMPLEMENT_APP(CConfigApp);
