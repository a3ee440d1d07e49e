#include "keys/key_names.h"

namespace vantor::keys {
namespace {

constexpr char ascii_upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

bool iequals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (ascii_upper(a[i]) != ascii_upper(b[i])) return false;
    }
    return true;
}

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
    {"Break", 0x13},
    {"PauseBreak", 0x13},
    {"CapsLock", 0x14},
    {"Escape", 0x1B},
    {"Esc", 0x1B},
    {"Space", 0x20},
    {"Spacebar", 0x20},
    {"PageUp", 0x21},
    {"PgUp", 0x21},
    {"PageDown", 0x22},
    {"PgDn", 0x22},
    {"End", 0x23},
    {"Home", 0x24},
    {"Left", 0x25},
    {"ArrowLeft", 0x25},
    {"LeftArrow", 0x25},
    {"Up", 0x26},
    {"ArrowUp", 0x26},
    {"UpArrow", 0x26},
    {"Right", 0x27},
    {"ArrowRight", 0x27},
    {"RightArrow", 0x27},
    {"Down", 0x28},
    {"ArrowDown", 0x28},
    {"DownArrow", 0x28},
    {"PrintScreen", 0x2C},
    {"PrtSc", 0x2C},
    {"PrtScn", 0x2C},
    {"PrtScr", 0x2C},
    {"Insert", 0x2D},
    {"Ins", 0x2D},
    {"Delete", 0x2E},
    {"Del", 0x2E},
    {"LWin", 0x5B},
    {"LeftWin", 0x5B},
    {"LeftWindows", 0x5B},
    {"Win", 0x5B},  // no code says either Windows key: the left one, as keyboards have
    {"Windows", 0x5B},
    {"RWin", 0x5C},
    {"RightWin", 0x5C},
    {"RightWindows", 0x5C},
    {"Menu", 0x5D},
    {"Apps", 0x5D},
    {"Application", 0x5D},
    {"ContextMenu", 0x5D},
    {"NumMultiply", 0x6A},
    {"Num*", 0x6A},
    {"NumStar", 0x6A},
    {"NumAdd", 0x6B},
    {"Num+", 0x6B},
    {"NumPlus", 0x6B},
    {"NumSeparator", 0x6C},
    {"NumSubtract", 0x6D},
    {"Num-", 0x6D},
    {"NumMinus", 0x6D},
    {"NumDecimal", 0x6E},
    {"Num.", 0x6E},
    {"NumPeriod", 0x6E},
    {"NumDot", 0x6E},
    {"NumDivide", 0x6F},
    {"Num/", 0x6F},
    {"NumSlash", 0x6F},
    // The number pad's Enter sends Enter's code: the game cannot tell them apart.
    {"NumEnter", 0x0D},
    {"NumLock", 0x90},
    {"ScrollLock", 0x91},
    {"LShift", 0xA0},
    {"LeftShift", 0xA0},
    {"RShift", 0xA1},
    {"RightShift", 0xA1},
    {"LCtrl", 0xA2},
    {"LeftCtrl", 0xA2},
    {"LeftControl", 0xA2},
    {"RCtrl", 0xA3},
    {"RightCtrl", 0xA3},
    {"RightControl", 0xA3},
    {"LAlt", 0xA4},
    {"LeftAlt", 0xA4},
    {"RAlt", 0xA5},
    {"RightAlt", 0xA5},
    {"AltGr", 0xA5},
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

// The Windows names, without their "VK_", of the codes 1 to 254 (the
// letters, digits, F-keys and number pad keys are numbered below).
constexpr NamedKey kWindowsNames[] = {
    {"LBUTTON", 0x01},      {"RBUTTON", 0x02},
    {"CANCEL", 0x03},       {"MBUTTON", 0x04},
    {"XBUTTON1", 0x05},     {"XBUTTON2", 0x06},
    {"BACK", 0x08},         {"TAB", 0x09},
    {"CLEAR", 0x0C},        {"RETURN", 0x0D},
    {"SHIFT", 0x10},        {"CONTROL", 0x11},
    {"MENU", 0x12},         {"PAUSE", 0x13},
    {"CAPITAL", 0x14},      {"KANA", 0x15},
    {"HANGUL", 0x15},       {"JUNJA", 0x17},
    {"FINAL", 0x18},        {"HANJA", 0x19},
    {"KANJI", 0x19},        {"ESCAPE", 0x1B},
    {"CONVERT", 0x1C},      {"NONCONVERT", 0x1D},
    {"ACCEPT", 0x1E},       {"MODECHANGE", 0x1F},
    {"SPACE", 0x20},        {"PRIOR", 0x21},
    {"NEXT", 0x22},         {"END", 0x23},
    {"HOME", 0x24},         {"LEFT", 0x25},
    {"UP", 0x26},           {"RIGHT", 0x27},
    {"DOWN", 0x28},         {"SELECT", 0x29},
    {"PRINT", 0x2A},        {"EXECUTE", 0x2B},
    {"SNAPSHOT", 0x2C},     {"INSERT", 0x2D},
    {"DELETE", 0x2E},       {"HELP", 0x2F},
    {"LWIN", 0x5B},         {"RWIN", 0x5C},
    {"APPS", 0x5D},         {"SLEEP", 0x5F},
    {"MULTIPLY", 0x6A},     {"ADD", 0x6B},
    {"SEPARATOR", 0x6C},    {"SUBTRACT", 0x6D},
    {"DECIMAL", 0x6E},      {"DIVIDE", 0x6F},
    {"NUMLOCK", 0x90},      {"SCROLL", 0x91},
    {"LSHIFT", 0xA0},       {"RSHIFT", 0xA1},
    {"LCONTROL", 0xA2},     {"RCONTROL", 0xA3},
    {"LMENU", 0xA4},        {"RMENU", 0xA5},
    {"BROWSER_BACK", 0xA6}, {"BROWSER_FORWARD", 0xA7},
    {"BROWSER_REFRESH", 0xA8}, {"BROWSER_STOP", 0xA9},
    {"BROWSER_SEARCH", 0xAA}, {"BROWSER_FAVORITES", 0xAB},
    {"BROWSER_HOME", 0xAC}, {"VOLUME_MUTE", 0xAD},
    {"VOLUME_DOWN", 0xAE},  {"VOLUME_UP", 0xAF},
    {"MEDIA_NEXT_TRACK", 0xB0}, {"MEDIA_PREV_TRACK", 0xB1},
    {"MEDIA_STOP", 0xB2},   {"MEDIA_PLAY_PAUSE", 0xB3},
    {"LAUNCH_MAIL", 0xB4},  {"LAUNCH_MEDIA_SELECT", 0xB5},
    {"LAUNCH_APP1", 0xB6},  {"LAUNCH_APP2", 0xB7},
    {"OEM_1", 0xBA},        {"OEM_PLUS", 0xBB},
    {"OEM_COMMA", 0xBC},    {"OEM_MINUS", 0xBD},
    {"OEM_PERIOD", 0xBE},   {"OEM_2", 0xBF},
    {"OEM_3", 0xC0},        {"OEM_4", 0xDB},
    {"OEM_5", 0xDC},        {"OEM_6", 0xDD},
    {"OEM_7", 0xDE},        {"OEM_8", 0xDF},
    {"OEM_102", 0xE2},      {"PROCESSKEY", 0xE5},
    {"PACKET", 0xE7},       {"ATTN", 0xF6},
    {"CRSEL", 0xF7},        {"EXSEL", 0xF8},
    {"EREOF", 0xF9},        {"PLAY", 0xFA},
    {"ZOOM", 0xFB},         {"NONAME", 0xFC},
    {"PA1", 0xFD},          {"OEM_CLEAR", 0xFE},
};

constexpr std::string_view kWindowsPrefix = "VK_";
constexpr std::uint32_t kNumPad0 = 0x60;
constexpr std::uint32_t kF1 = 0x70;
constexpr std::uint32_t kFunctionKeys = 24;

// A name as it is compared: lower case, without spaces, hyphens and
// underscores. A single character (a punctuation key) stays as it is.
std::string folded(std::string_view name) {
    std::string out;
    for (const char c : name) {
        if (name.size() > 1 && (c == ' ' || c == '-' || c == '_')) continue;
        out.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c));
    }
    return out;
}

// Whether a name is a word (letters, digits, underscores), which may be
// written with spaces or hyphens; "Num-" is not: folded, it would be "Num".
bool is_word(std::string_view name) {
    for (const char c : name) {
        const char upper = ascii_upper(c);
        if (!((upper >= 'A' && upper <= 'Z') || (c >= '0' && c <= '9') || c == '_')) return false;
    }
    return true;
}

std::string without_spaces(std::string_view name) {
    std::string out;
    for (const char c : name) {
        if (c != ' ') out.push_back(c);
    }
    return out;
}

// The code of a name in `table`: written as listed (in any case, spaces
// aside: "Num +"), else folded.
template <std::size_t N>
std::optional<std::uint32_t> find_in(const NamedKey (&table)[N], std::string_view name) {
    const std::string squeezed = without_spaces(name);
    for (const NamedKey& key : table) {
        if (iequals(squeezed, key.name)) return key.code;
    }
    const std::string wanted = folded(name);
    if (wanted.empty()) return std::nullopt;
    for (const NamedKey& key : table) {
        if (is_word(key.name) && folded(key.name) == wanted) return key.code;
    }
    return std::nullopt;
}

std::optional<std::uint32_t> letter_or_digit(std::string_view name) {
    if (name.size() != 1) return std::nullopt;
    const char c = ascii_upper(name[0]);
    if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z')) return static_cast<std::uint32_t>(c);
    return std::nullopt;
}

// "F1" to "F24", "Num0" to "Num9": a prefix and a small decimal, without
// leading zeros.
std::optional<std::uint32_t> numbered(const std::string& name, std::string_view prefix,
                                      std::uint32_t first, std::uint32_t count) {
    if (name.size() <= prefix.size() || name.size() > prefix.size() + 2) return std::nullopt;
    if (!iequals(std::string_view(name).substr(0, prefix.size()), prefix)) return std::nullopt;
    const std::string_view digits = std::string_view(name).substr(prefix.size());
    if (digits[0] == '0' && digits.size() > 1) return std::nullopt;
    std::uint32_t n = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        n = n * 10 + static_cast<std::uint32_t>(c - '0');
    }
    if (n < first || n >= first + count) return std::nullopt;
    return n - first;
}

std::optional<std::uint32_t> function_or_pad_key(const std::string& folded_name,
                                                 std::initializer_list<std::string_view> pads) {
    if (const auto f = numbered(folded_name, "f", 1, kFunctionKeys)) return kF1 + *f;
    for (const std::string_view pad : pads) {
        if (const auto n = numbered(folded_name, pad, 0, 10)) return kNumPad0 + *n;
    }
    return std::nullopt;
}

// "Numpad +" and "Keypad Enter" as the table has them ("Num+", "NumEnter");
// an empty string for a name that does not start so.
std::string number_pad_name(std::string_view name) {
    const std::string squeezed = without_spaces(name);
    for (const std::string_view prefix : {"numpad", "keypad"}) {
        if (squeezed.size() > prefix.size() &&
            iequals(std::string_view(squeezed).substr(0, prefix.size()), prefix)) {
            return "Num" + squeezed.substr(prefix.size());
        }
    }
    return {};
}

// The generic modifiers and their two sides: a game that asks for Shift
// sees it pressed with either Shift key.
struct Sides {
    std::uint32_t generic, left, right;
};
constexpr Sides kSides[] = {{0x10, 0xA0, 0xA1}, {0x11, 0xA2, 0xA3}, {0x12, 0xA4, 0xA5}};

std::optional<std::uint32_t> windows_key_code(std::string_view name) {
    if (const auto code = letter_or_digit(name)) return code;
    if (const auto code = find_in(kWindowsNames, name)) return code;
    return function_or_pad_key(folded(name), {"numpad"});
}

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
    for (const NamedKey& key : kWindowsNames) {
        if (key.code == code) return std::string(kWindowsPrefix) + key.name;
    }
    return {};
}

std::optional<std::uint32_t> key_code(std::string_view name) {
    if (const auto code = letter_or_digit(name)) return code;
    if (name.size() > kWindowsPrefix.size() &&
        iequals(name.substr(0, kWindowsPrefix.size()), kWindowsPrefix)) {
        return windows_key_code(name.substr(kWindowsPrefix.size()));
    }
    const std::string pad = number_pad_name(name);
    const std::string_view spelled = pad.empty() ? name : std::string_view(pad);
    if (const auto code = find_in(kNamedKeys, spelled)) return code;
    return function_or_pad_key(folded(spelled), {"num", "numpad", "keypad"});
}

std::uint32_t generic_key(std::uint32_t code) {
    for (const Sides& sides : kSides) {
        if (code == sides.left || code == sides.right) return sides.generic;
    }
    return 0;
}

bool same_key(std::uint32_t a, std::uint32_t b) {
    return a == b || generic_key(a) == b || generic_key(b) == a;
}

std::vector<KeyNames> all_key_names() {
    std::vector<KeyNames> all;
    for (std::uint32_t code = 1; code <= 254; ++code) {
        const std::string shown = key_name(code);
        if (shown.empty()) continue;
        KeyNames entry{code, {shown}};
        const auto add = [&](std::string name) {
            for (const std::string& known : entry.names) {
                if (known == name) return;
            }
            entry.names.push_back(std::move(name));
        };
        for (const NamedKey& key : kNamedKeys) {
            if (key.code == code) add(key.name);
        }
        if (code >= kNumPad0 && code <= kNumPad0 + 9) {
            add("VK_NUMPAD" + std::to_string(code - kNumPad0));
        } else if (code >= kF1 && code < kF1 + kFunctionKeys) {
            add("VK_F" + std::to_string(code - kF1 + 1));
        }
        for (const NamedKey& key : kWindowsNames) {
            if (key.code == code) add(std::string(kWindowsPrefix) + key.name);
        }
        all.push_back(std::move(entry));
    }
    return all;
}

}  // namespace vantor::keys
