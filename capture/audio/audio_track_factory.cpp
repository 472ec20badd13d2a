#include <exception>

#include "capture/audio/pulse_audio_track.h"
#include "capture/audio_track.h"

namespace kg::capture {

AudioMode audioModeFromText(std::string_view text) {
    if (text == "system") return AudioMode::System;
    if (text == "microphone") return AudioMode::Microphone;
    if (text == "both") return AudioMode::Both;
    return AudioMode::None;
}

std::unique_ptr<AudioTrack> openAudioTrack(AudioMode mode, MovieWriter& writer, AudioWarning warn) {
    using audio::SourceRole;
    std::vector<SourceRole> sources;
    switch (mode) {
        case AudioMode::None: return nullptr;
        case AudioMode::System: sources = {SourceRole::DefaultOutput}; break;
        case AudioMode::Microphone: sources = {SourceRole::DefaultInput}; break;
        case AudioMode::Both: sources = {SourceRole::DefaultOutput, SourceRole::DefaultInput}; break;
    }
    // Sound never costs the recording: whatever goes wrong here is a warning, and the movie
    // is written without a sound track.
    try {
        return std::make_unique<audio::PulseAudioTrack>(sources, writer, warn);
    } catch (const std::exception& error) {
        if (warn) warn(error.what());
        return nullptr;
    }
}

}  // namespace kg::capture
