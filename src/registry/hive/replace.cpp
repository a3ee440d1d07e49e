#include "registry/hive/replace.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <utility>
#include <vector>

#include "registry/hive/fd.h"
#include "registry/hive/io.h"

namespace vantor::store {
namespace {

constexpr std::string_view kTempInfix = ".tmp.";
constexpr std::size_t kTempSuffixLength = 6;

// A temporary file in the folder open as `folder`, removed unless it was
// renamed into place. Removing it leaves errno as it was.
class TempFile {
  public:
    TempFile(int folder, std::string name) noexcept : folder_(folder), name_(std::move(name)) {}
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile() {
        if (name_.empty()) return;
        const int error = errno;
        io::unlinkat(folder_, name_.c_str(), 0);
        errno = error;
    }

    void keep() noexcept { name_.clear(); }

  private:
    int folder_;
    std::string name_;
};

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

}  // namespace

bool replace_durably(int folder, const std::string& name, std::string_view text,
                     const struct stat* old, mode_t new_mode) {
    Fd fd;
    std::string temp;
    for (int tries = 0; !fd && tries < 100; ++tries) {
        temp = temp_name(name);
        // O_EXCL never follows a link, nor opens a file someone planted.
        fd.reset(io::openat(folder, temp.c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, 0600));
        if (!fd && errno != EEXIST) break;
    }
    if (!fd) return false;
    TempFile made(folder, temp);
    if (!write_all(fd.get(), text)) return false;
    if (old != nullptr && (old->st_uid != ::geteuid() || old->st_gid != ::getegid()) &&
        io::fchown(fd.get(), old->st_uid, old->st_gid) != 0) {
        // Only root may give a file away. A member of the file's group keeps
        // the group, so that the group's other members may still write it.
        io::fchown(fd.get(), static_cast<uid_t>(-1), old->st_gid);
    }
    if (io::fchmod(fd.get(), old != nullptr ? old->st_mode & 07777 : new_mode) != 0) return false;
    if (io::fsync(fd.get()) != 0 || !fd.close()) return false;
    if (io::renameat(folder, temp.c_str(), folder, name.c_str()) != 0) return false;
    made.keep();
    // The rename survives a power cut only once the folder is flushed. Where
    // a folder cannot be flushed at all (EINVAL) nothing more can be done;
    // any other failure means the change may be lost, and says so.
    return io::fsync(folder) == 0 || errno == EINVAL;
}

void remove_stale_temps(int folder, const std::string& name) {
    std::vector<std::string> names;
    if (io::list(folder, &names) != 0) return;
    const std::string stem = name + std::string(kTempInfix);
    for (const std::string& entry : names) {
        if (entry.size() == stem.size() + kTempSuffixLength &&
            entry.compare(0, stem.size(), stem) == 0) {
            io::unlinkat(folder, entry.c_str(), 0);
        }
    }
}

}  // namespace vantor::store
