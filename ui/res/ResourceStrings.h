// The program's string table: the texts Windows keeps in the resource script's STRINGTABLE, here for
// every platform alike.
#pragma once

#include <wx/string.h>

// The text of a string resource; empty for an identifier the table does not hold.
wxString LoadResourceString(int resourceId);
