// CProgress: one updating progress line on standard error, shown only when standard error is
// a terminal (so pipes and log files never see it), at most four times a second.
#pragma once

#include <chrono>
#include <string>

class CProgress {
public:
    // what names the unit counted ("iteration", "group", "candidate", ...); a line that is
    // not enabled is never shown.
    CProgress(std::string what, int total, bool enabled = true);
    ~CProgress();  // clears the line
    CProgress(const CProgress&) = delete;
    CProgress& operator=(const CProgress&) = delete;

    // "what done of total, elapsed s, about s left".
    void Show(int done);

private:
    using Clock = std::chrono::steady_clock;
    std::string what_;
    int total_;
    bool tty_;
    bool shown_ = false;
    Clock::time_point start_, last_;
};
