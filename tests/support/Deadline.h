// Time limits of the test helpers' waits, counted in whole milliseconds as poll() takes them.
#pragma once

#include <chrono>
#include <thread>

class Deadline {
public:
    explicit Deadline(int timeoutMs) : m_end(Clock::now() + std::chrono::milliseconds(timeoutMs)) {}

    // What is left of the time, 0 once it is up.
    int MsLeft() const {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(m_end - Clock::now()).count();
        return left > 0 ? static_cast<int>(left) : 0;
    }
    bool Passed() const { return MsLeft() == 0; }

private:
    using Clock = std::chrono::steady_clock;
    Clock::time_point m_end;
};

// Checks done() every step until it holds; false when it still does not once the deadline has passed.
template <class Done> bool WaitUntil(const Deadline& deadline, std::chrono::microseconds step, Done done) {
    while (!done()) {
        if (deadline.Passed())
            return false;
        std::this_thread::sleep_for(step);
    }
    return true;
}
