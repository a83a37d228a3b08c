#include "ProgressBar.h"

#include <algorithm>
#include <cstdio>

#include <unistd.h>

namespace quorvane::cli
{

ProgressBar::ProgressBar (bool wanted) : enabled (wanted && ::isatty (STDERR_FILENO) != 0) {}

void ProgressBar::update (double fraction)
{
    const int percent = (int) (std::clamp (fraction, 0.0, 1.0) * 100.0);
    if (! enabled || percent == shownPercent)
        return;
    shownPercent = percent;

    constexpr int width = 40;
    char bar[width + 1];
    const int filled = percent * width / 100;
    for (int i = 0; i < width; ++i)
        bar[i] = i < filled ? '#' : '.';
    bar[width] = '\0';
    std::fprintf (stderr, "\rrendering [%s] %3d%%", bar, percent);
    std::fflush (stderr);
}

void ProgressBar::finish()
{
    if (enabled && shownPercent >= 0)
        std::fprintf (stderr, "\r%60s\r", "");
    shownPercent = -1;
}

} // namespace quorvane::cli
