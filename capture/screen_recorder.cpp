#include "capture/screen_recorder.h"

#include <signal.h>

#include <filesystem>
#include <system_error>

#include "capture/audio_track.h"
#include "capture/monotonic_clock.h"
#include "capture/movie_probe.h"
#include "capture/movie_writer.h"
#include "capture/screen_content.h"
#include "capture/screen_stream.h"
#include "capture/signal_source.h"
#include "capture/stop_timer.h"
#include "capture/video_encoder.h"
#include "cli/result_printer.h"

namespace kg::capture {

ScreenRecorder::ScreenRecorder(std::string outputPath, std::int64_t maxSeconds, kg::MainQueue mainQueue)
    : outputPath_(std::move(outputPath)), maxSeconds_(maxSeconds), mainQueue_(std::move(mainQueue)) {}

ScreenRecorder::~ScreenRecorder() {
    // A recording dropped without stop() still leaves a finished, playable file.
    if (started_ && !finished_) {
        try {
            stop();
        } catch (...) {
        }
    }
}

std::shared_ptr<ScreenRecorder> ScreenRecorder::create(std::optional<kg::Rect> region, std::string audioMode,
                                                       std::string outputPath, std::int64_t maxSeconds,
                                                       std::vector<std::uint32_t> excludedWindowIDs,
                                                       kg::MainQueue mainQueue) {
    if (region) checkRegion(*region);
    std::shared_ptr<ScreenRecorder> recorder(new ScreenRecorder(std::move(outputPath), maxSeconds, std::move(mainQueue)));

    auto display = std::make_unique<X11Display>();
    if (auto missing = display->missingForCapture()) throw CaptureError("cannot record the screen: " + *missing);
    const std::vector<DisplayInfo> displays = listDisplays(*display);
    if (displays.empty()) throw CaptureError("No display found");
    const DisplayInfo& chosen = displays.front();
    recorder->geometry_ = frameGeometryFor(region, chosen.frame.width, chosen.frame.height);
    const Rect source = region.value_or(Rect{0, 0, static_cast<double>(chosen.frame.width),
                                             static_cast<double>(chosen.frame.height)});

    recorder->encoder_ = std::make_unique<VideoEncoder>(static_cast<int>(recorder->geometry_.frameWidth),
                                                        static_cast<int>(recorder->geometry_.frameHeight));
    recorder->writer_ = std::make_unique<MovieWriter>(recorder->outputPath_, recorder->delegate_);
    recorder->videoStream_ = recorder->writer_->addStream(recorder->encoder_->context());
    recorder->audio_ = openAudioTrack(audioModeFromText(audioMode), *recorder->writer_, [](const std::string& reason) {
        printResult(warnResult("audio unavailable: " + reason));
    });
    recorder->stream_ = std::make_unique<ScreenStream>(std::move(display), chosen.frame.x, chosen.frame.y,
                                                       recorder->geometry_, source, excludedWindowIDs,
                                                       recorder->delegate_);
    return recorder;
}

std::vector<std::uint32_t> ScreenRecorder::excludedWindows() const { return stream_->excludedWindows(); }

void ScreenRecorder::start() {
    if (started_) return;
    writer_->open();
    started_ = true;
    epochNs_ = monotonicNowNs();
    encoder_->start(*writer_, videoStream_);
    if (audio_) audio_->start(epochNs_);
    stream_->start(epochNs_, *encoder_);
}

void ScreenRecorder::updateRegion(const kg::Rect& region) {
    checkRegion(region);
    stream_->setRegion(region);
}

void ScreenRecorder::waitForStop() {
    std::weak_ptr<ScreenRecorder> weak = weak_from_this();
    auto requestStop = [weak] {
        if (auto self = weak.lock()) self->triggerStop();
    };
    if (!stopLatch_.triggered()) {
        signalSource_ = std::make_unique<SignalSource>(std::vector<int>{SIGUSR1}, [requestStop](int) { requestStop(); },
                                                       mainQueue_);
        timer_ = std::make_unique<StopTimer>(maxSeconds_, [mainQueue = mainQueue_, requestStop] { mainQueue(requestStop); });
    }
    stopLatch_.wait();
    // Both triggers are done with once the stop is requested; later signals stay pending
    // (blocked) and change nothing.
    signalSource_.reset();
    timer_.reset();
}

void ScreenRecorder::triggerStop() { stopLatch_.trigger(); }

kg::ResultObject ScreenRecorder::stop() {
    if (!finished_ && started_) {
        finished_ = true;
        const std::int64_t endNs = monotonicNowNs();
        stream_->stop();
        encoder_->finish(VideoEncoder::ticksFromNs(endNs - epochNs_));
        if (audio_) audio_->finish(endNs);
        writer_->close();
    }
    std::error_code error;
    const auto size = std::filesystem::file_size(outputPath_, error);
    if (error) throw CaptureError("cannot read " + outputPath_ + ": " + error.message());
    const double duration = movieDurationSeconds(outputPath_);
    return ResultObject{{"status", ResultValue{std::string("done")}},
                        {"path", ResultValue{outputPath_}},
                        {"size", ResultValue{static_cast<std::int64_t>(size)}},
                        {"duration", ResultValue{duration}}};
}

}  // namespace kg::capture
