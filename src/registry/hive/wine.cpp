#include "registry/hive/wine.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "hive/charset.h"
#include "hive/model.h"
#include "registry/hive/fd.h"
#include "registry/hive/folders.h"
#include "registry/hive/io.h"

namespace vantor::store::wine {
namespace {

constexpr std::string_view kSoftware = "Software";
constexpr std::string_view kWow64Node = "Wow6432Node";

bool win64(const hive::Document& document) {
    if (!document.arch().empty()) return hive::iequals(document.arch(), "win64");
    return document.find("Software\\Wow6432Node") != nullptr;
}

// The name the prefix's file "wineserver" holds (Debian's Wine: the folder
// it made in $TMPDIR), or empty. Only a plain name is taken: it is put
// under a folder of ours. Sets *error when the file is there but cannot be
// read.
std::string tmpdir_name(const std::string& prefix, int* error) {
    const Fd fd(io::open((prefix + "/wineserver").c_str(),
                         O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY));
    if (!fd) {
        if (errno != ENOENT && errno != ENOTDIR) *error = errno;
        return {};
    }
    char buffer[256];
    const ssize_t got = io::read(fd.get(), buffer, sizeof buffer);
    if (got <= 0 || static_cast<std::size_t>(got) == sizeof buffer) return {};
    std::string name(buffer, static_cast<std::size_t>(got));
    while (!name.empty() && (name.back() == '\n' || name.back() == '\r')) name.pop_back();
    if (name.empty() || name == "." || name == ".." ||
        name.find_first_of(std::string_view("/\0\n", 3)) != std::string::npos) {
        return {};
    }
    return name;
}

// Checks the lock file at `lock` into *found: held, or not there, or not
// to be read (kept unless a held lock is found elsewhere).
void check_lock(const std::string& lock, Server* found) {
    const Fd fd(io::open(lock.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY));
    if (!fd) {
        if (errno == ENOENT || errno == ENOTDIR) return;
        found->status = reg::kAccessDenied;
        found->lock = lock;
        found->error = errno;
        return;
    }
    struct flock held {};
    held.l_type = F_WRLCK;
    held.l_whence = SEEK_SET;
    if (io::getlk(fd.get(), &held) != 0) {
        found->status = reg::kAccessDenied;
        found->lock = lock;
        found->error = errno;
        return;
    }
    if (held.l_type == F_UNLCK) return;
    found->status = reg::kSharingViolation;
    found->lock = lock;
    found->pid = held.l_pid;
    found->error = 0;
}

}  // namespace

bool head(std::string_view text, std::string* arch) {
    arch->clear();
    constexpr std::string_view kFirstLine = "WINE REGISTRY Version 2";
    if (text.substr(0, kFirstLine.size()) != kFirstLine) return false;
    const std::string_view rest = text.substr(kFirstLine.size());
    if (!rest.empty() && rest[0] != '\n' && rest[0] != '\r') return false;
    // The lines before the first key.
    constexpr std::string_view kArch = "#arch=";
    for (std::size_t at = text.find('\n'); at != std::string_view::npos && at + 1 < text.size();
         at = text.find('\n', at + 1)) {
        const std::string_view line = text.substr(at + 1, text.find('\n', at + 1) - at - 1);
        if (!line.empty() && line[0] == '[') break;
        if (line.substr(0, kArch.size()) == kArch) {
            std::string_view value = line.substr(kArch.size());
            while (!value.empty() && (value.back() == '\r' || value.back() == ' ')) {
                value.remove_suffix(1);
            }
            arch->assign(value);
            break;
        }
    }
    return true;
}

std::string key_path(const hive::Document& document, std::string_view path) {
    if (document.dialect() != hive::Dialect::kWine) return std::string(path);
    return key_path(win64(document) ? "win64" : "win32", path);
}

std::string key_path(std::string_view arch, std::string_view path) {
    if (!hive::iequals(arch, "win64")) return std::string(path);
    const std::size_t slash = path.find('\\');
    if (!hive::iequals(path.substr(0, slash), kSoftware)) return std::string(path);
    if (slash == std::string_view::npos) return std::string(path) + "\\" + std::string(kWow64Node);
    const std::string_view rest = path.substr(slash + 1);
    if (hive::iequals(rest.substr(0, rest.find('\\')), kWow64Node)) return std::string(path);
    return std::string(path.substr(0, slash)) + "\\" + std::string(kWow64Node) + "\\" +
           std::string(rest);
}

bool is_string(std::uint32_t type) noexcept { return type == 1 || type == 2 || type == 7; }

std::string name(std::string_view ansi) {
    std::string out;
    out.reserve(ansi.size());
    for (const char c : ansi) {
        hive::append_utf8(hive::windows1252_to_unicode(static_cast<unsigned char>(c)), &out);
    }
    return out;
}

std::string stored_data(std::uint32_t type, std::string_view bytes, bool nul_follows) {
    return is_string(type) ? hive::ansi_string_data(bytes, nul_follows) : std::string(bytes);
}

std::string game_data(std::uint32_t type, std::string_view stored) {
    return is_string(type) ? hive::ansi_string_query(stored) : std::string(stored);
}

Server server(const std::string& path) {
    Server found;
    const std::string prefix = folder_path(locate(path));
    struct stat info {};
    if (io::stat(prefix.c_str(), &info) != 0) {
        found.status = reg::kAccessDenied;
        found.lock = prefix;
        found.error = errno;
        return found;
    }
    char folder[64];
    std::snprintf(folder, sizeof folder, "server-%llx-%llx",
                  static_cast<unsigned long long>(info.st_dev),
                  static_cast<unsigned long long>(info.st_ino));
    // The server runs as the prefix's owner, whoever asks.
    const std::string uid = std::to_string(info.st_uid);
    std::vector<std::string> roots = {"/tmp/.wine-" + uid, "/run/user/" + uid + "/wine"};
    int error = 0;
    if (const std::string name = tmpdir_name(prefix, &error); !name.empty()) {
        const char* tmpdir = ::getenv("TMPDIR");
        if (tmpdir != nullptr && tmpdir[0] == '/' && std::string_view(tmpdir) != "/tmp") {
            roots.push_back(std::string(tmpdir) + "/" + name);
        }
        roots.push_back("/tmp/" + name);
    } else if (error != 0) {
        found.status = reg::kAccessDenied;
        found.lock = prefix + "/wineserver";
        found.error = error;
    }
    for (const std::string& root : roots) {
        check_lock(root + "/" + folder + "/lock", &found);
        if (found.status == reg::kSharingViolation) break;
    }
    return found;
}

}  // namespace vantor::store::wine
