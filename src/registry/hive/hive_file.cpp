#include "registry/hive/hive_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "registry/hive/errno_status.h"
#include "registry/hive/io.h"

namespace vantor::hive {
namespace {

// The modes of a new hive and of the folders made for it.
struct Modes {
    mode_t folder;
    mode_t hive;
};

// The machine's hive is for every user of the machine to read; a user's own
// for its owner alone.
Modes modes_for(Create create) noexcept {
    return create == Create::kPrivate ? Modes{0700, 0600} : Modes{0755, 0644};
}

constexpr std::string_view kTempInfix = ".tmp.";
constexpr std::size_t kTempSuffixLength = 6;
constexpr long kMillisecond = 1000 * 1000;
// How old a hive's times must be when it is read for it to be kept: more
// than the coarsest timestamps in use (two seconds) and a clock tick.
constexpr time_t kSettledSeconds = 3;
// How long a writer waits for the lock before giving up with
// ERROR_LOCK_VIOLATION: far longer than any write holds it.
constexpr long kLockWait = 10 * 1000 * kMillisecond;

// An owned file descriptor.
class Fd {
  public:
    explicit Fd(int fd = -1) noexcept : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd_ >= 0) io::close(fd_);
    }

    int get() const noexcept { return fd_; }
    explicit operator bool() const noexcept { return fd_ >= 0; }
    int release() noexcept { return std::exchange(fd_, -1); }
    void reset(int fd) noexcept {
        if (fd_ >= 0) io::close(fd_);
        fd_ = fd;
    }

    // Closes now, reporting the error close() may give for a written file.
    bool close() noexcept {
        const int fd = std::exchange(fd_, -1);
        return io::close(fd) == 0;
    }

  private:
    int fd_;
};

// A temporary file in the folder open as `folder`, removed unless it was
// renamed into place.
class TempFile {
  public:
    TempFile(int folder, std::string name) noexcept : folder_(folder), name_(std::move(name)) {}
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile() {
        if (!name_.empty()) io::unlinkat(folder_, name_.c_str(), 0);
    }

    const std::string& name() const noexcept { return name_; }
    void keep() noexcept { name_.clear(); }

  private:
    int folder_;
    std::string name_;
};

// The hive path split into its folder and file name.
struct Location {
    std::string folder;  // as written, possibly empty (the working folder)
    std::string name;
};

Location locate(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return {"", path};
    return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

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

// Opens the folder at `folder` (the working folder when empty) for use with
// the *at() calls. With `make`, makes each missing folder on the way, with
// that mode whatever the umask.
//
// Nothing is done by path once a folder exists: each one is opened relative
// to its parent, a new one is opened without following links before its mode
// is set (someone who swapped it for a link gets ELOOP, not a chmod of the
// link's target), and each new folder is flushed into its parent. The hive's
// own folder is never taken through a link (ELOOP); folders above it may be
// links, as the system's layout may have them.
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

// Writes all of `data`, going on after short writes and interruptions.
bool write_all(int fd, std::string_view data) noexcept {
    while (!data.empty()) {
        const ssize_t written = io::write(fd, data.data(), data.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (written == 0) {  // no progress, and no error to tell why
            errno = EIO;
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

// Reads the whole file open as `fd`, but never more than one byte past
// kMaxHiveSize, straight into `text`.
//
// The usual hive is read in one read() into the small buffer, without
// asking fstat() first: a regular file reads short only at its end, so a
// read that is neither empty nor full is the whole file. An empty or full
// read, or a failed one, is checked: only a regular file will do, and a
// larger one gets room for one byte more than fstat() gave, so that a file
// of unchanged size reads short, at its end, in a single read(). (A FIFO in
// the hive's place that a writer has just filled with a little text passes
// as a file of that text; the parser then judges it like any other.)
reg::Status read_file(int fd, Text* text) {
    std::size_t size = 0;
    ssize_t first = 0;
    do {
        first = io::read(fd, text->data(), text->room());
    } while (first < 0 && errno == EINTR);
    if (first > 0 && static_cast<std::size_t>(first) < text->room()) {
        text->set_size(static_cast<std::size_t>(first));
        return reg::kSuccess;
    }
    struct stat info {};
    if (io::fstat(fd, &info) != 0) return errno_status(errno, IoKind::kRead);
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
        const ssize_t got = io::read(fd, text->data() + size, wanted);
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

// O_NONBLOCK keeps a FIFO put in the hive's place from blocking the call.
constexpr int kReadFlags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;

reg::Status read_path(const char* path, Text* text) {
    const Fd fd(io::open(path, kReadFlags));
    if (!fd) return errno_status(errno, IoKind::kRead);
    return read_file(fd.get(), text);
}

// The lock file's mode: read and write for each class of users that may
// write the hive, nothing for the others. Only who may change the hive can
// open the lock file, and so take its lock and hold up the writers.
mode_t lock_mode(mode_t hive) noexcept {
    mode_t mode = 0;
    for (const mode_t write : {S_IWUSR, S_IWGRP, S_IWOTH}) {
        if ((hive & write) != 0) mode |= write | write << 1;  // the read bit is next to it
    }
    return mode;
}

// Opens and locks "<hive>.lock" in the folder open as `folder`; `hive` is
// the hive's status, or null when there is none yet and it will be made
// with mode `new_hive`. Read-only is enough for flock(), and lets a writer
// whose rights come from the folder use a lock file made by another. Only a
// regular file will do: O_NONBLOCK keeps a FIFO put in its place from
// blocking every writer in open().
//
// The lock file follows the hive: its group (and owner, as root) and a mode
// derived from the hive's, set by whoever may (its owner or root). A writer
// waits for the lock a bounded time; a lock held longer, by a writer stuck
// on a dying disk or by someone holding it on purpose, gives EWOULDBLOCK.
reg::Status lock(int folder, const std::string& name, const struct stat* hive, mode_t new_hive,
                 Fd* out) {
    const std::string lock_name = name + ".lock";
    const mode_t mode = lock_mode(hive != nullptr ? hive->st_mode : new_hive);
    out->reset(io::openat(folder, lock_name.c_str(),
                          O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK,
                          mode));
    if (!*out) return write_error();
    const int fd = out->get();
    struct stat info {};
    if (io::fstat(fd, &info) != 0) return write_error();
    if (!S_ISREG(info.st_mode)) return reg::kAccessDenied;
    if (hive != nullptr && (info.st_uid != hive->st_uid || info.st_gid != hive->st_gid) &&
        io::fchown(fd, hive->st_uid, hive->st_gid) != 0) {
        io::fchown(fd, static_cast<uid_t>(-1), hive->st_gid);
    }
    if ((info.st_mode & 07777) != mode) io::fchmod(fd, mode);
    long waited = 0;
    long delay = kMillisecond;
    while (io::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK || waited >= kLockWait) return write_error();
        io::pause(delay);
        waited += delay;
        delay = std::min(delay * 2, 16 * kMillisecond);
    }
    return reg::kSuccess;
}

// Removes "<name>.tmp.XXXXXX" files in the folder. Called with the lock
// held: every live writer holds the lock while its temporary file exists, so
// any such file seen now was left by a writer that died.
void remove_stale_temps(int folder, const std::string& name) {
    std::vector<std::string> names;
    if (io::list(folder, &names) != 0) return;
    const std::string stem = name + std::string(kTempInfix);
    for (const std::string& entry : names) {
        if (entry.size() == stem.size() + kTempSuffixLength && entry.compare(0, stem.size(), stem) == 0) {
            io::unlinkat(folder, entry.c_str(), 0);
        }
    }
}

// "<name>.tmp." and six letters or digits, different on every call.
std::string temp_name(const std::string& name) {
    static std::atomic<std::uint64_t> calls{0};
    const timespec now = io::now();
    std::uint64_t bits = static_cast<std::uint64_t>(::getpid()) << 40 ^
                         static_cast<std::uint64_t>(now.tv_sec) << 30 ^
                         static_cast<std::uint64_t>(now.tv_nsec) ^
                         (calls.fetch_add(1, std::memory_order_relaxed) + 1) * 0x9E3779B97F4A7C15U;
    bits = (bits ^ bits >> 31) * 0xBF58476D1CE4E5B9U;
    bits ^= bits >> 29;
    static constexpr char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::string temp = name + std::string(kTempInfix);
    for (std::size_t i = 0; i < kTempSuffixLength; ++i, bits /= sizeof kDigits - 1) {
        temp += kDigits[bits % (sizeof kDigits - 1)];
    }
    return temp;
}

// Writes `text` to a new temporary file in the folder open as `folder` and
// renames it over the hive `name`; `old` is the hive's status, or null when
// there is none and the new hive gets mode `new_hive`. The change is durable
// when this returns kSuccess.
reg::Status replace(int folder, const std::string& name, const std::string& text,
                    const struct stat* old, mode_t new_hive) {
    Fd fd;
    std::string temp;
    for (int tries = 0; !fd && tries < 100; ++tries) {
        temp = temp_name(name);
        // O_EXCL never follows a link, nor opens a file someone planted.
        fd.reset(io::openat(folder, temp.c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, 0600));
        if (!fd && errno != EEXIST) break;
    }
    if (!fd) return write_error();
    TempFile made(folder, temp);
    if (!write_all(fd.get(), text)) return write_error();
    if (old != nullptr && (old->st_uid != ::geteuid() || old->st_gid != ::getegid()) &&
        io::fchown(fd.get(), old->st_uid, old->st_gid) != 0) {
        // Only root may give a file away. A member of the hive's group keeps
        // the group, so that the group's other members may still write it.
        io::fchown(fd.get(), static_cast<uid_t>(-1), old->st_gid);
    }
    if (io::fchmod(fd.get(), old != nullptr ? old->st_mode & 07777 : new_hive) != 0) {
        return write_error();
    }
    if (io::fsync(fd.get()) != 0 || !fd.close()) return write_error();
    if (io::renameat(folder, temp.c_str(), folder, name.c_str()) != 0) return write_error();
    made.keep();
    // The rename survives a power cut only once the folder is flushed. Where
    // a folder cannot be flushed at all (EINVAL) nothing more can be done;
    // any other failure means the change may be lost, and says so.
    if (io::fsync(folder) != 0 && errno != EINVAL) return write_error();
    return reg::kSuccess;
}

// The hive's folder as a path of its own: "." for the working folder.
std::string folder_path(const Location& at) {
    std::string folder = at.folder;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder.empty() ? "." : folder;
}

// Looks the hive up in the folder open as `folder`, not following a link
// (a linked hive is never written): sets *exists, and *info when it does.
reg::Status look_up(int folder, const std::string& name, struct stat* info, bool* exists) {
    *exists = io::fstatat(folder, name.c_str(), info, AT_SYMLINK_NOFOLLOW) == 0;
    if (!*exists) return errno == ENOENT ? reg::kSuccess : write_error();
    return S_ISLNK(info->st_mode) ? reg::kAccessDenied : reg::kSuccess;
}

// What stat() tells of a file that changes when its bytes do.
struct Stamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};

    explicit Stamp(const struct stat& info) noexcept
        : device(info.st_dev),
          inode(info.st_ino),
          size(info.st_size),
          modified(info.st_mtim),
          changed(info.st_ctim) {}

    bool operator==(const Stamp& other) const noexcept {
        return device == other.device && inode == other.inode && size == other.size &&
               modified.tv_sec == other.modified.tv_sec &&
               modified.tv_nsec == other.modified.tv_nsec &&
               changed.tv_sec == other.changed.tv_sec && changed.tv_nsec == other.changed.tv_nsec;
    }

    // True when the file's times were more than kSettledSeconds old at
    // `now`: any later change stamps it with a later time.
    bool settled(const timespec& now) const noexcept {
        const time_t newest = std::max(modified.tv_sec, changed.tv_sec);
        return newest + kSettledSeconds < now.tv_sec;
    }
};

// The last hives read or written whole, one for each of two files at most
// (the machine's hive and a user's): for each its path, its bytes, the hive
// they parse to, and what stat() told of the file when it was read.
//
// A reader may take the hive on the file's stamp alone only when the stamp
// was settled when the file was read (see Stamp::settled()); otherwise the
// file is read again and its bytes compared with the kept ones, which is
// never wrong and much cheaper than parsing them again. A writer, which
// reads the file under the lock anyway, takes the hive out when the bytes
// match, edits it and keeps what it wrote, with where each key's section
// lies in that text: a run of writes to a large hive parses it once, and
// rewrites only the part of the text that holds the key it changed.
//
// The mutex is only ever tried: a thread that finds it busy works without
// the cache, so nothing waits for it, and a child forked while another
// thread held it does not deadlock.
class Cache {
  public:
    // The kept hive, when it is the one at `path` and the file still has the
    // settled stamp it was kept with.
    std::shared_ptr<const Hive> find(const char* path, const Stamp& stamp) {
        const std::unique_lock<std::mutex> lock(mutex_, std::try_to_lock);
        Entry* entry = lock.owns_lock() ? held(path) : nullptr;
        if (entry == nullptr || !entry->settled || !(entry->stamp == stamp)) return nullptr;
        entry->used = ++clock_;
        entry->lent = true;
        return entry->hive;
    }

    // The kept hive, when it is the one at `path` and parsed from exactly
    // `text`; `stamp` is the file's as `text` was read, settled or not,
    // which a later find() then goes by.
    std::shared_ptr<const Hive> match(const char* path, std::string_view text, const Stamp& stamp,
                                      bool settled) {
        const std::unique_lock<std::mutex> lock(mutex_, std::try_to_lock);
        Entry* entry = lock.owns_lock() ? held(path) : nullptr;
        if (entry == nullptr || entry->text != text) return nullptr;
        entry->stamp = stamp;
        entry->settled = settled;
        entry->used = ++clock_;
        entry->lent = true;
        return entry->hive;
    }

    // What a writer about to replace the hive at `path`, which holds `text`,
    // starts from: the kept hive when it was parsed from (or written as)
    // `text` (a copy of it if a reader was given it), with the text
    // and, when this process wrote it, where each key's section lies in it.
    // Either way nothing is kept for `path` until the writer keeps what it
    // wrote.
    struct Taken {
        std::shared_ptr<Hive> hive;  // null: nothing kept for these bytes
        std::string text;
        Sections sections;  // empty when not known
    };
    Taken take(const char* path, std::string_view text) {
        Taken taken;
        const std::unique_lock<std::mutex> lock(mutex_, std::try_to_lock);
        Entry* entry = lock.owns_lock() ? held(path) : nullptr;
        if (entry == nullptr) return taken;
        if (entry->text == text) {
            // A hive never lent to a reader is the writer's to edit. One
            // that was may still be read: its owners let go of it without
            // the mutex, so how many there are now tells nothing certain.
            taken.hive =
                entry->lent ? std::make_shared<Hive>(*entry->hive) : std::move(entry->hive);
            taken.text = std::move(entry->text);
            taken.sections = std::move(entry->sections);
        }
        *entry = Entry{};
        return taken;
    }

    // Keeps the hive at `path` in place of the one kept for that file, else
    // of the one used least recently; `lent` when the caller goes on
    // reading it.
    void keep(const char* path, std::string text, const Stamp& stamp, bool settled, bool lent,
              std::shared_ptr<Hive> hive, Sections sections = {}) {
        Entry old;  // let go of outside the lock
        Entry kept{
            path, std::move(text), std::move(sections), stamp, settled, lent, std::move(hive), 0};
        const std::unique_lock<std::mutex> lock(mutex_, std::try_to_lock);
        if (!lock.owns_lock()) return;
        kept.used = ++clock_;
        old = std::exchange(slot_for(path), std::move(kept));
    }

  private:
    struct Entry {
        std::string path;
        std::string text;
        Sections sections;  // where each key lies in text, when this process wrote it
        Stamp stamp{{}};
        bool settled = false;
        bool lent = false;           // handed to a reader since it was kept
        std::shared_ptr<Hive> hive;  // null: nothing kept
        std::uint64_t used = 0;      // the clock when last found or kept
    };

    Entry* held(const char* path) {
        for (Entry& entry : entries_) {
            if (entry.hive != nullptr && entry.path == path) return &entry;
        }
        return nullptr;
    }

    Entry& slot_for(const char* path) {
        Entry* slot = &entries_[0];
        for (Entry& entry : entries_) {
            if (entry.path == path) return entry;
            if (entry.used < slot->used) slot = &entry;
        }
        return *slot;
    }

    std::mutex mutex_;
    Entry entries_[2];
    std::uint64_t clock_ = 0;
};

// Made when the library is loaded, not on first use: a child forked while
// another thread was making it would wait for ever on the guard of a
// function's static. Never destroyed: a thread may still read while the
// process exits.
Cache* const kept_hive = new Cache;

Cache& cache() { return *kept_hive; }

reg::Status view_key(std::shared_ptr<const Hive> hive, std::string_view key_path, KeyView* view) {
    view->key = hive->find(key_path);
    view->owner = std::move(hive);
    return reg::kSuccess;
}

// The hive parsed from `text`, or null when it does not parse.
std::shared_ptr<Hive> parsed(std::string_view text) {
    std::optional<Hive> hive = parse(text);
    return hive ? std::make_shared<Hive>(std::move(*hive)) : nullptr;
}

}  // namespace

reg::Status load(const std::string& path, Hive* hive) {
    Text text;
    const reg::Status status = read_path(path.c_str(), &text);
    if (status != reg::kSuccess) return status;
    std::optional<Hive> parsed = parse(text.view());
    if (!parsed) return reg::kBadDb;
    *hive = std::move(*parsed);
    return reg::kSuccess;
}

reg::Status read_key(const char* path, std::string_view key_path, KeyView* view) {
    struct stat info {};
    if (io::stat(path, &info) != 0) return errno_status(errno, IoKind::kRead);
    if (S_ISREG(info.st_mode)) {
        if (std::shared_ptr<const Hive> hive = cache().find(path, Stamp(info))) {
            return view_key(std::move(hive), key_path, view);
        }
    }
    const Fd fd(io::open(path, kReadFlags));
    if (!fd) return errno_status(errno, IoKind::kRead);
    // The stamp of the file read, judged before the read: a change that
    // lands after it stamps the file with a time this one is older than.
    if (io::fstat(fd.get(), &info) != 0) return errno_status(errno, IoKind::kRead);
    const Stamp stamp(info);
    const bool settled = S_ISREG(info.st_mode) && stamp.settled(io::now());
    Text text;
    const reg::Status status = read_file(fd.get(), &text);
    if (status != reg::kSuccess) return status;
    if (!S_ISREG(info.st_mode)) {
        // Not a file to keep (a FIFO in the hive's place): this call only.
        std::optional<StoredKey> key;
        if (!parse_key(text.view(), key_path, &key)) return reg::kBadDb;
        view->key = nullptr;
        view->owner.reset();
        if (key) {
            auto owned = std::make_shared<const StoredKey>(std::move(*key));
            view->key = owned.get();
            view->owner = std::move(owned);
        }
        return reg::kSuccess;
    }
    if (std::shared_ptr<const Hive> hive = cache().match(path, text.view(), stamp, settled)) {
        return view_key(std::move(hive), key_path, view);
    }
    std::shared_ptr<Hive> hive = parsed(text.view());
    if (hive == nullptr) return reg::kBadDb;
    cache().keep(path, std::string(text.view()), stamp, settled, true, hive);
    return view_key(std::move(hive), key_path, view);
}

reg::Status check_writable(const std::string& path) {
    struct stat info {};
    if (io::fstatat(AT_FDCWD, path.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISLNK(info.st_mode)) return reg::kAccessDenied;
        if (io::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) return write_error();
    } else if (errno != ENOENT) {
        return write_error();
    }
    const std::string folder = folder_path(locate(path));
    if (io::fstatat(AT_FDCWD, folder.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISLNK(info.st_mode)) {
        return reg::kAccessDenied;
    }
    // A missing folder is made by the first write: the nearest folder above
    // it that exists must let this process make it.
    for (std::string at = folder;
         io::faccessat(AT_FDCWD, at.c_str(), W_OK | X_OK, AT_EACCESS) != 0;) {
        if (errno != ENOENT) return write_error();
        std::string parent = folder_path(locate(at));
        if (parent == at) return write_error();
        at = std::move(parent);
    }
    return reg::kSuccess;
}

reg::Status update(const std::string& path, Create create, const Edit& edit) {
    const Location at = locate(path);
    if (at.name.empty() || at.name == "." || at.name == "..") return reg::kInvalidParameter;
    const Modes modes = modes_for(create);
    Fd folder;
    reg::Status status =
        open_folder(at.folder, create != Create::kNo ? &modes.folder : nullptr, &folder);
    if (status != reg::kSuccess) return status;
    struct stat old {};
    bool exists = false;
    status = look_up(folder.get(), at.name, &old, &exists);
    if (status != reg::kSuccess) return status;
    Fd lock_file;  // closing it releases the lock
    status = lock(folder.get(), at.name, exists ? &old : nullptr, modes.hive, &lock_file);
    if (status != reg::kSuccess) return status;
    remove_stale_temps(folder.get(), at.name);

    // The hive as the last writer left it.
    status = look_up(folder.get(), at.name, &old, &exists);
    if (status != reg::kSuccess) return status;
    if (!exists && create == Create::kNo) return reg::kFileNotFound;
    Cache::Taken start;
    if (exists) {
        Text text;
        const Fd file(io::openat(folder.get(), at.name.c_str(), kReadFlags | O_NOFOLLOW));
        if (!file) return errno_status(errno, IoKind::kRead);
        status = read_file(file.get(), &text);
        if (status != reg::kSuccess) return status;
        start = cache().take(path.c_str(), text.view());
        if (start.hive == nullptr) start.hive = parsed(text.view());
        if (start.hive == nullptr) return reg::kBadDb;
    } else {
        start.hive = std::make_shared<Hive>();
    }
    Hive& hive = *start.hive;
    Change change;
    status = edit(hive, change);
    if (status != reg::kSuccess) return status;
    if (!change.changed) {
        // Nothing to write: what was taken still is the file's.
        if (!start.text.empty()) {
            cache().keep(path.c_str(), std::move(start.text), Stamp(old), false, false,
                         std::move(start.hive), std::move(start.sections));
        }
        return reg::kSuccess;
    }

    // rename() needs only the folder's permission; honour the file's too.
    if (exists && io::faccessat(folder.get(), at.name.c_str(), W_OK, AT_EACCESS) != 0) {
        return write_error();
    }
    // The text as serialize() writes it: where the kept text was written by
    // this process and only one key's values changed, by rewriting just that
    // key's section of it.
    std::string written = std::move(start.text);
    Sections sections = std::move(start.sections);
    if (change.only == nullptr || sections.empty() ||
        !rewrite_section(hive, static_cast<std::size_t>(change.only - hive.keys.data()), &written,
                         &sections)) {
        written = serialize(hive, &sections);
    }
    if (written.size() > kMaxHiveSize) return reg::kDiskFull;
    status = replace(folder.get(), at.name, written, exists ? &old : nullptr, modes.hive);
    // The next call, reader or writer, compares the file with what was
    // written: just written, its times are not settled.
    if (status == reg::kSuccess) {
        cache().keep(path.c_str(), std::move(written), Stamp(old), false, false,
                     std::move(start.hive), std::move(sections));
    }
    return status;
}

}  // namespace vantor::hive
