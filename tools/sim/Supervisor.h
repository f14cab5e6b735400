// zk405-sim forks at start: the child owns the pseudo-terminals and makes the first its controlling
// terminal, which needs a session of its own; the parent stays in the caller's session, so that
// Ctrl+C and kill reach it, hands those on to the child and exits with the child's status.
#pragma once

#include <functional>
#include <sys/types.h>

namespace zk405_sim {

// Runs child(supervisor's process id) in a forked child with the stop handler installed and returns
// its result there; in the parent waits for the child and returns its exit status. ownedSocket (when
// not negative) is closed in the parent, so that the far end sees it close when the child ends.
int RunSupervised(int ownedSocket, const std::function<int(pid_t supervisor)>& child);

} // namespace zk405_sim
