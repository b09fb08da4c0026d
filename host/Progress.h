// Progress of long work (bench, many files): one line on standard error, rewritten in place.
// Shown only when standard error is a terminal, so logs and pipes stay clean.
#pragma once

#include <string>

// Replaces the progress line (at most a few redraws a second; the last text is kept).
// Callable from any thread.
void VxHost_ProgressShow(const std::string& text);
// Erases the progress line; called before anything else is written to the terminal.
void VxHost_ProgressClear();
