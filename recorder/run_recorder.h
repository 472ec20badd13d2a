#pragma once
#include <string>
#include <vector>

namespace kg {

// The `record` command: reads its options, runs the recorder application and returns the
// exit status should the event loop ever return. `args` are the arguments after the command
// word; argc/argv are what the toolkit is handed (the program name only).
int runRecorder(const std::vector<std::string>& args, int argc, char** argv);

}  // namespace kg
