#pragma once
// The sound of one recording, as the capture engine sees it. The implementation (sound
// server capture, mixing, clock alignment, AAC encoding) lives in capture/audio/.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace kg::capture {

class MovieWriter;

// Exact, case-sensitive: "system", "microphone", "both"; any other text records no sound.
enum class AudioMode { None, System, Microphone, Both };
[[nodiscard]] AudioMode audioModeFromText(std::string_view text);

class AudioTrack {
public:
    virtual ~AudioTrack() = default;
    // Time 0 of the movie on CLOCK_MONOTONIC, in nanoseconds; the video uses the same clock.
    // Sound captured before it is dropped. Called once, from the thread that starts the
    // recording, after the writer's header is written.
    virtual void start(std::int64_t movieEpochNs) = 0;
    // Ends capture at movieEndNs (same clock), encodes and writes what is left up to that
    // moment, and returns once no further packet will reach the writer. Idempotent.
    virtual void finish(std::int64_t movieEndNs) = 0;
};

// Reports a problem that costs the sound but not the recording; the engine prints it as
// {"warn": "audio unavailable: <reason>"}. Called at most once per track, from any thread.
using AudioWarning = std::function<void(const std::string& reason)>;

// Opens the sound devices for the mode and adds an AAC (48 kHz, 2 channels) stream to the
// writer, which must not have written its header yet. Returns nullptr for AudioMode::None,
// and also when no sound server can be reached (after reporting that through `warn`).
[[nodiscard]] std::unique_ptr<AudioTrack> openAudioTrack(AudioMode mode, MovieWriter& writer, AudioWarning warn);

}  // namespace kg::capture
