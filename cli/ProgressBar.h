#pragma once

namespace quorvane::cli
{

/** A one-line progress bar on stderr, redrawn in place; silent when disabled. */
class ProgressBar
{
public:
    /** Enabled only when asked for and stderr is a terminal, so logs and pipes stay clean. */
    explicit ProgressBar (bool wanted);

    /** Redraws the bar for a fraction 0..1 when the shown percentage changes. */
    void update (double fraction);
    /** Erases the bar so that the next line starts clean. */
    void finish();

private:
    bool enabled;
    int shownPercent = -1;
};

} // namespace quorvane::cli
