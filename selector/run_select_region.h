#pragma once

namespace kg {

// The `select-region` command: one dimmed selection window per display; prints the first
// accepted selection or the cancellation and ends the process with status 0. Prints
// {"error": "cannot open display"} and returns 1 when no X server can be reached.
int runSelectRegion(int argc, char** argv);

}  // namespace kg
