#include "tests/audio/tone_player.h"

#include <pulse/error.h>
#include <pulse/simple.h>
#include <time.h>

#include <cmath>
#include <numbers>
#include <stdexcept>
#include <vector>

namespace kg::test {
namespace {

constexpr int kRate = 48000;
constexpr int kBlockFrames = kRate / 200;  // 5 ms

std::int64_t monotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

}  // namespace

TonePlayer::TonePlayer(const std::string& sink, double frequencyHz, double amplitude)
    : sink_(sink), frequencyHz_(frequencyHz), amplitude_(amplitude) {
    auto ready = ready_.get_future();
    thread_ = std::thread([this] { run(); });
    ready.get();  // rethrows a connection failure
}

TonePlayer::~TonePlayer() {
    quit_ = true;
    thread_.join();
}

std::int64_t TonePlayer::startTone() {
    auto onset = onset_.get_future();
    toneRequested_ = true;
    return onset.get();
}

void TonePlayer::run() {
    const pa_sample_spec spec{PA_SAMPLE_FLOAT32LE, kRate, 2};
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<std::uint32_t>(-1);
    // 100 ms: enough to ride out a loaded machine; the latency query accounts for it.
    attr.tlength = 20 * kBlockFrames * 8;
    attr.prebuf = static_cast<std::uint32_t>(-1);
    attr.minreq = static_cast<std::uint32_t>(-1);
    attr.fragsize = static_cast<std::uint32_t>(-1);
    int error = 0;
    pa_simple* stream = pa_simple_new(nullptr, "tone-player", PA_STREAM_PLAYBACK, sink_.c_str(), "tone", &spec, nullptr,
                                      &attr, &error);
    if (!stream) {
        ready_.set_exception(std::make_exception_ptr(std::runtime_error(std::string("cannot play: ") + pa_strerror(error))));
        return;
    }
    ready_.set_value();
    std::vector<float> block(kBlockFrames * 2);
    std::int64_t toneFrame = -1;
    while (!quit_) {
        if (toneRequested_ && toneFrame < 0) {
            // Everything written so far plays first: the next frame is heard after it.
            pa_usec_t latency = pa_simple_get_latency(stream, &error);
            onset_.set_value(monotonicNs() + static_cast<std::int64_t>(latency) * 1000);
            toneFrame = 0;
        }
        for (int i = 0; i < kBlockFrames; ++i) {
            float value = 0.0f;
            if (toneFrame >= 0) {
                value = static_cast<float>(amplitude_ * std::sin(2 * std::numbers::pi * frequencyHz_ * toneFrame / kRate));
                ++toneFrame;
            }
            block[2 * i] = block[2 * i + 1] = value;
        }
        // Blocks until the server wants more, which paces the loop in real time.
        if (pa_simple_write(stream, block.data(), block.size() * sizeof(float), &error) < 0) break;
    }
    if (toneRequested_ && toneFrame < 0) onset_.set_value(-1);
    pa_simple_free(stream);
}

}  // namespace kg::test
