// The key bindings as vantor-setup edits them: which key a press stands
// for, which actions share a key, and the names shown for keys.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "vantor.h"

namespace vantor_setup {

// A key press as the window got it: the virtual-key code of WM_KEYDOWN
// (or WM_SYSKEYDOWN), its scan code and its extended-key flag.
struct KeyPress {
    std::uint32_t virtual_key;
    std::uint32_t scan_code;
    bool extended;
};

// What a key press binds: the code stored, and a note when the game will
// not tell the pressed key from another one ("Num Enter is stored as Enter
// ..."), else empty.
struct Binding {
    std::uint32_t code;
    std::wstring note;
};

// A modifier pressed alone is stored by its side (Left Shift, Right Ctrl),
// which WM_KEYDOWN reports only as the generic Shift, Ctrl or Alt: Shift's
// side is in its scan code, Ctrl's and Alt's in the extended flag. Every
// other key is stored as its virtual-key code: the number pad's keys have
// codes of their own while Num Lock is on; Num Enter, and the pad's keys
// with Num Lock off, share the codes of the main keys, as the game sees
// them too.
Binding binding_for(const KeyPress& press);


// The name shown for a key code: the key table's, else "code N".
std::wstring key_label(std::uint32_t code);

// The twelve bindings in the value table's order, and the rows each row's
// key is shared with.
std::uint32_t get_key(const KeyConfigSettings& keys, std::size_t row);
void put_key(KeyConfigSettings& keys, std::size_t row, std::uint32_t code);
std::vector<std::size_t> rows_sharing(const KeyConfigSettings& keys, std::size_t row);

// The mask bits of the bindings that differ between two records.
std::uint32_t changed_keys(const KeyConfigSettings& before, const KeyConfigSettings& after);

}  // namespace vantor_setup
