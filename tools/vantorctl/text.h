// Small ASCII text helpers: registry names compare without regard to case,
// as the hive compares them.
#pragma once

#include <string_view>

#include "hive/model.h"

namespace vantorctl {

using vantor::hive::iequals;

constexpr char ascii_upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

}  // namespace vantorctl
