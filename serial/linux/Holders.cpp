#include "Holders.h"

#include "Processes.h"
#include "SerialSystem.h"
#include "SystemErrors.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <new>
#include <span>
#include <unistd.h>
#include <vector>

namespace serial_os {

namespace {

bool SameFile(const struct stat& a, const struct stat& b) {
    if (S_ISCHR(a.st_mode))
        return S_ISCHR(b.st_mode) && a.st_rdev == b.st_rdev;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

struct Request {
    HolderSearch* search = nullptr;
    bool answered = false;
};

// Looks at one process's descriptors for every search still without a holder; returns how many
// found theirs. Sockets, pipes and the like are told apart by their link text and skipped.
size_t LookInto(DIR* descriptors, pid_t pid, std::span<Request* const> batch, int& failure) {
    const int directory = dirfd(descriptors);
    size_t found = 0;
    char target[64];
    while (const dirent* descriptor = readdir(descriptors)) {
        if (descriptor->d_name[0] == '.')
            continue;
        // The text is cut short past its first bytes: only whether it is a path matters.
        const ssize_t n = readlinkat(directory, descriptor->d_name, target, sizeof target);
        if (n > 0 && target[0] != '/')
            continue;
        struct stat other {};
        if (n <= 0 || fstatat(directory, descriptor->d_name, &other, 0) != 0) {
            // A descriptor closed meanwhile is no failure.
            if (OutOfResources(errno)) {
                failure = errno;
                return found;
            }
            continue;
        }
        for (Request* request : batch)
            if (request->search->holder == 0 && SameFile(request->search->device, other)) {
                request->search->holder = pid;
                ++found;
            }
    }
    return found;
}

// One walk of /proc for every search of the batch, ended early once each has found a holder.
void Walk(std::span<Request* const> batch) {
    int failure = 0;
    bool hidden = false;
    size_t searching = batch.size();
    DIR* processes = opendir("/proc");
    if (processes == nullptr)
        failure = errno;
    const pid_t self = getpid();
    while (processes != nullptr && failure == 0 && searching > 0) {
        errno = 0;
        const dirent* process = readdir(processes);
        if (process == nullptr) {
            failure = errno;
            break;
        }
        if (process->d_name[0] < '1' || process->d_name[0] > '9')
            continue;
        const pid_t pid = static_cast<pid_t>(std::atol(process->d_name));
        if (pid == self)
            continue;
        char fdDirectory[32];
        std::snprintf(fdDirectory, sizeof fdDirectory, "%d/fd", static_cast<int>(pid));
        const int fd = openat(dirfd(processes), fdDirectory, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        DIR* descriptors = fd < 0 ? nullptr : fdopendir(fd);
        if (descriptors == nullptr) {
            const int error = errno;
            if (fd >= 0)
                close(fd);
            // A process that ended is no failure; one we may not look into may hold anything.
            if (OutOfResources(error))
                failure = error;
            else if (error == EACCES || error == EPERM)
                hidden = true;
            continue;
        }
        searching -= LookInto(descriptors, pid, batch, failure);
        closedir(descriptors);
    }
    if (processes != nullptr)
        closedir(processes);
    for (Request* request : batch) {
        request->search->failure = failure;
        request->search->hidden = hidden;
    }
}

struct SharedWalks {
    std::mutex mutex;
    std::condition_variable changed;
    bool walking = false; // a walk is under way, or gathering its batch
    std::vector<Request*> waiting;
    // The shared searches alive, each with its opens that have not reached their walk yet.
    std::vector<unsigned*> expected;
};

SharedWalks& Walks() {
    static SharedWalks walks;
    return walks;
}

// Long enough for the threads one command starts together to reach their walk even on a busy
// machine; an announced open that never comes (its thread could not start) costs the walk no more.
constexpr auto kGatherBound = std::chrono::milliseconds(50);

bool AnyExpected(const SharedWalks& walks) {
    for (const unsigned* left : walks.expected)
        if (*left > 0)
            return true;
    return false;
}

// An open is not told apart by the search that announced it: the first with opens still to come
// counts it.
void NoLongerExpected(SharedWalks& walks) {
    for (unsigned* left : walks.expected)
        if (*left > 0) {
            --*left;
            walks.changed.notify_all();
            return;
        }
}

// The opens of one command: announced when it is made, and what of them has not come by its end
// (a thread that could not start) is expected no more.
class ExpectedOpens final : public SharedSearch {
public:
    explicit ExpectedOpens(unsigned opens) : m_left(opens) {}

    ~ExpectedOpens() override {
        SharedWalks& walks = Walks();
        const std::lock_guard<std::mutex> lock(walks.mutex);
        walks.expected.erase(std::find(walks.expected.begin(), walks.expected.end(), &m_left));
        walks.changed.notify_all();
    }

    unsigned* Left() { return &m_left; }

private:
    unsigned m_left;
};

} // namespace

std::unique_ptr<SharedSearch> ShareHolderSearch(unsigned opens) {
    // Without memory for it, each open looks for itself: slower, never less sure.
    std::unique_ptr<ExpectedOpens> search(new (std::nothrow) ExpectedOpens(opens));
    if (!search)
        return nullptr;
    SharedWalks& walks = Walks();
    const std::lock_guard<std::mutex> lock(walks.mutex);
    try {
        walks.expected.push_back(search->Left());
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    return search;
}

void OpenUnderWay::Arrived() {
    SharedWalks& walks = Walks();
    const std::lock_guard<std::mutex> lock(walks.mutex);
    if (!m_arrived) {
        m_arrived = true;
        NoLongerExpected(walks);
    }
}

// Whoever finds no walk under way walks for all who are waiting; who asks during a walk waits for
// the next one, as the one under way may have passed its holder already.
void FindHolders(HolderSearch& search, OpenUnderWay* open) {
    search.holder = 0;
    search.failure = 0;
    search.hidden = false;
    Request request{&search};
    SharedWalks& walks = Walks();
    if (open != nullptr)
        open->Arrived();
    std::unique_lock<std::mutex> lock(walks.mutex);
    try {
        walks.waiting.push_back(&request);
    } catch (const std::bad_alloc&) {
        lock.unlock();
        Request* const alone[] = {&request};
        Walk(alone);
        return;
    }
    while (!request.answered) {
        if (walks.walking) {
            walks.changed.wait(lock);
            continue;
        }
        walks.walking = true;
        if (!walks.changed.wait_for(lock, kGatherBound, [&] { return !AnyExpected(walks); }))
            for (unsigned* left : walks.expected)
                *left = 0; // the rest are held up elsewhere: later walks do not wait for them
        std::vector<Request*> batch;
        batch.swap(walks.waiting);
        lock.unlock();
        Walk(batch);
        lock.lock();
        for (Request* answered : batch)
            answered->answered = true;
        walks.walking = false;
        walks.changed.notify_all();
    }
}

bool NoOtherHolder(int fd, const std::string& path, OpenUnderWay* open, serial_result::OpenFailure& why) {
    using serial_result::OpenReason;
    HolderSearch search;
    int failure = fstat(fd, &search.device) == 0 ? 0 : errno;
    if (failure == 0) {
        FindHolders(search, open);
        failure = search.failure;
    }
    if (failure != 0) {
        Refuse(why, OutOfResources(failure) ? OpenReason::kResourceLimit : OpenReason::kOther, path, failure,
               "its holders could not be looked for");
        return false;
    }
    if (search.holder != 0) {
        Refuse(why, OpenReason::kHeldBy, path);
        NameHolder(why, search.holder);
        return false;
    }
    return true;
}

} // namespace serial_os
