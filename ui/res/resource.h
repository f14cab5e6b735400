// Identifiers of the port selection window, the About box, the icon, the picture and the string table.
// Plain #defines so that the Windows resource script can read them as well.
#pragma once

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_ZK405_DIALOG 102
#define IDR_MAINFRAME 128
#define IDB_MODULE 129
#define IDC_PORT_LIST 1000
#define IDC_NEXT 1001

// The About command in the system menu; the low four bits stay clear as system commands require.
#define IDM_ABOUTBOX 0x0010
