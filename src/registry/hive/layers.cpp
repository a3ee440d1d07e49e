#include "registry/hive/layers.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "registry/hive/cache.h"
#include "registry/hive/errno_status.h"
#include "registry/hive/fd.h"
#include "registry/hive/folders.h"
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
    if (!to_user) {
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
