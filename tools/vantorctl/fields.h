// The values of both records as the tool knows them: registry name, record
// field, kind, write-mask bit and default. The same table drives show, set,
// export and import.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "vantor.h"

namespace vantorctl {

enum class RecordId { kGame, kKeys };

enum class Kind {
    kText,    // a text field of 256 bytes: at most 255 bytes and a NUL
    kNumber,  // a 32-bit number
    kKey,     // a 32-bit virtual-key code
};

struct Field {
    const char* name;   // the registry value name ("User Name")
    const char* alias;  // the record field name ("UserName")
    RecordId record;
    Kind kind;
    std::uint32_t bit;             // write-mask bit in the record's writer
    std::size_t offset;            // of the field inside its record
    const char* default_text;      // for kText
    std::uint32_t default_number;  // for kNumber and kKey
};

struct Records {
    GameConfigSettings game{};
    KeyConfigSettings keys{};
};

// All values, game settings first, each record in the order the library
// stores them.
const Field* fields_begin();
const Field* fields_end();

// The value called `name` (registry or field name, in any case), or nullptr.
const Field* find_field(std::string_view name);

// "User Name", "Session Name", ...: every registry name, for error messages.
std::string field_names();

// Where each record lives below HKEY_LOCAL_MACHINE.
const char* record_key_path(RecordId record);

// Reading and changing a field of a record.
std::string get_text(const Records& records, const Field& field);
std::uint32_t get_number(const Records& records, const Field& field);
void put_text(Records& records, const Field& field, std::string_view text);
void put_number(Records& records, const Field& field, std::uint32_t number);

// Whether the field holds its default.
bool is_default(const Records& records, const Field& field);

}  // namespace vantorctl
