// Checking what a person or a .reg file gives for a value, before anything
// is written, and putting checked values into the records.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "charset.h"
#include "fields.h"

namespace vantorctl {

// A checked new value for one field.
struct Assignment {
    const Setting* field = nullptr;
    std::string text;          // for kText
    std::uint32_t number = 0;  // for kNumber and kKey
};

// "123" or "0x7B" (no sign, no spaces), 0 to 4294967295.
std::optional<std::uint32_t> parse_number(std::string_view text);

// Checks `value` as given on the command line for `field`: a text of at
// most 255 bytes once in the game's charset (converted from `charset`), a
// number as parse_number() takes it, or for a key binding a key name or a
// virtual-key code of 1 to 254. A single digit is the digit's key; codes
// below 10 are written 0x1 to 0x9 (or 01 to 09). On failure returns nullopt
// and says why in *problem.
std::optional<Assignment> parse_value(const Setting& field, std::string_view value,
                                      std::string* problem, Charset charset = Charset::kBytes);

// Checks a raw registry value (type and data bytes) for `field`: REG_SZ of at
// most 255 bytes (one trailing NUL allowed), REG_DWORD of 4 bytes. A key
// binding outside 1 to 254 is taken as it is, since the library stores such
// codes, with a note in *warning when given.
std::optional<Assignment> check_stored_value(const Setting& field, std::uint32_t type,
                                             std::string_view data, std::string* problem,
                                             std::string* warning = nullptr);

// Checks "NAME=VALUE" arguments; every problem found is added to
// *problems, one line each naming the argument. A value named twice is a
// problem too.
std::vector<Assignment> parse_assignments(const std::vector<std::string>& arguments,
                                          std::vector<std::string>* problems,
                                          Charset charset = Charset::kBytes);

// "unknown name "Fier"; did you mean "Fire"?", or where no name is near,
// where to find them.
std::string unknown_name(std::string_view name);

// The fields named in `names` (registry or field names, in any case), in
// their order; every unknown name is added to *problems.
std::vector<const Setting*> find_fields(const std::vector<std::string>& names,
                                        std::vector<std::string>* problems);

// Puts the assignments of `record` into `records` and returns their mask.
std::uint32_t apply(const std::vector<Assignment>& assignments, Record record, Records* records);

}  // namespace vantorctl
