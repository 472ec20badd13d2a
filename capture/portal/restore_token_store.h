#pragma once
// Where the screen-cast portal's restore token is kept between runs, so that a person approves
// sharing the screen once, not on every recording: $XDG_STATE_HOME/kestrelgrain-capture/
// (by default ~/.local/state/kestrelgrain-capture/), the file readable by its owner only.
//
// Threads: any; runs of the tool at the same time replace the file atomically.

#include <filesystem>
#include <optional>
#include <string>

namespace kg::capture {

class RestoreTokenStore {
public:
    // The default place; nullopt when neither XDG_STATE_HOME nor HOME is set.
    [[nodiscard]] static std::optional<std::filesystem::path> defaultPath();

    explicit RestoreTokenStore(std::optional<std::filesystem::path> path) : path_(std::move(path)) {}

    // The stored token, or nullopt (none stored, unreadable, no place).
    [[nodiscard]] std::optional<std::string> load() const;
    // Replaces the stored token. Returns false when it could not be written (the recording
    // goes on; the next run asks again).
    bool save(const std::string& token) const;
    // Forgets the stored token.
    void discard() const;

private:
    std::optional<std::filesystem::path> path_;
};

}  // namespace kg::capture
