// The program's global objects, both defined in this one file because C++ constructs the globals of a
// file in the order they are written and destroys them in the reverse order: g_portChoice is
// constructed first, then g_serialPort. The application object is constructed later, when wx's main()
// starts (ZK405Main.cpp), and deleted before main() returns, so it is gone before these two are
// destroyed. At the end g_serialPort is destroyed first; its destructor closes the port and the traffic
// log if a window left them open, while g_portChoice still exists.
#include "PortChoice.h"
#include "SerialPort.h"

CPortChoice g_portChoice;
CSerialPort g_serialPort;
