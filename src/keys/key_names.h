// Names of the keys a binding can hold, as a person types and reads them:
// the one table that vantorctl and vantor-setup both show and take.
// A binding is a virtual-key code: "Space" is 32, "A" is 65, "F1" is 112.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantor::keys {

// The name shown for `code` ("Space", "A", "Num5"; "VK_BROWSER_BACK" for a
// key known only by its Windows name), or an empty string when the code has
// no name.
std::string key_name(std::uint32_t code);

// The code of the key called `name`. Case, spaces, hyphens and underscores
// do not matter ("Left Shift", "page-up", "Num 0"); common aliases ("Esc",
// "Return", "PgUp") and the Windows names (VK_SPACE, VK_LSHIFT, VK_NUMPAD0,
// VK_OEM_1...) are taken too. Only names: numbers are the value parser's.
std::optional<std::uint32_t> key_code(std::string_view name);

// Every code that has a name, with all the names it is known by, the name
// shown first.
struct KeyNames {
    std::uint32_t code;
    std::vector<std::string> names;
};
std::vector<KeyNames> all_key_names();

}  // namespace vantor::keys
