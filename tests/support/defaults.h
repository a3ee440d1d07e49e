// The records at their defaults, as the value table gives them: what a
// fresh store and the defaults functions must produce. A changed default
// changes only the table, and the tests follow, but for
// settings/golden_defaults_test.cpp, which pins the defaults by hand.
#pragma once

#include <cstring>

#include "settings/value_table.h"
#include "vantor.h"

namespace vantor::test {

inline constexpr const char* kGameKey = settings::key_path(settings::Record::kGame);
inline constexpr const char* kKeyboardKey = settings::key_path(settings::Record::kKeys);

namespace detail {

template <typename Fields>
Fields defaults_of(settings::Record record) {
    Fields fields{};
    auto* bytes = reinterpret_cast<unsigned char*>(&fields);
    for (const settings::Setting& setting : settings::kSettings) {
        if (setting.record != record) continue;
        if (setting.kind == settings::Kind::kText) {
            std::strcpy(reinterpret_cast<char*>(bytes + setting.offset), setting.default_text);
        } else {
            std::memcpy(bytes + setting.offset, &setting.default_number, 4);
        }
    }
    return fields;
}

}  // namespace detail

// Every value at its default, the game's host numbers too, as the defaults
// functions store them.
inline GameConfigSettings game_defaults() {
    return detail::defaults_of<GameConfigSettings>(settings::Record::kGame);
}

inline KeyConfigSettings key_defaults() {
    return detail::defaults_of<KeyConfigSettings>(settings::Record::kKeys);
}

// True when the field of `setting` in `record` (a record of the setting's
// type) holds the value's default, a text up to its NUL.
inline bool holds_default(const void* record, const settings::Setting& setting) {
    const auto* field = static_cast<const unsigned char*>(record) + setting.offset;
    if (setting.kind == settings::Kind::kText) {
        return std::strncmp(reinterpret_cast<const char*>(field), setting.default_text,
                            VANTOR_TEXT_SIZE) == 0;
    }
    return std::memcmp(field, &setting.default_number, 4) == 0;
}

// Whether a reader fills the value with its default (not so the game's host
// numbers, which keep what the host put there).
inline bool reader_fills(const settings::Setting& setting, settings::Record record) {
    return setting.record == record && setting.fallback == settings::Fallback::kDefault;
}

// True when each value of `game` that a reader fills holds its default.
inline bool has_reader_defaults(const GameConfigSettings& game) {
    for (const settings::Setting& setting : settings::kSettings) {
        if (reader_fills(setting, settings::Record::kGame) && !holds_default(&game, setting)) {
            return false;
        }
    }
    return true;
}

}  // namespace vantor::test
