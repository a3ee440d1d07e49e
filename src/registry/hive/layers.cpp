#include "registry/hive/layers.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>

#include "registry/hive/cache.h"
#include "registry/hive/errno_status.h"
#include "registry/hive/fd.h"
#include "registry/hive/folders.h"
#include "registry/hive/hive_file.h"
#include "registry/hive/io.h"
#include "registry/hive/text.h"

namespace vantor::store {
namespace {

// Reads the hive at layer->path as the library does (through links, only a
// regular file, bounded), saying what stops it.
void read_layer(Layer* layer) {
    Problem& problem = layer->problem;
    const auto refused = [&](int error) {
        problem = {Problem::Kind::kUnreadable, errno_status(error, IoKind::kRead), error, 0, {}};
        layer->unreadable = error == EACCES;
    };
    struct stat info {};
    if (io::stat(layer->path.c_str(), &info) != 0) {
        if (errno != ENOENT && errno != ENOTDIR) refused(errno);
        return;
    }
    layer->exists = true;
    if (!S_ISREG(info.st_mode)) {
        problem = {Problem::Kind::kNotAFile, reg::kReadFault, 0, 0, {}};
        return;
    }
    const Fd fd(io::open(layer->path.c_str(), kReadFlags));
    if (!fd) {
        refused(errno);
        return;
    }
    Text text;
    errno = 0;
    const reg::Status status = read_file(fd.get(), &text);
    if (status == reg::kBadDb) {
        problem = {Problem::Kind::kTooLarge, reg::kBadDb, 0, 0, {}};
        return;
    }
    if (status != reg::kSuccess) {
        refused(errno != 0 ? errno : EIO);
        return;
    }
    hive::ParseError error;
    layer->hive = parsed(text.view(), &error);
    if (layer->hive == nullptr) {
        problem = {Problem::Kind::kCorrupt, reg::kBadDb, 0, error.line, error.message};
    }
}

}  // namespace

bool goes_without(Role role, reg::Status status, bool layered) noexcept {
    return status == reg::kFileNotFound ||
           (role == Role::kMachine && layered && status == reg::kAccessDenied);
}

Target write_target(const Hives& hives, bool in_user) {
    Target target;
    bool to_user = in_user;
    if (hives.write_to == WriteTo::kMachine) {
        to_user = false;
        target.refusal = check_writable(hives.machine, &target.error);
    } else if (hives.write_to == WriteTo::kUser) {
        to_user = true;
        if (hives.user.empty()) {
            target.role = Role::kUser;
            target.refusal = reg::kAccessDenied;
            target.error = EACCES;
            return target;
        }
    } else if (!to_user) {
        target.refusal = check_writable(hives.machine, &target.error);
        to_user = target.refusal != reg::kSuccess && target.error == EACCES && ::geteuid() != 0 &&
                  !hives.user.empty();
    }
    if (to_user) {
        target.role = Role::kUser;
        target.refusal = check_writable(hives.user, &target.error);
        if (target.refusal == reg::kSuccess) {
            target.refusal = check_own(hives.user);
            target.foreign = target.refusal != reg::kSuccess;
        }
    }
    target.path = to_user ? hives.user : hives.machine;
    return target;
}

reg::Status remove_own_values(const Hives& hives, std::string_view key_path,
                              const std::vector<std::string>& names,
                              std::vector<std::string>* removed) {
    removed->clear();
    if (hives.user.empty()) return reg::kAccessDenied;
    // No hive (nor its folder): nothing of the user's to remove, and no
    // folder to judge.
    struct stat info {};
    if (io::fstatat(AT_FDCWD, hives.user.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 &&
        (errno == ENOENT || errno == ENOTDIR)) {
        return reg::kSuccess;
    }
    reg::Status status = check_own(hives.user);
    if (status != reg::kSuccess) return status;
    std::vector<std::string> gone;
    status = update(hives.user, Create::kNo, [&](hive::Hive& hive, Change& change) {
        gone.clear();
        hive::StoredKey* key = hive.find(key_path);
        if (key == nullptr) return reg::kSuccess;
        std::vector<hive::Value>& values = key->values;
        for (auto value = values.begin(); value != values.end();) {
            const bool named = std::any_of(
                names.begin(), names.end(),
                [&](const std::string& name) { return hive::iequals(name, value->name); });
            if (!named) {
                ++value;
                continue;
            }
            gone.push_back(value->name);
            value = values.erase(value);
        }
        if (gone.empty()) return reg::kSuccess;
        change.changed = true;
        change.only = key;
        const std::string below = key->path + "\\";
        const bool parent =
            std::any_of(hive.keys.begin(), hive.keys.end(), [&](const hive::StoredKey& other) {
                return other.path.size() > below.size() &&
                       hive::iequals(std::string_view(other.path).substr(0, below.size()), below);
            });
        if (values.empty() && !parent) {
            const auto index = key - hive.keys.data();
            change.only = nullptr;
            hive.keys.erase(hive.keys.begin() + index);
        }
        return reg::kSuccess;
    });
    // Gone meanwhile: nothing of the user's to remove.
    if (status == reg::kFileNotFound) return reg::kSuccess;
    if (status == reg::kSuccess) *removed = std::move(gone);
    return status;
}

Layers Layers::read() { return read(find_hives()); }

Layers Layers::read(const Hives& hives) {
    Layers layers;
    layers.hives_ = hives;
    layers.layers_.push_back({hives.machine, Role::kMachine, false, false, {}, nullptr});
    if (!hives.user.empty()) {
        layers.layers_.push_back({hives.user, Role::kUser, false, false, {}, nullptr});
    }
    for (Layer& layer : layers.layers_) read_layer(&layer);
    return layers;
}

const Layer* Layers::holder(std::string_view key_path, std::string_view name) const {
    for (auto layer = layers_.rbegin(); layer != layers_.rend(); ++layer) {
        if (layer->hive == nullptr) continue;
        const hive::StoredKey* key = layer->hive->find(key_path);
        if (key != nullptr && key->find(name) != nullptr) return &*layer;
    }
    return nullptr;
}

Target Layers::target_of(std::string_view key_path) const {
    const bool in_user = layers_.size() > 1 && layers_[1].hive != nullptr &&
                         layers_[1].hive->find(key_path) != nullptr;
    return write_target(hives_, in_user);
}

const Layer* Layers::failing() const noexcept {
    const bool layered = layers_.size() > 1;
    for (const Layer& layer : layers_) {
        if (layer.problem.kind != Problem::Kind::kNone &&
            !goes_without(layer.role, layer.problem.status, layered)) {
            return &layer;
        }
    }
    return nullptr;
}

}  // namespace vantor::store
