// Names of the keys a binding can hold, as the person types and reads them.
// A binding is a virtual-key code: "Space" is 32, "A" is 65, "F1" is 112.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vantorctl {

// The name shown for `code` ("Space", "A", "Num5"), or an empty string
// when the code has no name of its own.
std::string key_name(std::uint32_t code);

// The code of the key called `name`, matched case-insensitively, with a few
// common aliases ("Esc", "Return", "PgUp"...). Only names: numbers are
// handled by the value parser.
std::optional<std::uint32_t> key_code(std::string_view name);

}  // namespace vantorctl
