// audio_bench: records the screen at DISPLAY with sound through ScreenRecorder and prints the
// result lines, as the recorder application does around the engine. For the process tests.
//
//   audio_bench <output.mp4> <seconds> <audio mode>

#include <signal.h>

#include <cstdlib>
#include <string>

#include "capture/screen_recorder.h"
#include "cli/result_printer.h"
#include "tests/capture/thread_main_queue.h"

int main(int argc, char** argv) {
    sigset_t stopSignal;
    sigemptyset(&stopSignal);
    sigaddset(&stopSignal, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &stopSignal, nullptr);
    if (argc != 4) {
        kg::printResult(kg::errorResult("usage: audio_bench <output.mp4> <seconds> <audio mode>"));
        return 1;
    }
    kg::test::ThreadMainQueue mainThread;
    try {
        auto recorder = kg::capture::ScreenRecorder::create(kg::Rect{0, 0, 320, 240}, argv[3], argv[1],
                                                            std::atoll(argv[2]), {}, mainThread.queue());
        recorder->start();
        kg::printResult({{"status", kg::ResultValue{std::string("recording")}}, {"output", kg::ResultValue{std::string(argv[1])}}});
        recorder->waitForStop();
        kg::printResult(recorder->stop());
    } catch (const std::exception& error) {
        kg::printResult(kg::errorResult(error.what()));
        return 1;
    }
    return 0;
}
