// The value table (values.def) for C++: one Setting per stored value, the
// orders in which a record's values are read and written, and where each
// record lives in the registry.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>

#include "vantor.h"

namespace vantor::settings {

enum class Record { kGame, kKeys };

enum class Kind {
    kText,    // a 256-byte text field, stored as REG_SZ without its NUL
    kNumber,  // a 32-bit number, stored as REG_DWORD
    kKey,     // a 32-bit virtual-key code, stored as REG_DWORD
};

// What a reader leaves in a field whose value it cannot read.
enum class Fallback {
    kDefault,  // the value's default
    kHost,     // whatever the host put there
};

struct Setting {
    Record record;
    const char* name;   // the registry value's name
    const char* field;  // the record field's name
    Kind kind;
    std::uint32_t bit;             // in the record's write mask
    std::size_t offset;            // of the field inside its record
    const char* default_text;      // for kText; "" otherwise
    std::uint32_t default_number;  // for kNumber and kKey; 0 otherwise
    Fallback fallback;
    std::size_t write_place;  // in the record's write order, from 0
};

// Both records' values, the game settings first, each record in read order.
// clang-format off
inline constexpr Setting kSettings[] = {
#define VANTOR_GAME_TEXT(name, field, bit, text, write)                                   \
    Setting{Record::kGame, name, #field, Kind::kText, bit,                                \
            offsetof(GameConfigSettings, field), text, 0, Fallback::kDefault, write},
#define VANTOR_GAME_NUMBER(name, field, bit, number, fallback, write)                     \
    Setting{Record::kGame, name, #field, Kind::kNumber, bit,                              \
            offsetof(GameConfigSettings, field), "", number, Fallback::k##fallback, write},
#define VANTOR_KEY_CODE(field, bit, code, write)                                          \
    Setting{Record::kKeys, #field, #field, Kind::kKey, bit,                               \
            offsetof(KeyConfigSettings, field), "", code, Fallback::kDefault, write},
#include "settings/values.def"
#undef VANTOR_GAME_TEXT
#undef VANTOR_GAME_NUMBER
#undef VANTOR_KEY_CODE
};
// clang-format on

inline constexpr std::size_t kValuesPerRecord = 12;

// Where each record lives below HKEY_LOCAL_MACHINE.
constexpr const char* key_path(Record record) {
    return record == Record::kGame ? "Software\\QUORIX\\Game" : "Software\\QUORIX\\Keyboard";
}

// A record's values in the order they are read or written.
using Order = std::array<const Setting*, kValuesPerRecord>;

constexpr Order read_order(Record record) {
    Order order{};
    std::size_t next = 0;
    for (const Setting& setting : kSettings) {
        if (setting.record == record) order[next++] = &setting;
    }
    return order;
}

constexpr Order write_order(Record record) {
    Order order{};
    for (const Setting& setting : kSettings) {
        if (setting.record == record) order[setting.write_place] = &setting;
    }
    return order;
}

// True when the table describes `record` whole: twelve values, each with a
// bit of VANTOR_MASK_ALL and a place in the write order of its own, and
// defaults that fit their fields.
constexpr bool describes_whole(Record record) {
    std::size_t count = 0;
    std::uint32_t bits = 0;
    std::uint32_t places = 0;
    for (const Setting& setting : kSettings) {
        if (setting.record != record) continue;
        ++count;
        if ((bits & setting.bit) != 0 || setting.write_place >= kValuesPerRecord) return false;
        bits |= setting.bit;
        places |= std::uint32_t{1} << setting.write_place;
        std::size_t length = 0;
        while (setting.default_text[length] != '\0') ++length;
        if (length > VANTOR_TEXT_MAX) return false;
    }
    return count == kValuesPerRecord && bits == VANTOR_MASK_ALL &&
           places == (std::uint32_t{1} << kValuesPerRecord) - 1;
}

static_assert(describes_whole(Record::kGame), "values.def: the game settings are not whole");
static_assert(describes_whole(Record::kKeys), "values.def: the key bindings are not whole");
static_assert(std::size(kSettings) == 2 * kValuesPerRecord, "values.def: two records only");

}  // namespace vantor::settings
