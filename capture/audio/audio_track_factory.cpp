#include "capture/audio_track.h"

namespace kg::capture {

AudioMode audioModeFromText(std::string_view text) {
    if (text == "system") return AudioMode::System;
    if (text == "microphone") return AudioMode::Microphone;
    if (text == "both") return AudioMode::Both;
    return AudioMode::None;
}

// Placeholder until the sound server capture lands: every mode records without sound.
std::unique_ptr<AudioTrack> openAudioTrack(AudioMode, MovieWriter&, AudioWarning) { return nullptr; }

}  // namespace kg::capture
