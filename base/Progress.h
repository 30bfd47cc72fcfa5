// CProgress: one updating progress line on standard error when standard error is a terminal,
// at most four times a second. Otherwise (a pipe, a workflow's log file) one line when the
// stage starts and one when it ends, with the time it took.
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
    bool log_;  // not a terminal: the start and end lines
    Clock::time_point start_, last_;
};
