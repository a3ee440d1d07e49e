// Natively the stores are the stand-in registry's hive files: the store
// (src/registry/hive/layers.h) names them by the library's own rule, tells
// which one holds each value and why one cannot be read.
#include <stdlib.h>

#include <cerrno>

#include "files.h"
#include "registry/hive/layers.h"
#include "registry/hive/paths.h"
#include "store.h"

namespace vantorctl::store {
namespace {

using vantor::store::Layer;
using vantor::store::Layers;
using vantor::store::Problem;

std::string_view role_of(const Layer& layer) {
    return layer.role == vantor::store::Role::kUser ? kUserRole : kMachineRole;
}

// What stops the library at `layer`, as a message naming the file.
std::string described(const Layer& layer) {
    const std::string& path = layer.path;
    switch (layer.problem.kind) {
        case Problem::Kind::kNone:
            break;
        case Problem::Kind::kUnreadable:
            return "cannot read " + path + ": " + system_reason(layer.problem.error);
        case Problem::Kind::kNotAFile:
            return path + ": not a regular file";
        case Problem::Kind::kTooLarge:
            return path + " is larger than 16 MiB: a corrupt store";
        case Problem::Kind::kCorrupt:
            return path + ":" + std::to_string(layer.problem.line) +
                   ": corrupt store: " + layer.problem.message;
    }
    return {};
}

}  // namespace

bool use_file(const std::string& path, std::string* error) {
    if (path.empty()) {
        *error = "--registry needs a file name";
        return false;
    }
    if (::setenv("VANTOR_REGISTRY", path.c_str(), 1) != 0) {
        *error = "cannot set VANTOR_REGISTRY: " + system_reason(errno);
        return false;
    }
    return true;
}

std::vector<File> files() {
    const vantor::store::Hives hives = vantor::store::find_hives();
    std::vector<File> found = {{hives.machine, kMachineRole}};
    if (!hives.user.empty()) found.push_back({hives.user, kUserRole});
    return found;
}

std::string problem() {
    const Layers layers = Layers::read();
    const Layer* failing = layers.failing();
    return failing != nullptr ? described(*failing) : std::string();
}

Sources Sources::read() {
    Sources sources;
    auto layers = std::make_shared<const Layers>(Layers::read());
    for (const Layer& layer : layers->layers()) {
        sources.stores_.push_back({{layer.path, role_of(layer)}, layer.unreadable});
    }
    sources.layers_ = std::move(layers);
    return sources;
}

Source Sources::of(const Setting& field) const {
    if (layers_ == nullptr) return Source::kUnknown;
    const Layer* holder = layers_->holder(record_key_path(field.record), field.name);
    if (holder == nullptr) return Source::kNone;
    return role_of(*holder) == kUserRole ? Source::kUser : Source::kMachine;
}

std::string help() {
    return std::string("Stores: the machine's hive file, ") +
           vantor::store::default_machine_hive() +
           ", and your own, which takes what you change when you may not write the machine's; "
           "your values show over the machine's.\n"
           "Environment:\n"
           "  VANTOR_REGISTRY       one hive file in place of both; --registry sets it.\n"
           "  VANTOR_USER_REGISTRY  your own hive file (default: "
           "${XDG_STATE_HOME:-$HOME/.local/state}/vantor/user.reg;\n"
           "                        root's is in its home folder in the password database).\n";
}

}  // namespace vantorctl::store
