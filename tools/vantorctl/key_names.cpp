#include "key_names.h"

#include "text.h"

namespace vantorctl {
namespace {

struct NamedKey {
    const char* name;
    std::uint32_t code;
};

// Keys whose name is not a single letter, digit or F-key. The first entry of
// a code is the name shown for it; later ones are accepted as input.
constexpr NamedKey kNamedKeys[] = {
    {"Backspace", 0x08},
    {"Tab", 0x09},
    {"Clear", 0x0C},
    {"Enter", 0x0D},
    {"Return", 0x0D},
    {"Shift", 0x10},
    {"Ctrl", 0x11},
    {"Control", 0x11},
    {"Alt", 0x12},
    {"Pause", 0x13},
    {"CapsLock", 0x14},
    {"Escape", 0x1B},
    {"Esc", 0x1B},
    {"Space", 0x20},
    {"PageUp", 0x21},
    {"PgUp", 0x21},
    {"PageDown", 0x22},
    {"PgDn", 0x22},
    {"End", 0x23},
    {"Home", 0x24},
    {"Left", 0x25},
    {"Up", 0x26},
    {"Right", 0x27},
    {"Down", 0x28},
    {"PrintScreen", 0x2C},
    {"Insert", 0x2D},
    {"Ins", 0x2D},
    {"Delete", 0x2E},
    {"Del", 0x2E},
    {"LWin", 0x5B},
    {"RWin", 0x5C},
    {"Menu", 0x5D},
    {"NumMultiply", 0x6A},
    {"NumAdd", 0x6B},
    {"NumSeparator", 0x6C},
    {"NumSubtract", 0x6D},
    {"NumDecimal", 0x6E},
    {"NumDivide", 0x6F},
    {"NumLock", 0x90},
    {"ScrollLock", 0x91},
    {"LShift", 0xA0},
    {"RShift", 0xA1},
    {"LCtrl", 0xA2},
    {"RCtrl", 0xA3},
    {"LAlt", 0xA4},
    {"RAlt", 0xA5},
    {";", 0xBA},
    {"Semicolon", 0xBA},
    {"=", 0xBB},
    {"Equals", 0xBB},
    {",", 0xBC},
    {"Comma", 0xBC},
    {"-", 0xBD},
    {"Minus", 0xBD},
    {".", 0xBE},
    {"Period", 0xBE},
    {"/", 0xBF},
    {"Slash", 0xBF},
    {"`", 0xC0},
    {"Backquote", 0xC0},
    {"[", 0xDB},
    {"LeftBracket", 0xDB},
    {"\\", 0xDC},
    {"Backslash", 0xDC},
    {"]", 0xDD},
    {"RightBracket", 0xDD},
    {"'", 0xDE},
    {"Quote", 0xDE},
};

constexpr std::uint32_t kNumPad0 = 0x60;
constexpr std::uint32_t kF1 = 0x70;
constexpr std::uint32_t kFunctionKeys = 24;

}  // namespace

std::string key_name(std::uint32_t code) {
    if ((code >= '0' && code <= '9') || (code >= 'A' && code <= 'Z')) {
        return std::string(1, static_cast<char>(code));
    }
    if (code >= kNumPad0 && code <= kNumPad0 + 9) return "Num" + std::to_string(code - kNumPad0);
    if (code >= kF1 && code < kF1 + kFunctionKeys) return "F" + std::to_string(code - kF1 + 1);
    for (const NamedKey& key : kNamedKeys) {
        if (key.code == code) return key.name;
    }
    return {};
}

std::optional<std::uint32_t> key_code(std::string_view name) {
    if (name.size() == 1) {
        const char c = ascii_upper(name[0]);
        if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z')) return static_cast<std::uint32_t>(c);
    }
    for (const NamedKey& key : kNamedKeys) {
        if (iequals(name, key.name)) return key.code;
    }
    // "F1" to "F24" and "Num0" to "Num9": a prefix and a small decimal.
    const auto numbered = [&](std::string_view prefix, std::uint32_t first,
                              std::uint32_t count) -> std::optional<std::uint32_t> {
        if (name.size() <= prefix.size() || name.size() > prefix.size() + 2) return std::nullopt;
        if (!iequals(name.substr(0, prefix.size()), prefix)) return std::nullopt;
        const std::string_view digits = name.substr(prefix.size());
        if (digits[0] == '0' && digits.size() > 1) return std::nullopt;
        std::uint32_t n = 0;
        for (const char c : digits) {
            if (c < '0' || c > '9') return std::nullopt;
            n = n * 10 + static_cast<std::uint32_t>(c - '0');
        }
        if (n < first || n >= first + count) return std::nullopt;
        return n - first;
    };
    if (const auto f = numbered("F", 1, kFunctionKeys)) return kF1 + *f;
    if (const auto pad = numbered("Num", 0, 10)) return kNumPad0 + *pad;
    return std::nullopt;
}

}  // namespace vantorctl
