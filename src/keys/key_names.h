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
// do not matter ("Left Shift", "page-up", "Num 0", "Num +", "Space bar");
// common aliases ("Esc", "Return", "PgUp", "Spacebar", "PrtScn", "Break",
// "Win", "Apps", "Numpad 5", "Num Enter") and the Windows names (VK_SPACE,
// VK_LSHIFT, VK_NUMPAD0, VK_OEM_1...) are taken too. Only names: numbers
// are the value parser's.
std::optional<std::uint32_t> key_code(std::string_view name);

// The generic modifier that the side-specific key `code` is seen as too
// (Left Shift and Right Shift: Shift; the same for Ctrl and Alt), or 0.
std::uint32_t generic_key(std::uint32_t code);

// Whether a game sees both keys pressed when one of them is: the same code,
// or a generic modifier and one of its sides (Shift and Left Shift). Two
// actions bound so go off together.
bool same_key(std::uint32_t a, std::uint32_t b);

// Every code that has a name, with all the names it is known by, the name
// shown first.
struct KeyNames {
    std::uint32_t code;
    std::vector<std::string> names;
};
std::vector<KeyNames> all_key_names();

}  // namespace vantor::keys
