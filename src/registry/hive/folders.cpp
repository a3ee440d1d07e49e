#include "registry/hive/folders.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "registry/hive/errno_status.h"
#include "registry/hive/io.h"

namespace vantor::store {
namespace {

reg::Status write_error() noexcept { return errno_status(errno, IoKind::kWrite); }

// Opens the folder `name` in the folder open as `at`, not following a link.
// A link there fails with ELOOP, as it does for a file (with O_DIRECTORY the
// system gives ENOTDIR).
int open_unlinked_folder(int at, const char* name) noexcept {
    const int fd = io::openat(at, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
    struct stat info {};
    if (fd < 0 && errno == ENOTDIR && io::fstatat(at, name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISLNK(info.st_mode)) {
        errno = ELOOP;
    }
    return fd;
}

}  // namespace

Location locate(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return {"", path};
    return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

std::string folder_path(const Location& at) {
    std::string folder = at.folder;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder.empty() ? "." : folder;
}

// Nothing is done by path once a folder exists: each one is opened relative
// to its parent, a new one is opened without following links before its mode
// is set (someone who swapped it for a link gets ELOOP, not a chmod of the
// link's target), and each new folder is flushed into its parent.
reg::Status open_folder(const std::string& folder, const mode_t* make, Fd* out) {
    // The usual case, a folder that exists, takes one call: resolving the
    // whole path follows links above the folder as the walk below does, and
    // not one in the folder's own place.
    // (Without its trailing slashes: one would follow a link in its place.)
    std::string whole_path = folder.empty() ? "." : folder;
    while (whole_path.size() > 1 && whole_path.back() == '/') whole_path.pop_back();
    const int whole = open_unlinked_folder(AT_FDCWD, whole_path.c_str());
    if (whole >= 0) {
        out->reset(whole);
        return reg::kSuccess;
    }
    if (errno != ENOENT) return write_error();
    Fd at(io::open(!folder.empty() && folder[0] == '/' ? "/" : ".",
                   O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!at) return write_error();
    std::vector<std::string> parts;
    for (std::size_t begin = 0; begin < folder.size();) {
        std::size_t end = folder.find('/', begin);
        if (end == std::string::npos) end = folder.size();
        if (end > begin && folder.compare(begin, end - begin, ".") != 0) {
            parts.push_back(folder.substr(begin, end - begin));
        }
        begin = end + 1;
    }
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const char* part = parts[i].c_str();
        const bool last = i + 1 == parts.size();
        const auto open_part = [&] {
            return last ? open_unlinked_folder(at.get(), part)
                        : io::openat(at.get(), part, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        };
        int next = open_part();
        if (next < 0 && errno == ENOENT && make != nullptr) {
            if (io::mkdirat(at.get(), part, *make) != 0) {
                if (errno != EEXIST) return write_error();
                next = open_part();  // made meanwhile by another writer
            } else {
                next = open_unlinked_folder(at.get(), part);
                if (next < 0) return write_error();
                Fd made(next);
                if (io::fchmod(made.get(), *make) != 0 || io::fsync(at.get()) != 0) {
                    return write_error();
                }
                next = made.release();
            }
        }
        if (next < 0) return write_error();
        at.reset(next);
    }
    out->reset(at.release());
    return reg::kSuccess;
}

reg::Status check_writable(const std::string& path, int* error) {
    const auto refused = [error](int why) {
        *error = why;
        return errno_status(why, IoKind::kWrite);
    };
    *error = 0;
    struct stat info {};
    if (io::fstatat(AT_FDCWD, path.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
        // A linked hive is never written; one this process could not write
        // through the link anyway is refused for want of permission.
        if (io::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0 && errno != ENOENT) {
            return refused(errno);
        }
        if (S_ISLNK(info.st_mode)) return refused(ELOOP);
    } else if (errno != ENOENT) {
        return refused(errno);
    }
    const std::string folder = folder_path(locate(path));
    if (io::fstatat(AT_FDCWD, folder.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISLNK(info.st_mode)) {
        return refused(ELOOP);
    }
    // A missing folder is made by the first write: the nearest folder above
    // it that exists must let this process make it.
    for (std::string at = folder;
         io::faccessat(AT_FDCWD, at.c_str(), W_OK | X_OK, AT_EACCESS) != 0;) {
        if (errno != ENOENT) return refused(errno);
        std::string parent = folder_path(locate(at));
        if (parent == at) return refused(errno);
        at = std::move(parent);
    }
    return reg::kSuccess;
}

reg::Status check_own(const std::string& path) {
    const uid_t me = ::geteuid();
    struct stat info {};
    if (io::fstatat(AT_FDCWD, path.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
        if (info.st_uid != me) return reg::kAccessDenied;
    } else if (errno != ENOENT && errno != ENOTDIR) {
        return write_error();
    }
    // The hive's folder, or the nearest one above it that exists (through
    // links above it, as the write would go).
    for (std::string at = folder_path(locate(path));;) {
        if (io::stat(at.c_str(), &info) == 0) {
            return info.st_uid == me ? reg::kSuccess : reg::kAccessDenied;
        }
        if (errno != ENOENT) return write_error();
        std::string parent = folder_path(locate(at));
        if (parent == at) return reg::kAccessDenied;
        at = std::move(parent);
    }
}

}  // namespace vantor::store
