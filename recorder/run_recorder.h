#pragma once
#include <string>
#include <vector>

namespace kg {

// The `record` command: reads its options, runs the recorder application and returns the
// exit status should the event loop ever return. `args` are the arguments after the command
// word; argc/argv are the whole process arguments, handed to the toolkit.
int runRecorder(const std::vector<std::string>& args, int argc, char** argv);

}  // namespace kg
