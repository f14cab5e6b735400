// The program's entry: wxIMPLEMENT_APP defines main() (WinMain on Windows). It creates the application
// object when it starts, after the globals of Globals.cpp are constructed, and deletes it before it
// returns, before those globals are destroyed.
#include "ConfigApp.h"

wxIMPLEMENT_APP(CConfigApp);
