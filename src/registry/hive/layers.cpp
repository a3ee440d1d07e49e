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
#include "registry/hive/wine.h"

namespace vantor::store {
namespace {

// Reads the hive at layer->path as the library does (through links, only a
// regular file, bounded), saying what stops it; keeps the whole hive only
// when `whole`, else only checks it.
void read_layer(Layer* layer, bool whole) {
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
    layer->wine_file = wine::head(text.view(), &layer->arch_line);
    hive::ParseError error;
    if (!whole) {
        // The same verdict as reading it whole, at a third of the cost.
        std::optional<hive::StoredKey> none;
        if (!hive::read_one_key(text.view(), {}, &none, &error)) {
            problem = {Problem::Kind::kCorrupt, reg::kBadDb, 0, error.line, error.message};
        }
        return;
    }
    std::optional<hive::Document> document = parsed(text.view(), &error);
    if (!document) {
        problem = {Problem::Kind::kCorrupt, reg::kBadDb, 0, error.line, error.message};
        return;
    }
    layer->document = std::make_shared<const hive::Document>(std::move(*document));
}

// True when `key` has a subkey in `document`.
bool has_subkey(const hive::Document& document, const hive::StoredKey& key) {
    const std::string below = key.path + "\\";
    const std::vector<hive::StoredKey>& keys = document.hive().keys;
    return std::any_of(keys.begin(), keys.end(), [&](const hive::StoredKey& other) {
        return other.path.size() > below.size() &&
               hive::iequals(std::string_view(other.path).substr(0, below.size()), below);
    });
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
    status = update(hives.user, Create::kNo, [&](hive::Document& document) {
        gone.clear();
        const std::string path = wine::key_path(document, key_path);
        const hive::StoredKey* key = document.find(path);
        if (key == nullptr) return reg::kSuccess;
        const bool in_wine = document.dialect() == hive::Dialect::kWine;
        for (const hive::Value& value : key->values) {
            const bool named =
                std::any_of(names.begin(), names.end(), [&](const std::string& name) {
                    return hive::iequals(in_wine ? wine::name(name) : name, value.name);
                });
            if (named) gone.push_back(value.name);
        }
        if (gone.empty()) return reg::kSuccess;
        for (const std::string& name : gone) document.delete_value(path, name);
        key = document.find(path);
        if (key != nullptr && key->values.empty() && !has_subkey(document, *key)) {
            document.delete_key(path);
        }
        return reg::kSuccess;
    });
    // Gone meanwhile: nothing of the user's to remove.
    if (status == reg::kFileNotFound) return reg::kSuccess;
    if (status == reg::kSuccess) *removed = std::move(gone);
    return status;
}

Layers Layers::read(bool whole) { return read(find_hives(), whole); }

Layers Layers::read(const Hives& hives, bool whole) {
    Layers layers;
    layers.hives_ = hives;
    const auto add = [&](const std::string& path, Role role) {
        Layer layer;
        layer.path = path;
        layer.role = role;
        layers.layers_.push_back(std::move(layer));
    };
    add(hives.machine, Role::kMachine);
    if (!hives.user.empty()) add(hives.user, Role::kUser);
    for (Layer& layer : layers.layers_) read_layer(&layer, whole);
    return layers;
}

std::string Layer::stored_path(std::string_view key_path) const {
    if (document != nullptr) return wine::key_path(*document, key_path);
    return wine_file ? wine::key_path(arch_line, key_path) : std::string(key_path);
}

const hive::StoredKey* Layer::key(std::string_view key_path) const {
    return document != nullptr ? document->find(stored_path(key_path)) : nullptr;
}

std::optional<hive::Value> Layer::value(std::string_view key_path, std::string_view name) const {
    const hive::StoredKey* found = key(key_path);
    if (found == nullptr) return std::nullopt;
    if (!wine_file) {
        const hive::Value* value = found->find(name);
        return value != nullptr ? std::optional<hive::Value>(*value) : std::nullopt;
    }
    const hive::Value* value = found->find(wine::name(name));
    if (value == nullptr) return std::nullopt;
    return hive::Value{std::string(name), value->type, wine::game_data(value->type, value->data)};
}

const Layer* Layers::holder(std::string_view key_path, std::string_view name) const {
    for (auto layer = layers_.rbegin(); layer != layers_.rend(); ++layer) {
        if (layer->value(key_path, name)) return &*layer;
    }
    return nullptr;
}

Target Layers::target_of(std::string_view key_path) const {
    const bool in_user = layers_.size() > 1 && layers_[1].key(key_path) != nullptr;
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
