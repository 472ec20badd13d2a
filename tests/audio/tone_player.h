#pragma once
// Plays silence to a sink until asked, then a tone, and reports the CLOCK_MONOTONIC time at
// which the tone's first frame is heard (the server's playback latency taken into account).
// A test scene uses that instant to start something else (a white flash) at the same time.
//
// Threads: the constructor, startTone() and the destructor on the test's thread; the player
// writes on its own thread.

#include <atomic>
#include <cstdint>
#include <future>
#include <string>
#include <thread>

namespace kg::test {

class TonePlayer {
public:
    // Connects to the default server of this process's environment (see PulseServer).
    TonePlayer(const std::string& sink, double frequencyHz, double amplitude = 0.5);
    ~TonePlayer();
    TonePlayer(const TonePlayer&) = delete;
    TonePlayer& operator=(const TonePlayer&) = delete;

    // Switches from silence to the tone; returns when the tone will be heard (monotonic ns,
    // usually a few milliseconds in the future).
    std::int64_t startTone();

private:
    void run();

    std::string sink_;
    double frequencyHz_;
    double amplitude_;
    std::atomic<bool> toneRequested_{false};
    std::atomic<bool> quit_{false};
    std::promise<std::int64_t> onset_;
    std::promise<void> ready_;
    std::thread thread_;
};

}  // namespace kg::test
