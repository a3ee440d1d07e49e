// The settings library, loaded at run time by file name and looked up by
// function name, as the game loads it. Only the eight exported functions
// are used.
#pragma once

#include <string>

#include "vantor.h"

namespace vantorctl {

struct Api {
    VantorGetGameConfigSettings get_game = nullptr;
    VantorSetGameConfigSettings set_game = nullptr;
    VantorSetDefaultGameSettings set_default_game = nullptr;
    VantorGetKeyConfigSettings get_keys = nullptr;
    VantorSetKeyConfigSettings set_keys = nullptr;
    VantorSetDefaultKeySettings set_default_keys = nullptr;
    VantorSetAllDefaults set_all_defaults = nullptr;
    VantorCreateRegKeys create_reg_keys = nullptr;
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
