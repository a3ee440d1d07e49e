// The settings library, loaded at run time by file name and looked up by
// function name, as the game loads it. Only the eight exported functions
// are used.
#pragma once

#include <string>

#include "vantor.h"

namespace vantorctl {

struct Api {
    decltype(&::GetGameConfigSettings) get_game = nullptr;
    decltype(&::SetGameConfigSettings) set_game = nullptr;
    decltype(&::SetDefaultGameSettings) set_default_game = nullptr;
    decltype(&::GetKeyConfigSettings) get_keys = nullptr;
    decltype(&::SetKeyConfigSettings) set_keys = nullptr;
    decltype(&::SetDefaultKeySettings) set_default_keys = nullptr;
    decltype(&::SetAllDefaults) set_all_defaults = nullptr;
    decltype(&::CreateRegKeys) create_reg_keys = nullptr;
};

struct Library {
    Api api;
    std::string file;     // the file the functions came from
    std::string version;  // its version ("1.0.0.3"), or empty when unknown
};

// Loads the library at `path`; with an empty path, the one installed with
// the tool (see platform.h). The library stays loaded until the process
// ends. On failure returns false and says why in *error.
bool load_library(const std::string& path, Library* library, std::string* error);

}  // namespace vantorctl
