#include "ResourceStrings.h"

#include "resource.h"

namespace {

struct StringEntry {
    int id;
    const char* text; // UTF-8
};

// Kept in step with the STRINGTABLE in ZK405.rc.
constexpr StringEntry kStrings[] = {
    {IDS_ABOUTBOX, "&About ZK405..."},
};

} // namespace

wxString LoadResourceString(int resourceId) {
    for (const StringEntry& entry : kStrings)
        if (entry.id == resourceId)
            return wxString::FromUTF8(entry.text);
    return wxString();
}
