#pragma once
// The batch modes of the full program: --picture, --video and --history.
// They need no display: pictures are drawn in an off-screen OpenGL context,
// the chart by Qt's "offscreen" platform.

#include "batch/command_line.h"

namespace orv {

// Runs one batch mode. Returns the exit status: 0 done; 1 a read error, an
// output that cannot be written, a list or node out of range (the message on
// standard error, and no file written or left half-written).
int run_batch(const cli::CommandLine& cl);

} // namespace orv
