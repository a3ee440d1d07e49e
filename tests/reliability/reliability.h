// What the reliability tests share: a fresh hive per test, the hive's
// folder as it stands, and child processes that end by themselves.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>

#include "registry/hive/hive_file.h"
#include "support/files.h"
#include "support/temp_hive.h"

namespace vantor::test {

// Starts `body` in a child process, which exits with what it returns; an
// alarm kills it after `seconds` should it hang.
inline pid_t start_child(const std::function<int()>& body, unsigned seconds = 60) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::alarm(seconds);
        ::_exit(body());
    }
    return pid;
}

// The child's exit code, or 128 + the signal that ended it.
inline int wait_child(pid_t pid) {
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

inline int run_child(const std::function<int()>& body, unsigned seconds = 60) {
    return wait_child(start_child(body, seconds));
}

// Every file in `folder` with its bytes: a snapshot to compare.
inline std::map<std::string, std::string> files_in(const std::string& folder) {
    std::map<std::string, std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        found[entry.path().filename()] = slurp(entry.path());
    }
    return found;
}

// Each test gets a hive in a folder of its own, named by VANTOR_REGISTRY.
class HiveFolder : public TempHiveTest {
  protected:
    std::map<std::string, std::string> files() const { return files_in(folder_); }

    // Temporary files of the hive's writers left in the folder.
    int temp_files() const {
        int count = 0;
        for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
            if (entry.path().filename().string().rfind("system.reg.tmp.", 0) == 0) ++count;
        }
        return count;
    }

    // True when the hive is there and reads as a whole hive.
    bool hive_parses() const {
        hive::Hive parsed;
        return store::load(hive_, &parsed) == reg::kSuccess;
    }
};

}  // namespace vantor::test
