#include "capture/screen_recorder.h"

#include <signal.h>

#include <filesystem>
#include <system_error>

#include "capture/audio_track.h"
#include "capture/encoding/video_encoder.h"
#include "capture/monotonic_clock.h"
#include "capture/movie/movie_probe.h"
#include "capture/movie/movie_writer.h"
#include "capture/pacing/frame_pacer.h"
#include "capture/signal_source.h"
#include "capture/source/video_source.h"
#include "capture/source/video_source_factory.h"
#include "capture/stop_timer.h"
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
                                                       kg::MainQueue mainQueue,
                                                       std::shared_ptr<const ScreenSnapshot> screenBefore) {
    if (region) checkRegion(*region);
    std::shared_ptr<ScreenRecorder> recorder(new ScreenRecorder(std::move(outputPath), maxSeconds, std::move(mainQueue)));

    recorder->source_ = openVideoSource(excludedWindowIDs, std::move(screenBefore));
    const Size display = recorder->source_->displaySize();
    recorder->geometry_ = frameGeometryFor(region, static_cast<std::int64_t>(display.width),
                                           static_cast<std::int64_t>(display.height));
    recorder->source_->setGeometry(recorder->geometry_);
    recorder->source_->moveTo(region.value_or(Rect{0, 0, display.width, display.height}));

    recorder->encoder_ = std::make_unique<VideoEncoder>(static_cast<int>(recorder->geometry_.frameWidth),
                                                        static_cast<int>(recorder->geometry_.frameHeight));
    recorder->writer_ = std::make_unique<MovieWriter>(recorder->outputPath_, recorder->delegate_);
    // A file that can take nothing more (a full disk) ends the recording: it is finished and
    // measured as it stands.
    recorder->writer_->onFailure([weak = std::weak_ptr<ScreenRecorder>(recorder), mainQueue = recorder->mainQueue_] {
        mainQueue([weak] {
            if (auto self = weak.lock()) self->triggerStop();
        });
    });
    recorder->videoStream_ = recorder->writer_->addStream(recorder->encoder_->context());
    recorder->audio_ = openAudioTrack(audioModeFromText(audioMode), *recorder->writer_, [](const std::string& reason) {
        printResult(warnResult("audio unavailable: " + reason));
    });
    recorder->pacer_ = std::make_unique<FramePacer>(*recorder->source_, recorder->geometry_, recorder->delegate_);
    return recorder;
}

std::vector<std::uint32_t> ScreenRecorder::excludedWindows() const { return source_->excludedWindows(); }

void ScreenRecorder::start() {
    if (started_) return;
    source_->start();
    writer_->open();
    started_ = true;
    epochNs_ = monotonicNowNs();
    encoder_->start(*writer_, videoStream_);
    if (audio_) audio_->start(epochNs_);
    pacer_->start(epochNs_, *encoder_);
}

void ScreenRecorder::updateRegion(const kg::Rect& region) {
    checkRegion(region);
    source_->ensureRecordable(region);
    pacer_->setRegion(region);
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
        pacer_->stop();
        source_->stop();
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
