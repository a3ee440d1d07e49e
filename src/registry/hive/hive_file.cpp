#include "registry/hive/hive_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <optional>
#include <utility>

#include "registry/hive/cache.h"
#include "registry/hive/errno_status.h"
#include "registry/hive/fd.h"
#include "registry/hive/folders.h"
#include "registry/hive/io.h"
#include "registry/hive/lock.h"
#include "registry/hive/replace.h"
#include "registry/hive/wine.h"

namespace vantor::store {
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

reg::Status write_error() noexcept { return errno_status(errno, IoKind::kWrite); }

// Looks the hive up in the folder open as `folder`, not following a link
// (a linked hive is never written): sets *exists, and *info when it does.
reg::Status look_up(int folder, const std::string& name, struct stat* info, bool* exists) {
    *exists = io::fstatat(folder, name.c_str(), info, AT_SYMLINK_NOFOLLOW) == 0;
    if (!*exists) return errno == ENOENT ? reg::kSuccess : write_error();
    return S_ISLNK(info->st_mode) ? reg::kAccessDenied : reg::kSuccess;
}

// From this size on a hive is kept whole only when it is read a second
// time: reading it whole costs milliseconds.
constexpr std::size_t kKeepAtOnce = std::size_t{256} << 10;

reg::Status view_key(std::shared_ptr<const hive::Document> document, std::string_view key_path,
                     KeyView* view) {
    // The key path is rewritten only in Wine's files (the 32-bit view).
    view->key = document->dialect() == hive::Dialect::kWine
                    ? document->find(wine::key_path(*document, key_path))
                    : document->find(key_path);
    view->dialect = document->dialect();
    view->owner = std::move(document);
    return reg::kSuccess;
}

}  // namespace

reg::Status load(const std::string& path, hive::Hive* hive) {
    Text text;
    const reg::Status status = read_path(path.c_str(), &text);
    if (status != reg::kSuccess) return status;
    std::optional<hive::Document> read = parsed(text.view());
    if (!read) return reg::kBadDb;
    *hive = read->hive();
    return reg::kSuccess;
}

reg::Status read_key(const char* path, std::string_view key_path, KeyView* view, bool for_write) {
    struct stat info {};
    if (io::stat(path, &info) != 0) return errno_status(errno, IoKind::kRead);
    if (S_ISREG(info.st_mode)) {
        if (std::shared_ptr<const hive::Document> kept =
                cache().find(path, Stamp(info), for_write)) {
            return view_key(std::move(kept), key_path, view);
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
    if (S_ISREG(info.st_mode)) {
        if (std::shared_ptr<const hive::Document> kept =
                cache().match(path, text.view(), stamp, settled)) {
            return view_key(std::move(kept), key_path, view);
        }
    }
    // A large hive read for the first time, as by a tool started to show a
    // value: only this key is built (the rest only checked), at a third of
    // the cost of the whole. Read again, it is kept whole.
    std::string arch;
    const bool in_wine = wine::head(text.view(), &arch);
    if (S_ISREG(info.st_mode) && text.view().size() >= kKeepAtOnce && (!in_wine || !arch.empty()) &&
        !cache().read_before(path)) {
        std::optional<hive::StoredKey> key;
        if (!hive::read_one_key(text.view(), in_wine ? wine::key_path(arch, key_path) : key_path,
                                &key)) {
            return reg::kBadDb;
        }
        view->key = nullptr;
        view->dialect = in_wine ? hive::Dialect::kWine : hive::Dialect::kRegedit4;
        view->owner.reset();
        if (key) {
            auto owned = std::make_shared<const hive::StoredKey>(std::move(*key));
            view->key = owned.get();
            view->owner = std::move(owned);
        }
        return reg::kSuccess;
    }
    std::optional<hive::Document> document = parsed(text.view());
    if (!document) return reg::kBadDb;
    if (!S_ISREG(info.st_mode)) {
        // Not a file to keep (a FIFO in the hive's place): this call only.
        return view_key(std::make_shared<const hive::Document>(std::move(*document)), key_path,
                        view);
    }
    return view_key(cache().keep(path, stamp, settled, std::move(*document), true), key_path, view);
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
    WritersLock lock;
    status = lock.take(folder.get(), at.name, exists ? &old : nullptr, modes.hive);
    if (status != reg::kSuccess) return status;
    remove_stale_temps(folder.get(), at.name);

    // The hive as the last writer left it.
    status = look_up(folder.get(), at.name, &old, &exists);
    if (status != reg::kSuccess) return status;
    if (!exists && create == Create::kNo) return reg::kFileNotFound;
    std::optional<hive::Document> document;
    if (exists) {
        Text text;
        const Fd file(io::openat(folder.get(), at.name.c_str(), kReadFlags | O_NOFOLLOW));
        if (!file) return errno_status(errno, IoKind::kRead);
        document = cache().take(path.c_str(), file.get(), &text, &status);
        if (status != reg::kSuccess) return status;
        if (!document) document = parsed(text.view());
        if (!document) return reg::kBadDb;
        // Never behind the back of a Wine server that holds this registry:
        // it would write its own back over the change.
        if (document->dialect() == hive::Dialect::kWine) {
            status = wine::server(path).status;
            if (status != reg::kSuccess) return status;
        }
    } else {
        document.emplace(hive::Dialect::kRegedit4);
    }
    status = edit(*document);
    if (status != reg::kSuccess) return status;
    if (!document->changed()) {
        // Nothing to write: what was taken still is the file's.
        if (exists) cache().keep(path.c_str(), Stamp(old), false, std::move(*document), false);
        return reg::kSuccess;
    }

    // rename() needs only the folder's permission; honour the file's too.
    if (exists && io::faccessat(folder.get(), at.name.c_str(), W_OK, AT_EACCESS) != 0) {
        return write_error();
    }
    // Only the lines of what changed are written anew.
    document->commit();
    if (document->text().size() > kMaxHiveSize) return reg::kDiskFull;
    if (!replace_durably(folder.get(), at.name, document->text(), exists ? &old : nullptr,
                         modes.hive)) {
        return write_error();
    }
    // The next call, reader or writer, compares the file with what was
    // written: just written, its times are not settled. A handle about to
    // write may go by its stamp (read_key()).
    struct stat written {};
    if (io::fstatat(folder.get(), at.name.c_str(), &written, AT_SYMLINK_NOFOLLOW) != 0) {
        written = old;
    }
    cache().keep(path.c_str(), Stamp(written), false, std::move(*document), false);
    return reg::kSuccess;
}

}  // namespace vantor::store
