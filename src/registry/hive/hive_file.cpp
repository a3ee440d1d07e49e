#include "registry/hive/hive_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

#include "registry/hive/errno_status.h"

#ifndef VANTOR_DEFAULT_REGISTRY
#error "VANTOR_DEFAULT_REGISTRY must name the default hive file"
#endif

namespace vantor::hive {
namespace {

constexpr mode_t kHiveMode = 0644;
constexpr mode_t kFolderMode = 0755;
constexpr std::string_view kTempInfix = ".tmp.";
constexpr std::size_t kTempSuffixLength = 6;  // mkostemp's XXXXXX

// An owned file descriptor.
class Fd {
  public:
    explicit Fd(int fd) noexcept : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }

    int get() const noexcept { return fd_; }
    explicit operator bool() const noexcept { return fd_ >= 0; }

    // Closes now, reporting the error close() may give for a written file.
    bool close() noexcept {
        const int fd = std::exchange(fd_, -1);
        return ::close(fd) == 0;
    }

  private:
    int fd_;
};

// A temporary file that is removed unless it was renamed into place.
class TempFile {
  public:
    explicit TempFile(std::string path) noexcept : path_(std::move(path)) {}
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile() {
        if (!path_.empty()) ::unlink(path_.c_str());
    }

    const std::string& path() const noexcept { return path_; }
    void keep() noexcept { path_.clear(); }

  private:
    std::string path_;
};

// The hive path split into its folder and file name.
struct Location {
    std::string prefix;  // the folder with its trailing '/', or empty
    std::string folder;  // the folder as a path of its own ("." when empty)
    std::string name;
};

Location locate(const std::string& path) {
    Location at;
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        at.folder = ".";
        at.name = path;
        return at;
    }
    at.prefix = path.substr(0, slash + 1);
    at.folder = slash == 0 ? "/" : path.substr(0, slash);
    at.name = path.substr(slash + 1);
    return at;
}

reg::Status write_error() noexcept { return errno_status(errno, IoKind::kWrite); }

// True when the hive's folder is itself a symbolic link (links higher up the
// path are the system's layout and are followed).
bool folder_is_link(const Location& at) {
    std::string folder = at.folder;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    struct stat info {};
    return ::lstat(folder.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

// Makes `folder` and its missing parents. Folders made here get mode 0755
// whatever the umask, like the hive itself gets 0644: the hive is meant to
// be readable by every user of the machine.
reg::Status make_folders(const std::string& folder) {
    for (std::size_t end = folder.find('/', 1);; end = folder.find('/', end + 1)) {
        const std::string part = folder.substr(0, end);
        if (::mkdir(part.c_str(), kFolderMode) == 0) {
            if (::chmod(part.c_str(), kFolderMode) != 0) return write_error();
        } else if (errno != EEXIST) {
            return write_error();
        }
        if (end == std::string::npos) return reg::kSuccess;
    }
}

// Writes all of `data`, going on after short writes and interruptions.
bool write_all(int fd, std::string_view data) noexcept {
    while (!data.empty()) {
        const ssize_t written = ::write(fd, data.data(), data.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// A file's bytes, in a buffer that is not zeroed before the read fills it:
// a small one inside the object (on the caller's stack) for the usual hive
// of a few keys, the heap for larger ones.
class Text {
  public:
    static constexpr std::size_t kSmall = 8192;

    Text() noexcept : data_(small_) {}
    Text(const Text&) = delete;
    Text& operator=(const Text&) = delete;

    std::string_view view() const noexcept { return {data_, size_}; }

    // Room for `room` bytes, keeping the first `size` ones.
    void reserve(std::size_t room, std::size_t size) {
        if (room <= room_) return;
        std::unique_ptr<char[]> bytes(new char[room]);
        if (size != 0) std::memcpy(bytes.get(), data_, size);
        heap_ = std::move(bytes);
        data_ = heap_.get();
        room_ = room;
    }

    char* data() noexcept { return data_; }
    std::size_t room() const noexcept { return room_; }
    void set_size(std::size_t size) noexcept { size_ = size; }

  private:
    char small_[kSmall];
    std::unique_ptr<char[]> heap_;
    char* data_;
    std::size_t room_ = kSmall;
    std::size_t size_ = 0;
};

// Reads the whole file, but never more than one byte past kMaxHiveSize,
// straight into `text`.
//
// The usual hive is read in one read() into the small buffer, without
// asking fstat() first: a regular file reads short only at its end, so a
// read that is neither empty nor full is the whole file. An empty or full
// read, or a failed one, is checked: only a regular file will do, and a
// larger one gets room for one byte more than fstat() gave, so that a file
// of unchanged size reads short, at its end, in a single read(). (A FIFO in
// the hive's place that a writer has just filled with a little text passes
// as a file of that text; the parser then judges it like any other.)
reg::Status read_file(const char* path, Text* text) {
    // O_NONBLOCK keeps a FIFO put in the hive's place from blocking the call.
    const Fd fd(::open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!fd) return errno_status(errno, IoKind::kRead);
    std::size_t size = 0;
    ssize_t first = 0;
    do {
        first = ::read(fd.get(), text->data(), text->room());
    } while (first < 0 && errno == EINTR);
    if (first > 0 && static_cast<std::size_t>(first) < text->room()) {
        text->set_size(static_cast<std::size_t>(first));
        return reg::kSuccess;
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) return errno_status(errno, IoKind::kRead);
    if (!S_ISREG(info.st_mode)) return reg::kReadFault;
    if (first < 0) return errno_status(errno, IoKind::kRead);
    if (static_cast<std::size_t>(info.st_size) > kMaxHiveSize) return reg::kBadDb;
    size = static_cast<std::size_t>(first);
    text->reserve(static_cast<std::size_t>(info.st_size) + 1, size);
    while (first != 0) {
        if (size == text->room()) {
            // The file grew while being read: make room, up to the limit.
            if (size > kMaxHiveSize) return reg::kBadDb;
            text->reserve(std::min(size * 2, kMaxHiveSize + 1), size);
        }
        const std::size_t wanted = text->room() - size;
        const ssize_t got = ::read(fd.get(), text->data() + size, wanted);
        if (got < 0) {
            if (errno == EINTR) continue;
            return errno_status(errno, IoKind::kRead);
        }
        size += static_cast<std::size_t>(got);
        // A regular file reads short only at its end: no need to ask again.
        if (static_cast<std::size_t>(got) < wanted) break;
    }
    text->set_size(size);
    return reg::kSuccess;
}

// Opens and locks "<hive>.lock". Read-only is enough for flock(), and lets a
// writer whose rights come from the folder use a lock file made by another.
// Only a regular file will do: O_NONBLOCK keeps a FIFO put in its place from
// blocking every writer in open() (flock() still waits for the lock).
reg::Status lock(const std::string& path, int* fd_out) {
    const std::string lock_path = path + ".lock";
    const int fd =
        ::open(lock_path.c_str(),
               O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK, kHiveMode);
    if (fd < 0) return write_error();
    *fd_out = fd;
    struct stat info {};
    if (::fstat(fd, &info) != 0) return write_error();
    if (!S_ISREG(info.st_mode)) return reg::kAccessDenied;
    if (info.st_uid == ::geteuid() && (info.st_mode & 07777) != kHiveMode) {
        ::fchmod(fd, kHiveMode);  // undo the umask; the lock works either way
    }
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) return write_error();
    }
    return reg::kSuccess;
}

// Removes "<name>.tmp.XXXXXX" files in the folder. Called with the lock
// held: every live writer holds the lock while its temporary file exists, so
// any such file seen now was left by a writer that died.
void remove_stale_temps(const Location& at) {
    DIR* dir = ::opendir(at.folder.c_str());
    if (dir == nullptr) return;
    const std::string stem = at.name + std::string(kTempInfix);
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name.size() == stem.size() + kTempSuffixLength && name.substr(0, stem.size()) == stem) {
            ::unlinkat(::dirfd(dir), entry->d_name, 0);
        }
    }
    ::closedir(dir);
}

// Writes `text` to a new temporary file and renames it over the hive.
reg::Status replace(const Location& at, const std::string& path, const std::string& text,
                    const struct stat* old) {
    std::string temp_path = at.prefix + at.name + std::string(kTempInfix) + "XXXXXX";
    // mkostemp creates the file with O_EXCL, which never follows a link.
    Fd fd(::mkostemp(temp_path.data(), O_CLOEXEC));
    if (!fd) return write_error();
    TempFile temp(std::move(temp_path));
    if (!write_all(fd.get(), text)) return write_error();
    if (::fchmod(fd.get(), old != nullptr ? old->st_mode & 07777 : kHiveMode) != 0) {
        return write_error();
    }
    if (old != nullptr && (old->st_uid != ::geteuid() || old->st_gid != ::getegid())) {
        // Keep the owner too where allowed (as root). An ordinary user cannot
        // give a file away; the new hive is then theirs, with the old mode.
        const int ignored = ::fchown(fd.get(), old->st_uid, old->st_gid);
        static_cast<void>(ignored);
    }
    if (::fsync(fd.get()) != 0 || !fd.close()) return write_error();
    if (::rename(temp.path().c_str(), path.c_str()) != 0) return write_error();
    temp.keep();
    // Make the rename durable. The new hive is already in place and visible,
    // so a folder that cannot be synced does not fail the change.
    const Fd folder(::open(at.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder) ::fsync(folder.get());
    return reg::kSuccess;
}

}  // namespace

const char* hive_path() noexcept {
    const char* path = std::getenv("VANTOR_REGISTRY");
    return path != nullptr && *path != '\0' ? path : VANTOR_DEFAULT_REGISTRY;
}

reg::Status load(const std::string& path, Hive* hive) {
    Text text;
    const reg::Status status = read_file(path.c_str(), &text);
    if (status != reg::kSuccess) return status;
    std::optional<Hive> parsed = parse(text.view());
    if (!parsed) return reg::kBadDb;
    *hive = std::move(*parsed);
    return reg::kSuccess;
}

reg::Status load_key(const char* path, std::string_view key_path, std::optional<StoredKey>* key) {
    Text text;
    const reg::Status status = read_file(path, &text);
    if (status != reg::kSuccess) return status;
    return parse_key(text.view(), key_path, key) ? reg::kSuccess : reg::kBadDb;
}

reg::Status check_writable(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0) {
        if (S_ISLNK(info.st_mode)) return reg::kAccessDenied;
        if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) return write_error();
    } else if (errno != ENOENT) {
        return write_error();
    }
    const Location at = locate(path);
    if (folder_is_link(at)) return reg::kAccessDenied;
    if (::faccessat(AT_FDCWD, at.folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0 && errno != ENOENT) {
        return write_error();  // a missing folder is made by the first create
    }
    return reg::kSuccess;
}

reg::Status update(const std::string& path, bool create, const Edit& edit) {
    const Location at = locate(path);
    if (at.name.empty()) return reg::kInvalidParameter;  // a folder, not a hive file
    if (create) {
        const reg::Status made = make_folders(at.folder);
        if (made != reg::kSuccess) return made;
    }
    if (folder_is_link(at)) return reg::kAccessDenied;
    int lock_fd = -1;
    const reg::Status locked = lock(path, &lock_fd);
    const Fd lock_file(lock_fd);  // closing it releases the lock
    if (locked != reg::kSuccess) return locked;
    remove_stale_temps(at);

    struct stat old {};
    bool exists = true;
    if (::lstat(path.c_str(), &old) != 0) {
        if (errno != ENOENT) return write_error();
        if (!create) return reg::kFileNotFound;
        exists = false;
    } else if (S_ISLNK(old.st_mode)) {
        return reg::kAccessDenied;
    }
    Hive hive;
    if (exists) {
        const reg::Status loaded = load(path, &hive);
        if (loaded != reg::kSuccess) return loaded;
    }
    bool changed = false;
    const reg::Status edited = edit(hive, changed);
    if (edited != reg::kSuccess || !changed) return edited;

    // rename() needs only the folder's permission; honour the file's too.
    if (exists && ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) {
        return write_error();
    }
    const std::string text = serialize(hive);
    if (text.size() > kMaxHiveSize) return reg::kDiskFull;
    return replace(at, path, text, exists ? &old : nullptr);
}

}  // namespace vantor::hive
