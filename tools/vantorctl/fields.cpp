#include "fields.h"

#include <cstring>
#include <iterator>

#include "text.h"

namespace vantorctl {
namespace {

using vantor::settings::kSettings;

const unsigned char* field_bytes(const Records& records, const Setting& field) {
    const void* record = field.record == Record::kGame ? static_cast<const void*>(&records.game)
                                                       : static_cast<const void*>(&records.keys);
    return static_cast<const unsigned char*>(record) + field.offset;
}

unsigned char* field_bytes(Records& records, const Setting& field) {
    return const_cast<unsigned char*>(field_bytes(static_cast<const Records&>(records), field));
}

}  // namespace

const Setting* fields_begin() { return std::begin(kSettings); }
const Setting* fields_end() { return std::end(kSettings); }

const Setting* find_field(std::string_view name) {
    for (const Setting& field : kSettings) {
        if (iequals(name, field.name) || iequals(name, field.field)) return &field;
    }
    return nullptr;
}

const char* record_word(Record record) { return record == Record::kGame ? "game" : "keys"; }

bool parse_record_word(std::string_view word, std::optional<Record>* only) {
    for (const Record record : {Record::kGame, Record::kKeys}) {
        if (iequals(word, record_word(record))) {
            *only = record;
            return true;
        }
    }
    only->reset();
    return iequals(word, "all");
}

std::vector<std::string> record_words() { return {"game", "keys", "all"}; }

std::vector<std::string> value_names() {
    std::vector<std::string> names;
    for (const Setting& field : kSettings) names.emplace_back(field.name);
    return names;
}

const char* record_key_path(Record record) { return vantor::settings::key_path(record); }

std::string get_text(const Records& records, const Setting& field) {
    // The library keeps every text NUL-terminated; stop at the field's end all
    // the same.
    const char* text = reinterpret_cast<const char*>(field_bytes(records, field));
    std::size_t length = 0;
    while (length < VANTOR_TEXT_SIZE && text[length] != '\0') ++length;
    return std::string(text, length);
}

std::uint32_t get_number(const Records& records, const Setting& field) {
    std::uint32_t number;
    std::memcpy(&number, field_bytes(records, field), sizeof number);
    return number;
}

void put_text(Records& records, const Setting& field, std::string_view text) {
    char* bytes = reinterpret_cast<char*>(field_bytes(records, field));
    const std::size_t length = text.size() < VANTOR_TEXT_MAX ? text.size() : VANTOR_TEXT_MAX;
    std::memset(bytes, 0, VANTOR_TEXT_SIZE);
    std::memcpy(bytes, text.data(), length);
}

void put_number(Records& records, const Setting& field, std::uint32_t number) {
    std::memcpy(field_bytes(records, field), &number, sizeof number);
}

bool is_default(const Records& records, const Setting& field) {
    return field.kind == Kind::kText ? get_text(records, field) == field.default_text
                                     : get_number(records, field) == field.default_number;
}

}  // namespace vantorctl
