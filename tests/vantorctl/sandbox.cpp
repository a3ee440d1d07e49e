// Runs a command of the vantorctl tests where the machine's store is the
// test's own, or as another user:
//
//   vantorctl_sandbox --tmpfs FOLDER [--keep DIR]... COMMAND [ARG...]
//       in a private mount namespace with a fresh tmpfs (mode 0755) over
//       FOLDER, and one (mode 0700) over root's home folder in the password
//       database, where root's own hive is: nothing outside the namespace
//       sees either. Each DIR inside root's home (the checkout and the
//       build, when they are there) is bound back into the new one;
//   vantorctl_sandbox --user UID HOME COMMAND [ARG...]
//       as UID (its group the same number, no other groups) with HOME set,
//       made for UID (mode 0700) when it does not exist.
//
// Exits with the command's status, or 77 when it cannot do what is asked
// (both need root), which CTest takes for a skipped test.
#include <grp.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/private_mount.h"

namespace {

[[noreturn]] void run(char** command) {
    ::execvp(command[0], command);
    std::fprintf(stderr, "vantorctl_sandbox: cannot run %s: %s\n", command[0],
                 std::strerror(errno));
    std::_Exit(127);
}

// Makes `path` and the folders above it (root's alone).
bool make_folders(const std::string& path) {
    for (std::size_t at = path.find('/', 1);; at = path.find('/', at + 1)) {
        const std::string folder = path.substr(0, at);
        if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
        if (at == std::string::npos) return true;
    }
}

// A tmpfs over root's home, with each of `keep` that lies inside it bound
// back from the real one (seen through `stage`, a folder of root's).
bool cover_root_home(const std::string& home, const std::string& stage,
                     const std::vector<std::string>& keep) {
    std::vector<std::string> inside;
    for (const std::string& dir : keep) {
        if (dir.size() > home.size() + 1 && dir.compare(0, home.size(), home) == 0 &&
            dir[home.size()] == '/') {
            inside.push_back(dir.substr(home.size()));
        }
    }
    if (!inside.empty() &&
        (::mkdir(stage.c_str(), 0700) != 0 ||
         ::mount(home.c_str(), stage.c_str(), nullptr, MS_BIND | MS_REC, nullptr) != 0)) {
        return false;
    }
    if (::mount("vantor-test", home.c_str(), "tmpfs", 0, "mode=0700") != 0) return false;
    for (const std::string& relative : inside) {
        if (!make_folders(home + relative) ||
            ::mount((stage + relative).c_str(), (home + relative).c_str(), nullptr,
                    MS_BIND | MS_REC, nullptr) != 0) {
            return false;
        }
    }
    return true;
}

int as_user(const char* uid_text, const char* home, char** command) {
    const auto uid = static_cast<uid_t>(std::strtoul(uid_text, nullptr, 10));
    if (::mkdir(home, 0700) == 0 && ::chown(home, uid, uid) != 0) return vantor::test::kNoMount;
    if (::setenv("HOME", home, 1) != 0 || ::setgroups(0, nullptr) != 0 || ::setgid(uid) != 0 ||
        ::setuid(uid) != 0) {
        return vantor::test::kNoMount;
    }
    run(command);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    int status = 2;
    if (mode == "--tmpfs" && argc > 3) {
        const passwd* root = ::getpwuid(0);
        const std::string root_home =
            root != nullptr && root->pw_dir != nullptr ? root->pw_dir : "";
        std::vector<std::string> keep;
        int next = 3;
        while (next + 1 < argc && std::strcmp(argv[next], "--keep") == 0) {
            keep.emplace_back(argv[next + 1]);
            next += 2;
        }
        status = vantor::test::in_private_mounts(
            [&] {
                return root_home.size() > 1 &&
                       ::mount("vantor-test", argv[2], "tmpfs", 0, "mode=0755") == 0 &&
                       cover_root_home(root_home, std::string(argv[2]) + "/.root-home", keep);
            },
            [&]() -> int { run(argv + next); });
    } else if (mode == "--user" && argc > 4) {
        status = as_user(argv[2], argv[3], argv + 4);
    } else {
        std::fprintf(
            stderr,
            "usage: vantorctl_sandbox --tmpfs FOLDER [--keep DIR]... COMMAND... | --user UID HOME "
            "COMMAND...\n");
        return status;
    }
    if (status == vantor::test::kNoMount) {
        std::fprintf(stderr,
                     "vantorctl_sandbox: skipped: needs root (a private mount, other users)\n");
    }
    return status;
}
