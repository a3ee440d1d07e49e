// The values of both records as the tool knows them: the library's own value
// table (registry name, record field, kind, write-mask bit and default), and
// reading and changing a value's field in a record. The same table drives
// show, set, export and import.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/value_table.h"
#include "vantor.h"

namespace vantorctl {

using vantor::settings::Kind;
using vantor::settings::Record;
using vantor::settings::Setting;

struct Records {
    GameConfigSettings game{};
    KeyConfigSettings keys{};
};

// All values, game settings first, each record in the order the library
// reads them.
const Setting* fields_begin();
const Setting* fields_end();

// The value called `name` (registry or field name, in any case), or nullptr.
const Setting* find_field(std::string_view name);


// "game" or "keys", as the commands name the records.
const char* record_word(Record record);

// The one reading of a record word, for every command that takes one:
// "game" or "keys" sets *only to that record, "all" to nothing (both), in
// any case. False for any other word.
bool parse_record_word(std::string_view word, std::optional<Record>* only);

// "game", "keys" and "all", to suggest from.
std::vector<std::string> record_words();

// Every registry name, to suggest from.
std::vector<std::string> value_names();

// Where each record lives below HKEY_LOCAL_MACHINE.
const char* record_key_path(Record record);

// Reading and changing a field of a record.
std::string get_text(const Records& records, const Setting& field);
std::uint32_t get_number(const Records& records, const Setting& field);
void put_text(Records& records, const Setting& field, std::string_view text);
void put_number(Records& records, const Setting& field, std::uint32_t number);

// Whether the field holds its default.
bool is_default(const Records& records, const Setting& field);

}  // namespace vantorctl
