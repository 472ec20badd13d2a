#pragma once

namespace kg {

// The `stop` command: sends SIGUSR1 to the recorder named by the PID file in the temporary
// directory and reports it. Returns the exit status: 0 when the signal was sent (whatever
// kill() reported), 1 with {"error": "no active recording found"} otherwise.
[[nodiscard]] int stopRecording();

}  // namespace kg
