#include "capture/portal/wayland_outputs.h"

#include <chrono>
#include <cstring>
#include <memory>

#include "capture/capture_error.h"
#include "capture/portal/wayland_client.h"
#include "xdg-output-unstable-v1-client-protocol.h"

namespace kg::capture {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kAnswerTimeout = std::chrono::seconds(5);

using OutputManagerPtr = WaylandPtr<zxdg_output_manager_v1, zxdg_output_manager_v1_destroy>;
using XdgOutputPtr = WaylandPtr<zxdg_output_v1, zxdg_output_v1_destroy>;

struct OutputState {
    WaylandOutputPtr output;
    XdgOutputPtr xdgOutput;
    WaylandOutput info;
    std::int32_t transform = WL_OUTPUT_TRANSFORM_NORMAL;
    std::int64_t modeWidth = 0;
    std::int64_t modeHeight = 0;
};

struct Registry {
    OutputManagerPtr manager;
    std::vector<std::unique_ptr<OutputState>> outputs;
};

void onGeometry(void* data, wl_output*, std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                const char*, const char*, std::int32_t transform) {
    static_cast<OutputState*>(data)->transform = transform;
}
void onMode(void* data, wl_output*, std::uint32_t flags, std::int32_t width, std::int32_t height, std::int32_t) {
    if ((flags & WL_OUTPUT_MODE_CURRENT) == 0) return;
    static_cast<OutputState*>(data)->modeWidth = width;
    static_cast<OutputState*>(data)->modeHeight = height;
}
void onOutputDone(void*, wl_output*) {}
void onScale(void*, wl_output*, std::int32_t) {}
const wl_output_listener kOutputListener = {onGeometry, onMode, onOutputDone, onScale, nullptr, nullptr};

void onLogicalPosition(void* data, zxdg_output_v1*, std::int32_t x, std::int32_t y) {
    static_cast<OutputState*>(data)->info.logical.x = x;
    static_cast<OutputState*>(data)->info.logical.y = y;
}
void onLogicalSize(void* data, zxdg_output_v1*, std::int32_t width, std::int32_t height) {
    static_cast<OutputState*>(data)->info.logical.width = width;
    static_cast<OutputState*>(data)->info.logical.height = height;
}
void onXdgDone(void*, zxdg_output_v1*) {}
void onName(void* data, zxdg_output_v1*, const char* name) { static_cast<OutputState*>(data)->info.name = name; }
void onDescription(void*, zxdg_output_v1*, const char*) {}
const zxdg_output_v1_listener kXdgOutputListener = {onLogicalPosition, onLogicalSize, onXdgDone, onName,
                                                    onDescription};

void onGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t version) {
    auto* state = static_cast<Registry*>(data);
    if (std::strcmp(interface, wl_output_interface.name) == 0) {
        auto output = std::make_unique<OutputState>();
        output->info.globalName = name;
        output->output.reset(static_cast<wl_output*>(wl_registry_bind(registry, name, &wl_output_interface, 2)));
        wl_output_add_listener(output->output.get(), &kOutputListener, output.get());
        state->outputs.push_back(std::move(output));
    } else if (std::strcmp(interface, zxdg_output_manager_v1_interface.name) == 0 && version >= 2) {
        state->manager.reset(static_cast<zxdg_output_manager_v1*>(
            wl_registry_bind(registry, name, &zxdg_output_manager_v1_interface, 2)));
    }
}
void onGlobalRemove(void*, wl_registry*, std::uint32_t) {}
const wl_registry_listener kRegistryListener = {onGlobal, onGlobalRemove};

}  // namespace

std::vector<WaylandOutput> listWaylandOutputs() {
    WaylandDisplayPtr display = connectWayland();
    if (!display) throw CaptureError("screen capture unavailable: cannot reach the Wayland compositor");
    Registry state;
    WaylandRegistryPtr registry(wl_display_get_registry(display.get()));
    wl_registry_add_listener(registry.get(), &kRegistryListener, &state);
    const auto deadline = Clock::now() + kAnswerTimeout;
    if (!roundtrip(display.get(), deadline))
        throw CaptureError("screen capture unavailable: the Wayland compositor did not list its outputs");
    if (!state.manager)
        throw CaptureError("screen capture unavailable: the Wayland compositor does not describe its output layout "
                           "(no xdg-output)");
    for (auto& output : state.outputs) {
        output->xdgOutput.reset(zxdg_output_manager_v1_get_xdg_output(state.manager.get(), output->output.get()));
        zxdg_output_v1_add_listener(output->xdgOutput.get(), &kXdgOutputListener, output.get());
    }
    if (!roundtrip(display.get(), deadline))
        throw CaptureError("screen capture unavailable: the Wayland compositor did not describe its outputs");

    std::vector<WaylandOutput> outputs;
    for (auto& output : state.outputs) {
        // Transforms 1, 3, 5 and 7 turn the output by 90 or 270 degrees.
        const bool turned = (output->transform & 1) != 0;
        output->info.pixelWidth = turned ? output->modeHeight : output->modeWidth;
        output->info.pixelHeight = turned ? output->modeWidth : output->modeHeight;
        if (!output->info.logical.empty()) outputs.push_back(output->info);
    }
    return outputs;
}

}  // namespace kg::capture
