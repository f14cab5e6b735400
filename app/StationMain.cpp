// zk405-station's application object; the entry itself (main, WinMain) is per platform.
#include "StationApp.h"

wxIMPLEMENT_APP_NO_MAIN(StationApp);
