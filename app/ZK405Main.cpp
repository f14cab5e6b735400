// The application object, created by wx after the globals in Globals.cpp so that it is destroyed
// before them. The entry itself (main, WinMain) is per platform, in posix/ and win32/.
#include "ConfigApp.h"

wxIMPLEMENT_APP_NO_MAIN(CConfigApp);
