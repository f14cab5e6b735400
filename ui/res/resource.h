// Identifiers of the windows, their controls, the icon, the picture, the string table and the About
// command: the one list of them, as a resource script keeps it. Plain #defines so that the Windows
// resource script can read them as well. Named apart from the Windows headers' cursor identifiers
// (IDC_PIN is one of them).
#pragma once

// Windows (dialog templates) and the string table.
#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_ZK405_DIALOG 102
#define IDD_MODULE_SETTINGS 130

// The icon and the module picture.
#define IDR_MAINFRAME 128
#define IDB_MODULE 129

// The port selection window's controls.
#define IDC_PORT_LIST 1000
#define IDC_NEXT 1001

// The module settings window's controls.
#define IDC_SET_NAME 1002
#define IDC_NAME_VALUE 1003
#define IDC_SET_PIN 1004
#define IDC_PIN_VALUE 1005
#define IDC_SET_FLOW 1006
#define IDC_PROTOCOL 1007
#define IDC_SET_AUTH 1008
#define IDC_AUTH_ALWAYS 1009
#define IDC_AUTH_REMEMBER 1010
#define IDC_PROGRAM 1011
#define IDC_BACK 1014
#define IDC_AUTH_NOTE 1018

// The About command in the system menu; the low four bits stay clear as system commands require.
#define IDM_ABOUTBOX 0x0010
