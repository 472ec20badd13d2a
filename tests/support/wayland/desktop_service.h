#pragma once
// One process of a test desktop (a compositor, a bus, a portal): the leader of its own process
// group, so stopping it also stops what it started (sway's Xwayland and wallpaper); its output
// in a log file; SIGTERM when the test that started it dies, so a test killed on its time-out
// leaves nothing running. Stopped (SIGTERM to the group, SIGKILL after 3 s) when the object
// goes away. Main thread only.

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

namespace kg::test {

class DesktopService {
public:
    // argv[0] is a path. The environment is the test's, without `unset`, with `env` added.
    DesktopService(std::string name, const std::vector<std::string>& argv, std::string logPath,
                   const std::map<std::string, std::string>& env, const std::vector<std::string>& unset);
    ~DesktopService() { stop(); }
    DesktopService(const DesktopService&) = delete;
    DesktopService& operator=(const DesktopService&) = delete;

    [[nodiscard]] const std::string& name() const { return name_; }
    [[nodiscard]] const std::string& logPath() const { return logPath_; }
    [[nodiscard]] bool ended() const;
    void stop();  // idempotent

private:
    std::string name_;
    std::string logPath_;
    pid_t pid_ = -1;
};

}  // namespace kg::test
