// CProgress: a terminal-only progress line.
#include "base/Progress.h"

#include <unistd.h>

#include <cstdio>
#include <utility>

CProgress::CProgress(std::string what, int total, bool enabled)
    : what_(std::move(what)),
      total_(total),
      tty_(enabled && ::isatty(STDERR_FILENO) == 1),
      log_(enabled && !tty_),
      start_(Clock::now())
{
    if (log_) std::fprintf(stderr, "stage: %s 1 to %d started\n", what_.c_str(), total_);
}

CProgress::~CProgress()
{
    if (tty_ && shown_) std::fputs("\r\033[K", stderr);
    if (log_)
        std::fprintf(stderr, "stage: %s 1 to %d done in %.1f s\n", what_.c_str(), total_,
                     std::chrono::duration<double>(Clock::now() - start_).count());
}

void CProgress::Show(int done)
{
    if (!tty_) return;
    const Clock::time_point now = Clock::now();
    if (shown_ && now - last_ < std::chrono::milliseconds(250) && done < total_) return;
    last_ = now;
    shown_ = true;
    const double elapsed = std::chrono::duration<double>(now - start_).count();
    const double left = done > 0 ? elapsed * (total_ - done) / done : 0.0;
    std::fprintf(stderr, "\r%s %d of %d, elapsed %.0f s, about %.0f s left\033[K", what_.c_str(), done, total_, elapsed,
                 left);
    std::fflush(stderr);
}
