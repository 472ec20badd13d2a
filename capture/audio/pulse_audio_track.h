#pragma once
// The sound track of one recording, recorded from the sound server: one source, or two mixed
// into one track. Built by openAudioTrack().
//
// Threads: as AudioTrack. The sound server's thread feeds the pipeline; the pipeline's
// worker writes packets through the writer (which allows any thread).

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "capture/audio/pulse_capture.h"
#include "capture/audio/track_pipeline.h"
#include "capture/audio_track.h"

namespace kg::capture {
class MovieWriter;
}

namespace kg::capture::audio {

class PulseAudioTrack final : public AudioTrack {
public:
    // Connects to the sound server and starts recording the device of each role, then adds the AAC
    // stream to the writer. Throws SoundUnavailable (or std::runtime_error for the encoder)
    // before touching the writer, so a failed track leaves a video-only movie.
    PulseAudioTrack(const std::vector<SourceRole>& sources, MovieWriter& writer, AudioWarning warn,
                    PipelineTimings timings = {});
    ~PulseAudioTrack() override;

    void start(std::int64_t movieEpochNs) override;
    void finish(std::int64_t movieEndNs) override;

    [[nodiscard]] TrackPipeline::Stats stats() const { return pipeline_->stats(); }

private:
    void warnOnce(const std::string& reason);

    AudioWarning warn_;
    std::atomic<bool> warned_{false};
    int streamIndex_ = -1;  // set before the writer's header, read by the worker afterwards
    std::unique_ptr<TrackPipeline> pipeline_;
    std::unique_ptr<PulseCapture> capture_;  // after pipeline_: stopped before it goes
};

}  // namespace kg::capture::audio
