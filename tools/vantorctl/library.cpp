#include "library.h"

#include "platform.h"

namespace vantorctl {
namespace {

template <typename Pointer>
bool bind(platform::Module module, const char* name, Pointer* pointer, std::string* error) {
    const platform::Function function = platform::find_function(module, name);
    if (function == nullptr) {
        *error = std::string("does not export ") + name;
        return false;
    }
    *pointer = reinterpret_cast<Pointer>(function);
    return true;
}

bool load_file(const std::string& path, Library* library, std::string* error) {
    const platform::Module module = platform::open_module(path, error);
    if (module == nullptr) return false;
    Api& api = library->api;
    if (!bind(module, "GetGameConfigSettings", &api.get_game, error) ||
        !bind(module, "SetGameConfigSettings", &api.set_game, error) ||
        !bind(module, "SetDefaultGameSettings", &api.set_default_game, error) ||
        !bind(module, "GetKeyConfigSettings", &api.get_keys, error) ||
        !bind(module, "SetKeyConfigSettings", &api.set_keys, error) ||
        !bind(module, "SetDefaultKeySettings", &api.set_default_keys, error) ||
        !bind(module, "SetAllDefaults", &api.set_all_defaults, error) ||
        !bind(module, "CreateRegKeys", &api.create_reg_keys, error)) {
        *error = path + ": " + *error;
        return false;
    }
    library->file =
        platform::module_file(module, reinterpret_cast<platform::Function>(api.get_game));
    if (library->file.empty()) library->file = path;
    library->version = platform::file_version(library->file);
    return true;
}

}  // namespace

bool load_library(const std::string& path, Library* library, std::string* error) {
    if (!path.empty()) return load_file(path, library, error);
    std::string tried;
    for (const std::string& candidate : platform::default_library_paths()) {
        std::string why;
        if (load_file(candidate, library, &why)) return true;
        tried += "\n  " + why;
    }
    *error = "no settings library found (use --library PATH); tried:" + tried;
    return false;
}

}  // namespace vantorctl
