#include "bindings.h"

#include <cstring>

#include "keys/key_names.h"
#include "settings/value_table.h"

namespace vantor_setup {
namespace {

using vantor::settings::Kind;
using vantor::settings::kSettings;
using vantor::settings::Setting;

// Virtual-key codes (winuser.h), so that this file needs no Windows header.
constexpr std::uint32_t kShift = 0x10, kControl = 0x11, kMenu = 0x12, kReturn = 0x0D;
constexpr std::uint32_t kLeftShift = 0xA0, kRightShift = 0xA1, kLeftControl = 0xA2,
                        kRightControl = 0xA3, kLeftMenu = 0xA4, kRightMenu = 0xA5;
// The right Shift's scan code; the left one's is 0x2A.
constexpr std::uint32_t kRightShiftScan = 0x36;

// The main keys that the number pad gives with Num Lock off (Home, Up,
// Page Up, Left, Clear, Right, End, Down, Page Down, Insert, Delete): the
// pad's keys come without the extended flag, the main ones with it (but
// Clear, which only the pad has).
bool is_pad_navigation(std::uint32_t code) {
    return (code >= 0x21 && code <= 0x28) || code == 0x2D || code == 0x2E || code == 0x0C;
}

std::wstring widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

const Setting& key_setting(std::size_t row) {
    // The key bindings follow the twelve game settings in the value table.
    return kSettings[vantor::settings::kValuesPerRecord + row];
}

}  // namespace

Binding binding_for(const KeyPress& press) {
    Binding binding{press.virtual_key, {}};
    switch (press.virtual_key) {
        case kShift:
            binding.code = press.scan_code == kRightShiftScan ? kRightShift : kLeftShift;
            break;
        case kControl:
            binding.code = press.extended ? kRightControl : kLeftControl;
            break;
        case kMenu:
            binding.code = press.extended ? kRightMenu : kLeftMenu;
            break;
        case kReturn:
            if (press.extended) {
                binding.note =
                    L"Num Enter is stored as Enter (13): the game sees both Enter keys "
                    L"as one.";
            }
            break;
        default:
            if (is_pad_navigation(press.virtual_key) && !press.extended &&
                press.virtual_key != 0x0C) {
                binding.note = L"That number pad key, with Num Lock off, is stored as " +
                               key_label(press.virtual_key) + L" (" +
                               std::to_wstring(press.virtual_key) +
                               L"), the same key as the main one to the game; with Num Lock on "
                               L"it is a number pad key of its own.";
            }
            break;
    }
    return binding;
}

std::wstring key_label(std::uint32_t code) {
    const std::string name = vantor::keys::key_name(code);
    return name.empty() ? L"code " + std::to_wstring(code) : widen(name);
}

std::uint32_t get_key(const KeyConfigSettings& keys, std::size_t row) {
    std::uint32_t code;
    std::memcpy(&code, reinterpret_cast<const unsigned char*>(&keys) + key_setting(row).offset,
                sizeof code);
    return code;
}

void put_key(KeyConfigSettings& keys, std::size_t row, std::uint32_t code) {
    std::memcpy(reinterpret_cast<unsigned char*>(&keys) + key_setting(row).offset, &code,
                sizeof code);
}

std::vector<std::size_t> rows_sharing(const KeyConfigSettings& keys, std::size_t row) {
    std::vector<std::size_t> rows;
    for (std::size_t other = 0; other < vantor::settings::kValuesPerRecord; ++other) {
        if (other != row && vantor::keys::same_key(get_key(keys, row), get_key(keys, other))) {
            rows.push_back(other);
        }
    }
    return rows;
}

std::uint32_t changed_keys(const KeyConfigSettings& before, const KeyConfigSettings& after) {
    std::uint32_t mask = 0;
    for (std::size_t row = 0; row < vantor::settings::kValuesPerRecord; ++row) {
        if (get_key(before, row) != get_key(after, row)) mask |= key_setting(row).bit;
    }
    return mask;
}

static_assert(kSettings[vantor::settings::kValuesPerRecord].kind == Kind::kKey,
              "the key bindings follow the game settings in the value table");

}  // namespace vantor_setup
