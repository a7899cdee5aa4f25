#pragma once

#include "CommandLine.h"

// tessaly --timelapse: a video of one camera's saved pictures, without a
// window. The index of cam/ is brought up to date first (made when there is
// none), the export runs on its worker thread, and progress goes to standard
// error: a bar that redraws itself on a terminal, a line every tenth
// otherwise. SIGINT or SIGTERM cancels and leaves no file.
namespace TimelapseMode {

// 0 when the video was written, 1 when it could not be (no pictures, a
// failure, a cancel).
int run(int &argc, char **argv, const CommandLine::TimelapseRequest &request);

// The progress text for done of total frames: a bar of width characters on a
// terminal, or a plain line.
QString progressText(int done, int total, bool terminal, int width = 30);

} // namespace TimelapseMode
