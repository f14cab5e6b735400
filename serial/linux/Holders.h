// Which other process has a device open, as fuser finds it: through every /proc/<pid>/fd this user
// may look into. Opens that ask at the same time (the ports of one command, announced by a
// SharedSearch) share a walk, and each is answered by a walk that began after it asked, so none is
// answered from before its own lock.
#pragma once

#include "OpenFailure.h"

#include <string>
#include <sys/stat.h>
#include <sys/types.h>

namespace serial_os {

struct HolderSearch {
    struct stat device {}; // what is looked for: a character device by its number, a file by its inode
    pid_t holder = 0;      // the first process other than this one seen holding it
    int failure = 0;       // the error that cut the walk short: a holder may exist unseen
    bool hidden = false;   // the descriptors of some process were closed to us (another user's)
};

// Held by an open from its start until it asks for its walk or ends without one; either way it is
// then no longer expected by the walks that wait for the opens of a SharedSearch.
class OpenUnderWay {
public:
    OpenUnderWay() = default;
    ~OpenUnderWay() { Arrived(); }
    OpenUnderWay(const OpenUnderWay&) = delete;
    OpenUnderWay& operator=(const OpenUnderWay&) = delete;
    // The open asks for its walk now, or no walk is coming from it (a Bluetooth link has no device
    // file to look for).
    void Arrived();

private:
    bool m_arrived = false;
};

// Fills search's answer from a walk of /proc that starts after the call; open, when the search is
// an open's (not a probe's), arrives with it.
void FindHolders(HolderSearch& search, OpenUnderWay* open);

// True when no other process holds the device open on fd. False, with why filled, when one does or
// when the walk could not be finished (short of descriptors, say): a holder it did not see may exist.
bool NoOtherHolder(int fd, const std::string& path, OpenUnderWay* open, serial_result::OpenFailure& why);

} // namespace serial_os
