// Tests that need a file system of their own (full, read-only) run their
// checks in a child process with a private mount namespace, so nothing they
// mount is seen outside it. Mounting needs root; elsewhere such tests skip.
#pragma once

#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

namespace vantor::test {

// What in_private_mounts() returns when this process may not mount here.
inline constexpr int kNoMount = 77;

// Runs `body` in a child process with a private mount namespace, once
// `mount` has set up that namespace's mounts (returning false when it could
// not). Returns the body's exit code, kNoMount, or -1 when the child died
// (it is killed after two minutes, so a hung body still ends).
inline int in_private_mounts(const std::function<bool()>& mount, const std::function<int()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::alarm(120);
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 || !mount()) {
            ::_exit(kNoMount);
        }
        ::_exit(body());
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs `body` as above with a fresh tmpfs (mount `options`) over `folder`.
inline int with_private_tmpfs(const std::string& folder, const char* options,
                              const std::function<int()>& body) {
    return in_private_mounts(
        [&] { return ::mount("vantor-test", folder.c_str(), "tmpfs", 0, options) == 0; }, body);
}

// Runs `body` as above with `folder` bound read-only over itself.
inline int with_read_only_folder(const std::string& folder, const std::function<int()>& body) {
    return in_private_mounts(
        [&] {
            return ::mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) == 0 &&
                   ::mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY,
                           nullptr) == 0;
        },
        body);
}

}  // namespace vantor::test
