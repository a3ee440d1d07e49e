#include "reg_file.h"

#include <algorithm>
#include <cstdio>
#include <deque>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "charset.h"
#include "hive/charset.h"
#include "hive/format.h"
#include "registry/codes.h"
#include "suggest.h"
#include "text.h"

namespace vantorctl {
namespace {

namespace hive = vantor::hive;

using vantor::reg::kTypeDword;
using vantor::reg::kTypeSz;
constexpr std::string_view kRegedit4 = "REGEDIT4";
constexpr std::string_view kVersion5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kMachine = "HKEY_LOCAL_MACHINE";
constexpr std::string_view kBom = "\xEF\xBB\xBF";  // U+FEFF in UTF-8
constexpr std::uint32_t kTypeExpandSz = 2;
constexpr std::uint32_t kTypeMultiSz = 7;

bool starts_with(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// Whether `text` starts with `prefix`, in any case.
bool istarts_with(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && iequals(text.substr(0, prefix.size()), prefix);
}

std::string upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = ascii_upper(c);
    return out;
}

bool is_blank(char c) { return c == ' ' || c == '\t'; }

std::string_view skip_blanks(std::string_view text) {
    while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
    return text;
}

std::string_view trim_end(std::string_view text) {
    while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
    return text;
}

// Whether nothing but blanks and a ";" comment is left of a line.
bool at_end(std::string_view rest) {
    rest = skip_blanks(rest);
    return rest.empty() || rest.front() == ';';
}

bool is_hex_digit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

unsigned hex_value(char c) {
    return static_cast<unsigned>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
}

// The file's lines without their ends: CRLF, LF or a lone CR, as regedit
// reads them.
std::vector<std::string_view> split_lines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find_first_of("\r\n");
        lines.push_back(text.substr(0, end));
        if (end == std::string_view::npos) break;
        const std::size_t next = text.compare(end, 2, "\r\n") == 0 ? end + 2 : end + 1;
        text.remove_prefix(next);
    }
    return lines;
}

// The line on which `text` ends: one more than its line ends.
std::size_t line_at_end(std::string_view text) {
    std::size_t line = 1;
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] == '\n' || (text[at] == '\r' && text.compare(at, 2, "\r\n") != 0)) ++line;
    }
    return line;
}

// The header of a .reg file, with the blanks regedit skips before it (and
// those after it too), and the byte-order mark a file joined on keeps.
bool is_header(std::string_view line) {
    line = skip_blanks(line);
    if (starts_with(line, kBom)) line.remove_prefix(kBom.size());
    line = trim_end(line);
    return line == kRegedit4 || line == kVersion5;
}

bool is_utf8(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        char32_t c;
        if (!hive::next_utf8(text, &at, &c)) return false;
    }
    return true;
}

// Where else a file from Windows holds the game's keys: 64-bit Windows
// keeps a 32-bit program's under Wow6432Node, and a standard user's own
// copy of the machine's keys (UAC virtualization) lies in the VirtualStore.
// Each stands for HKEY_LOCAL_MACHINE\Software.
constexpr std::string_view kSoftware = "HKEY_LOCAL_MACHINE\\Software\\";
constexpr std::string_view kCopiesOfSoftware[] = {
    "HKEY_CURRENT_USER\\Software\\Classes\\VirtualStore\\MACHINE\\Software\\Wow6432Node\\",
    "HKEY_CURRENT_USER\\Software\\Classes\\VirtualStore\\MACHINE\\Software\\",
    "HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\",
};

// The machine's key that `key` (a full key name) stands for: the key
// itself, or for a copy the key of HKEY_LOCAL_MACHINE\Software it copies.
std::string machine_key(std::string_view key) {
    const std::string with_slash = std::string(key) + "\\";
    for (const std::string_view copy : kCopiesOfSoftware) {
        if (istarts_with(with_slash, copy)) {
            std::string machine = std::string(kSoftware) + with_slash.substr(copy.size());
            machine.pop_back();
            return machine;
        }
    }
    return std::string(key);
}

std::string game_key(Record record) {
    return std::string(kMachine) + "\\" + record_key_path(record);
}

// The record whose key `key` (a full key name) names, in any spelling.
std::optional<Record> game_record(std::string_view key) {
    const std::string machine = machine_key(key);
    for (const Record record : {Record::kGame, Record::kKeys}) {
        if (iequals(machine, game_key(record))) return record;
    }
    return std::nullopt;
}

// Whether `key` is one of the game's keys, in any spelling, or holds one.
bool holds_game_key(std::string_view key) {
    const std::string machine = machine_key(key) + "\\";
    for (const Record record : {Record::kGame, Record::kKeys}) {
        if (istarts_with(game_key(record) + "\\", machine)) return true;
    }
    const std::string with_slash = std::string(key) + "\\";
    for (const std::string_view copy : kCopiesOfSoftware) {
        if (istarts_with(copy, with_slash)) return true;
    }
    return false;
}

// A key's name between the brackets as the registry takes it: blank
// components dropped ("Software\\QUORIX\" is "Software\QUORIX"), except
// right below the root, which regedit cannot open. Nothing on failure.
std::optional<std::string> key_name(std::string_view text) {
    const std::size_t slash = text.find('\\');
    std::string name(text.substr(0, slash));
    if (name.empty()) return std::nullopt;
    if (slash == std::string_view::npos) return name;
    std::string_view rest = text.substr(slash + 1);
    if (!rest.empty() && rest.front() == '\\' &&
        rest.find_first_not_of('\\') != std::string_view::npos) {
        return std::nullopt;
    }
    while (!rest.empty()) {
        const std::size_t end = rest.find('\\');
        const std::string_view component = rest.substr(0, end);
        if (!component.empty()) name.append("\\").append(component);
        if (end == std::string_view::npos) break;
        rest.remove_prefix(end + 1);
    }
    return name;
}

// Reads a quoted string at the start of `*rest` ('"' first) and moves past
// it. regedit takes \\, \", \n and \r in it.
bool read_quoted(std::string_view* rest, std::string* out, std::string* why) {
    out->clear();
    for (std::size_t at = 1; at < rest->size(); ++at) {
        const char c = (*rest)[at];
        if (c == '"') {
            rest->remove_prefix(at + 1);
            return true;
        }
        if (c != '\\') {
            out->push_back(c);
            continue;
        }
        if (++at == rest->size()) break;
        const char escaped = (*rest)[at];
        if (escaped == '\\' || escaped == '"') {
            out->push_back(escaped);
        } else if (escaped == 'n') {
            out->push_back('\n');
        } else if (escaped == 'r') {
            out->push_back('\r');
        } else {
            *why = std::string("\\") + escaped +
                   " in a quoted string: .reg files know only \\\\, \\\", \\n and \\r";
            return false;
        }
    }
    *why = "a quoted string without its closing quote";
    return false;
}

// Reads comma-separated bytes as regedit does: one or two hex digits (or
// more, leading zeros), blanks after a comma and at the end, a last comma,
// and a "\" where a byte could start, which continues the list on the next
// line. `continued`: `rest` is such a line, which must start with a byte.
bool read_hex_list(std::string_view rest, bool continued, std::string* bytes, bool* continues,
                   std::string* why) {
    *continues = false;
    bool first = continued;
    for (;;) {
        rest = skip_blanks(rest);
        if (!first && (rest.empty() || rest.front() == ';')) return true;
        if (!first && rest.front() == '\\') {
            *continues = true;
            if (at_end(rest.substr(1))) return true;
            *why = "text after the \\ that continues a hex list";
            return false;
        }
        first = false;
        unsigned value = 0;
        std::size_t digits = 0;
        while (digits < rest.size() && is_hex_digit(rest[digits])) {
            value = value * 16 + hex_value(rest[digits++]);
            if (value > 0xFF) break;
        }
        if (digits == 0 || value > 0xFF) {
            *why = "a hex list holds bytes (00 to ff) separated by commas";
            return false;
        }
        bytes->push_back(static_cast<char>(value));
        rest.remove_prefix(digits);
        if (!rest.empty() && rest.front() == ',') {
            rest.remove_prefix(1);
        } else if (at_end(rest)) {
            return true;
        } else {
            *why = "a hex list holds bytes (00 to ff) separated by commas";
            return false;
        }
    }
}

// What a value line gives after its "=".
struct Data {
    bool deleted = false;  // "NAME"=-
    bool quoted = false;   // a quoted string: REG_SZ
    std::uint32_t type = 0;
    std::string bytes;       // the string's text, or the bytes of a hex list
    bool continues = false;  // a hex list going on on the next line
};

bool read_data(std::string_view rest, Data* data, std::string* why) {
    rest = skip_blanks(rest);
    if (starts_with(rest, "-")) {
        data->deleted = true;
        if (at_end(rest.substr(1))) return true;
        *why = "text after the - that deletes a value";
        return false;
    }
    if (starts_with(rest, "\"")) {
        data->quoted = true;
        data->type = kTypeSz;
        if (!read_quoted(&rest, &data->bytes, why)) return false;
        if (at_end(rest)) return true;
        *why = "text after the closing quote (a comment starts with ;)";
        return false;
    }
    if (starts_with(rest, "dword:")) {
        data->type = kTypeDword;
        rest = skip_blanks(rest.substr(6));
        std::size_t digits = 0;
        std::uint32_t value = 0;
        while (digits < rest.size() && digits < 9 && is_hex_digit(rest[digits])) {
            value = value << 4 | hex_value(rest[digits++]);
        }
        if (digits == 0 || digits > 8 || !at_end(rest.substr(digits))) {
            *why = "dword: takes 1 to 8 hex digits";
            return false;
        }
        for (int i = 0; i < 4; ++i) data->bytes.push_back(static_cast<char>(value >> (8 * i)));
        return true;
    }
    if (starts_with(rest, "hex:")) {
        data->type = vantor::reg::kTypeBinary;
        rest.remove_prefix(4);
    } else if (starts_with(rest, "hex(")) {
        const std::size_t close = rest.find("):");
        const std::string_view number =
            close == std::string_view::npos ? std::string_view() : rest.substr(4, close - 4);
        if (number.empty() || number.size() > 8 ||
            !std::all_of(number.begin(), number.end(), is_hex_digit)) {
            *why = "hex(N): takes a type of 1 to 8 hex digits";
            return false;
        }
        for (const char c : number) data->type = data->type << 4 | hex_value(c);
        rest.remove_prefix(close + 2);
    } else {
        *why =
            "unknown data: a value is a quoted string, dword:, hex: or hex(N):, or - to delete it";
        return false;
    }
    return read_hex_list(rest, false, &data->bytes, &data->continues, why);
}

// A registry type as a person writes it in a .reg file.
std::string type_words(std::uint32_t type) {
    switch (type) {
        case 0:
            return "REG_NONE data (hex(0):)";
        case kTypeSz:
            return "a string (REG_SZ)";
        case kTypeExpandSz:
            return "an expandable string (REG_EXPAND_SZ)";
        case vantor::reg::kTypeBinary:
            return "binary data (REG_BINARY, hex:)";
        case kTypeDword:
            return "a dword (REG_DWORD)";
        case 5:
            return "a big-endian dword (REG_DWORD_BIG_ENDIAN, hex(5):)";
        case kTypeMultiSz:
            return "a list of strings (REG_MULTI_SZ, hex(7):)";
        case 0xB:
            return "a qword (REG_QWORD, hex(b):)";
        default: {
            char text[48];
            std::snprintf(text, sizeof text, "data of type %u (hex(%x):)", type, type);
            return text;
        }
    }
}

const Setting* find_registry_value(Record record, std::string_view name) {
    for (const Setting* field = fields_begin(); field != fields_end(); ++field) {
        if (field->record == record && iequals(field->name, name)) return field;
    }
    return nullptr;
}

// How a file's text is written.
enum class Encoding {
    kBytes,  // the game's windows-1252 bytes (regedit's ANSI code page)
    kUtf8,   // UTF-8: with a byte-order mark, or a version 5 file that is UTF-8
    kUtf16,  // UTF-16LE with a byte-order mark, here converted to UTF-8
};

// The last a file says of one of the game's values.
struct Given {
    const Setting* field = nullptr;
    std::size_t line = 0;
    std::string what;  // the key and name, for messages
    Data data;
};

// A key a file names (deletions aside), once however often it is named.
struct Section {
    std::string name;   // as the file spells it the first time
    std::string upper;  // in upper case, to find it by
    std::size_t line = 0;
    std::optional<Record> record;  // the game's key it names, if any
    bool has_values = false;
};

// Something the game does not know, at its line: a problem, or skipped.
struct Unknown {
    std::size_t line;
    std::string what;
    std::string why;
};

// Reads a .reg file as regedit reads it, keeping what concerns the game.
class Reader {
  public:
    Reader(bool ignore_unknown, Import* result)
        : ignore_unknown_(ignore_unknown), result_(result) {}

    void read(std::string_view bytes);

  private:
    static constexpr std::size_t kNoKey = static_cast<std::size_t>(-1);

    void problem(std::size_t line, std::string message) {
        result_->problems.push_back({line, printable_utf8(message)});
    }
    // A line regedit would skip or complain of: the first is reported, and
    // the rest of the file is not read.
    void malformed(std::size_t line, std::string message) {
        problem(line, std::move(message));
        stopped_ = true;
    }
    void unknown(std::size_t line, std::string what, std::string why);
    void read_line(std::string_view line, std::size_t number);
    void read_section(std::string_view line, std::size_t number);
    void read_value(std::string_view line, std::size_t number);
    void continue_value(std::string_view line, std::size_t number);
    void take_value(std::string name, Data data, std::size_t number);
    void finish();
    void check(const Given& given);
    bool game_text(const Given& given, std::string* text, std::string* why) const;

    bool ignore_unknown_;
    Import* result_;
    Encoding encoding_ = Encoding::kBytes;
    bool utf8_without_bom_ = false;
    std::deque<Section> sections_;                                     // which stay where they are
    std::unordered_map<std::string_view, std::size_t> section_index_;  // by Section::upper
    std::size_t section_ = kNoKey;  // the one the next values go to
    std::vector<Given> given_;      // in the order first named
    std::vector<Unknown> unknowns_;
    std::unordered_set<std::string> unknown_seen_;  // upper case
    // A hex list going on on the next lines, and where it started.
    std::optional<std::pair<std::string, Data>> pending_;
    std::size_t pending_line_ = 0;
    bool stopped_ = false;
};

void Reader::unknown(std::size_t line, std::string what, std::string why) {
    if (unknown_seen_.insert(upper(what)).second) {
        unknowns_.push_back({line, std::move(what), std::move(why)});
    }
}

void Reader::read(std::string_view bytes) {
    std::string text;
    if (starts_with(bytes, "\xFF\xFE")) {
        std::string why;
        if (!utf16le_to_utf8(bytes.substr(2), &text, &why)) {
            problem(line_at_end(text), why);
            return;
        }
        encoding_ = Encoding::kUtf16;
    } else if (starts_with(bytes, kBom)) {
        text = bytes.substr(kBom.size());
        encoding_ = Encoding::kUtf8;
    } else {
        text = bytes;
    }
    const std::vector<std::string_view> lines = split_lines(text);
    if (lines.empty() || !is_header(lines[0]) || starts_with(skip_blanks(lines[0]), kBom)) {
        problem(1, "not a .reg file: the first line must be \"REGEDIT4\" or \"" +
                       std::string(kVersion5) + "\"");
        return;
    }
    if (const std::size_t nul = text.find('\0'); nul != std::string::npos) {
        problem(line_at_end(std::string_view(text).substr(0, nul)),
                "a NUL byte: a .reg file is text (UTF-16 needs its byte-order mark)");
        return;
    }
    // regedit reads a file without a byte-order mark in the ANSI code page
    // (the game's windows-1252); a version 5 file that is UTF-8, as editors
    // here write it, is taken as UTF-8.
    if (encoding_ == Encoding::kBytes && trim_end(skip_blanks(lines[0])) == kVersion5 &&
        is_utf8(text)) {
        encoding_ = Encoding::kUtf8;
        utf8_without_bom_ = true;
    }
    for (std::size_t i = 1; i < lines.size() && !stopped_; ++i) read_line(lines[i], i + 1);
    if (!stopped_) finish();
}

void Reader::read_line(std::string_view line, std::size_t number) {
    if (pending_) {
        continue_value(line, number);
        return;
    }
    const std::string_view rest = skip_blanks(line);
    if (rest.empty() || rest.front() == ';' || rest.front() == '#') return;
    if (rest.front() == '[') {
        read_section(rest, number);
    } else if (rest.front() == '"' || rest.front() == '@') {
        read_value(rest, number);
    } else if (!is_header(rest)) {  // the header of a second file joined on
        malformed(number,
                  "malformed line: a .reg file holds [KEY] lines, \"NAME\"=VALUE lines "
                  "and ; comments");
    }
}

void Reader::read_section(std::string_view line, std::size_t number) {
    // regedit takes the key up to the last "]" and ignores the rest.
    const std::size_t close = line.rfind(']');
    if (close == std::string_view::npos) {
        malformed(number, "a key line without its closing ]");
        return;
    }
    std::string_view text = line.substr(1, close - 1);
    const bool deleting = starts_with(text, "-");
    if (deleting) text.remove_prefix(1);
    const std::optional<std::string> name = key_name(text);
    if (!name) {
        malformed(number, "[" + std::string(line.substr(1, close - 1)) +
                              "]: not a key name (a root key, then names separated by \\)");
        return;
    }
    if (deleting) {
        section_ = kNoKey;
        if (holds_game_key(*name)) {
            problem(number, "[-" + *name +
                                "]: deletes the game's keys, which vantorctl import "
                                "only writes (vantorctl reset stores the defaults)");
        } else {
            unknown(number, "[-" + *name + "]", "deletes a key that is not one of the game's");
        }
        return;
    }
    std::string key = upper(*name);
    if (const auto known = section_index_.find(key); known != section_index_.end()) {
        section_ = known->second;
        return;
    }
    section_ = sections_.size();
    sections_.push_back({*name, std::move(key), number, game_record(*name), false});
    section_index_.emplace(sections_.back().upper, section_);
}

void Reader::read_value(std::string_view line, std::size_t number) {
    std::string name;
    std::string why;
    if (line.front() == '@') {
        line.remove_prefix(1);
    } else if (!read_quoted(&line, &name, &why)) {
        malformed(number, "malformed value name: " + why);
        return;
    }
    line = skip_blanks(line);
    if (!starts_with(line, "=")) {
        malformed(number, "malformed value line: = must follow the name");
        return;
    }
    Data data;
    if (!read_data(line.substr(1), &data, &why)) {
        malformed(number, "malformed value line: " + why);
        return;
    }
    if (data.continues) {
        pending_.emplace(std::move(name), std::move(data));
        pending_line_ = number;
        return;
    }
    take_value(std::move(name), std::move(data), number);
}

// A line after one ending in "\": blank lines and comments are skipped, as
// regedit does, and the list goes on.
void Reader::continue_value(std::string_view line, std::size_t number) {
    const std::string_view rest = skip_blanks(line);
    if (rest.empty() || rest.front() == ';') return;
    Data& data = pending_->second;
    std::string why;
    if (!read_hex_list(rest, true, &data.bytes, &data.continues, &why)) {
        malformed(number, "malformed hex list, continued from line " +
                              std::to_string(pending_line_) + ": " + why);
        pending_.reset();
        return;
    }
    if (data.continues) return;
    std::pair<std::string, Data> value = std::move(*pending_);
    pending_.reset();
    take_value(std::move(value.first), std::move(value.second), pending_line_);
}

void Reader::take_value(std::string name, Data data, std::size_t number) {
    if (section_ == kNoKey) {
        malformed(number,
                  "a value before any [KEY] line, or after a [-KEY] line: it belongs to no "
                  "key");
        return;
    }
    Section& section = sections_[section_];
    section.has_values = true;
    const std::optional<Record> record = section.record;
    if (!record) return;  // the key is reported as a whole
    const std::string what =
        section.name + "\\" + (name.empty() ? std::string("@") : "\"" + name + "\"");
    const Setting* field = find_registry_value(*record, name);
    if (field == nullptr) {
        std::vector<std::string> names;
        for (const Setting* known = fields_begin(); known != fields_end(); ++known) {
            if (known->record == *record) names.emplace_back(known->name);
        }
        unknown(number, what,
                data.deleted ? "deletes a value that is not one of the game's"
                             : "not one of the game's values" + did_you_mean(name, names));
        return;
    }
    // A value named again replaces what was said before, as regedit's last
    // write wins.
    const auto same = std::find_if(given_.begin(), given_.end(),
                                   [&](const Given& given) { return given.field == field; });
    Given& given = same != given_.end() ? *same : given_.emplace_back();
    given = {field, number, what, std::move(data)};
}

void Reader::finish() {
    if (pending_) {  // regedit takes a list cut short by the end of the file
        std::pair<std::string, Data> value = std::move(*pending_);
        pending_.reset();
        take_value(std::move(value.first), std::move(value.second), pending_line_);
    }
    // A key of its own (with values, or without subkeys) that is not the
    // game's: regedit would make it.
    std::vector<std::string_view> names;
    names.reserve(sections_.size());
    for (const Section& section : sections_) names.push_back(section.upper);
    std::sort(names.begin(), names.end());
    const auto has_subkey = [&](const Section& section) {
        const std::string prefix = section.upper + "\\";
        const auto at = std::lower_bound(names.begin(), names.end(), prefix);
        return at != names.end() && starts_with(*at, prefix);
    };
    for (const Section& section : sections_) {
        if (section.record) continue;
        if (section.has_values || (!holds_game_key(section.name) && !has_subkey(section))) {
            // Each key once already.
            unknowns_.push_back(
                {section.line, "[" + section.name + "]", "not one of the game's keys"});
        }
    }
    for (const Given& given : given_) check(given);

    std::stable_sort(unknowns_.begin(), unknowns_.end(),
                     [](const Unknown& a, const Unknown& b) { return a.line < b.line; });
    for (Unknown& unknown : unknowns_) {
        if (ignore_unknown_) {
            result_->ignored.push_back(printable_utf8(unknown.what));
        } else {
            problem(unknown.line,
                    unknown.what + ": " + unknown.why + " (--ignore-unknown skips it)");
        }
    }
    std::stable_sort(
        result_->problems.begin(), result_->problems.end(),
        [](const ImportProblem& a, const ImportProblem& b) { return a.line < b.line; });
    if (!result_->problems.empty()) {
        result_->assignments.clear();
        result_->lines.clear();
    }
}

// A game text's bytes from a quoted string or hex(1) or hex(2) data.
bool Reader::game_text(const Given& given, std::string* text, std::string* why) const {
    if (encoding_ == Encoding::kBytes || (!given.data.quoted && encoding_ == Encoding::kUtf8)) {
        // regedit reads hex string data of a file without UTF-16 in the ANSI
        // code page too.
        *text = given.data.bytes;
        return true;
    }
    std::string utf8 = given.data.bytes;
    if (!given.data.quoted && !utf16le_to_utf8(given.data.bytes, &utf8, why)) {
        *why = "hex(" + std::to_string(given.data.type) +
               ") data are UTF-16LE in a UTF-16 file: " + *why;
        return false;
    }
    return utf8_to_windows1252(utf8, text, why);
}

void Reader::check(const Given& given) {
    const Setting& field = *given.field;
    const Data& data = given.data;
    if (data.deleted) {
        problem(given.line, given.what +
                                ": deleting a value is not supported: the game needs "
                                "every value (vantorctl reset NAME stores its default)");
        return;
    }
    std::string why;
    std::string bytes = data.bytes;
    std::uint32_t type = data.type;
    if (field.kind == Kind::kText) {
        if (type != kTypeSz && type != kTypeExpandSz) {
            problem(given.line, given.what + ": " + type_words(type) +
                                    ", where the game keeps a string (write \"TEXT\")");
            return;
        }
        if (!game_text(given, &bytes, &why)) {
            problem(given.line, given.what + ": " + why);
            return;
        }
        // What the game reads of a REG_EXPAND_SZ is its text as it stands.
        type = kTypeSz;
    } else if (type != kTypeDword) {
        problem(given.line, given.what + ": " + type_words(type) +
                                ", where the game keeps a dword (write dword: and 8 hex digits)");
        return;
    } else if (bytes.size() != 4) {
        problem(given.line, given.what + ": a dword of " + std::to_string(bytes.size()) +
                                " bytes; a dword holds 4");
        return;
    }
    std::string warning;
    if (auto assignment = check_stored_value(field, type, bytes, &why, &warning)) {
        result_->assignments.push_back(std::move(*assignment));
        result_->lines.push_back(given.line);
        if (!warning.empty())
            result_->warnings.push_back(printable_utf8(given.what + ": " + warning));
    } else {
        problem(given.line, given.what + ": " + why);
        return;
    }
    if (utf8_without_bom_ && data.quoted &&
        std::any_of(data.bytes.begin(), data.bytes.end(),
                    [](char c) { return static_cast<unsigned char>(c) >= 0x80; })) {
        result_->warnings.push_back(printable_utf8(
            given.what + ": read as UTF-8 (\"" + data.bytes +
            "\"); regedit reads a file without a byte-order mark as windows-1252, which gives \"" +
            windows1252_to_utf8(data.bytes) + "\" (save it as UTF-16 for both to agree)"));
    }
}

// The records as a hive of their two keys. For regedit, a text holding a
// line break gets a final NUL, which makes it hex(1) bytes: regedit knows
// no escapes but \\ and \" in a quoted string. With kUtf8 the texts are
// UTF-8.
hive::Hive records_hive(const Records& records, std::optional<Record> only, bool for_regedit,
                        Charset charset) {
    hive::Hive hive;
    for (const Record record : {Record::kGame, Record::kKeys}) {
        if (only && *only != record) continue;
        hive::StoredKey& key = hive.ensure(record_key_path(record));
        for (const Setting* field = fields_begin(); field != fields_end(); ++field) {
            if (field->record != record) continue;
            if (field->kind == Kind::kText) {
                std::string text = to_terminal(get_text(records, *field), charset);
                if (for_regedit && text.find_first_of("\r\n") != std::string::npos) {
                    text.push_back('\0');
                }
                key.set(field->name, kTypeSz, text);
            } else {
                const std::uint32_t number = get_number(records, *field);
                const char bytes[] = {
                    static_cast<char>(number & 0xFF), static_cast<char>(number >> 8 & 0xFF),
                    static_cast<char>(number >> 16 & 0xFF), static_cast<char>(number >> 24 & 0xFF)};
                key.set(field->name, kTypeDword, std::string_view(bytes, sizeof bytes));
            }
        }
    }
    return hive;
}

std::string with_crlf(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (const char c : text) {
        if (c == '\n') out.push_back('\r');
        out.push_back(c);
    }
    return out;
}

}  // namespace

std::string export_reg(const Records& records, std::optional<Record> only) {
    return with_crlf(hive::serialize(records_hive(records, only, true, Charset::kBytes)));
}

std::string edit_reg(const Records& records, Charset charset) {
    std::string text = hive::serialize(records_hive(records, std::nullopt, false, charset));
    if (charset == Charset::kBytes) return with_crlf(text);
    return std::string(kVersion5) + text.substr(kRegedit4.size());
}

Import import_reg(std::string_view bytes, bool ignore_unknown) {
    Import result;
    Reader(ignore_unknown, &result).read(bytes);
    return result;
}

}  // namespace vantorctl
