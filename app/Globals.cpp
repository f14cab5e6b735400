// The program's globals, in one translation unit so that their order is fixed: the port choice, then
// the port. The application object comes after both (wxWidgets creates it inside its entry) and goes
// before them, and the port goes before the choice, closing a port and log a window left open.
#include "PortChoice.h"
#include "SerialPort.h"

CPortChoice g_portChoice;
CSerialPort g_serialPort;
