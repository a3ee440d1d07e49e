#include "reg_file.h"

#include <algorithm>
#include <cstdio>
#include <unordered_set>
#include <utility>

#include "charset.h"
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
constexpr std::string_view kRoot = "HKEY_LOCAL_MACHINE";

std::string full_key_name(std::string_view path) {
    return std::string(kRoot) + "\\" + std::string(path);
}

bool starts_with(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// The file's lines without their ends, CRLF or LF.
std::vector<std::string_view> split_lines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

// Whether a section line names a key of another root than
// HKEY_LOCAL_MACHINE. Deletions ("[-...]") and malformed lines are left to
// the hive's parser, which rejects them.
bool under_other_root(std::string_view section) {
    if (starts_with(section, "[-") || section.back() != ']') return false;
    const std::size_t end = section.find_first_of("\\]");
    return !iequals(section.substr(1, end - 1), kRoot);
}

// The name and the data of a value line ("NAME"=DATA or @=DATA), or
// nothing for any other line.
std::optional<std::pair<std::string, std::string_view>> split_value(std::string_view line) {
    std::string name;
    std::size_t at = 1;
    if (starts_with(line, "\"")) {
        for (;;) {
            if (at >= line.size()) return std::nullopt;
            const char c = line[at++];
            if (c == '"') break;
            if (c != '\\') {
                name.push_back(c);
                continue;
            }
            if (at >= line.size()) return std::nullopt;
            const char escaped = line[at++];
            name.push_back(escaped == 'r' ? '\r' : escaped == 'n' ? '\n' : escaped);
        }
    } else if (!starts_with(line, "@")) {
        return std::nullopt;
    }
    if (at >= line.size() || line[at] != '=') return std::nullopt;
    return std::pair{std::move(name), line.substr(at + 1)};
}

// Whether a value's data are hex(1): (REG_SZ as bytes), "hex(01):" too.
bool is_string_as_hex(std::string_view data) {
    if (!starts_with(data, "hex(")) return false;
    const std::size_t close = data.find("):");
    if (close == std::string_view::npos || close < 5 || close > 12) return false;
    return parse_number("0x" + std::string(data.substr(4, close - 4))) == kTypeSz;
}

std::size_t lines_in(std::string_view text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
}

bool is_ancestor_of_known_key(std::string_view path) {
    for (const Record record : {Record::kGame, Record::kKeys}) {
        const std::string_view known = record_key_path(record);
        if (path.size() < known.size() && known[path.size()] == '\\' &&
            iequals(known.substr(0, path.size()), path)) {
            return true;
        }
    }
    return false;
}

// The paths of the keys that have subkeys, in upper case: found in one pass,
// so that a file of a hundred thousand keys is read in linear time. (Every
// parent of a parsed key is a key of the hive.)
std::unordered_set<std::string> keys_with_children(const hive::Hive& hive) {
    std::unordered_set<std::string> parents;
    for (const hive::StoredKey& key : hive.keys) {
        const std::size_t slash = key.path.rfind('\\');
        if (slash == std::string::npos) continue;
        std::string parent = key.path.substr(0, slash);
        for (char& c : parent) c = ascii_upper(c);
        parents.insert(std::move(parent));
    }
    return parents;
}

bool has_child(const std::unordered_set<std::string>& parents, const hive::StoredKey& key) {
    std::string path = key.path;
    for (char& c : path) c = ascii_upper(c);
    return parents.count(path) != 0;
}

class Importer {
  public:
    Importer(bool ignore_unknown, Import* result)
        : ignore_unknown_(ignore_unknown), result_(result) {}

    // The file holds characters, not the game's bytes.
    void set_unicode() { unicode_ = true; }
    bool unicode() const { return unicode_; }

    // A value in `section` (as its line has it) whose data are hex(1).
    void add_utf16_value(std::string_view section, std::string name) {
        const std::size_t root_end = section.find('\\');
        const std::string_view path =
            root_end == std::string_view::npos
                ? std::string_view()
                : section.substr(root_end + 1, section.size() - root_end - 2);
        utf16_values_.emplace_back(std::string(path), std::move(name));
    }

    // Something the game does not know: a problem, or skipped when allowed.
    void unknown(std::size_t line, const std::string& what, const std::string& why) {
        if (ignore_unknown_) {
            result_->ignored.push_back(what);
        } else {
            result_->problems.push_back({line, what + ": " + why + " (--ignore-unknown skips it)"});
        }
    }

    void problem(std::size_t line, std::string message) {
        result_->problems.push_back({line, std::move(message)});
    }

    void take_values(const hive::StoredKey& key, Record record) {
        for (const hive::Value& value : key.values) {
            const std::string what = full_key_name(key.path) + "\\" +
                                     (value.name.empty() ? "@" : "\"" + value.name + "\"");
            const Setting* field = find_registry_value(record, value.name);
            if (field == nullptr) {
                std::vector<std::string> names;
                for (const Setting* known = fields_begin(); known != fields_end(); ++known) {
                    if (known->record == record) names.emplace_back(known->name);
                }
                unknown(0, what, "not one of the game's values" + did_you_mean(value.name, names));
                continue;
            }
            std::string why;
            std::string data = value.data;
            if (unicode_ && field->kind == Kind::kText && value.type == kTypeSz &&
                !game_text(key.path, value, &data, &why)) {
                problem(0, what + ": " + why);
                continue;
            }
            std::string warning;
            if (auto assignment = check_stored_value(*field, value.type, data, &why, &warning)) {
                result_->assignments.push_back(std::move(*assignment));
                if (!warning.empty()) result_->warnings.push_back(what + ": " + warning);
            } else {
                problem(0, what + ": " + why);
            }
        }
    }

  private:
    // A REG_SZ of a Unicode file in the game's charset.
    bool game_text(std::string_view path, const hive::Value& value, std::string* text,
                   std::string* why) const {
        std::string utf8 = value.data;
        for (const auto& [utf16_path, name] : utf16_values_) {
            if (iequals(utf16_path, path) && iequals(name, value.name) &&
                !utf16le_to_utf8(value.data, &utf8, why)) {
                *why = "hex(1) data are UTF-16LE in a Unicode file: " + *why;
                return false;
            }
        }
        return utf8_to_windows1252(utf8, text, why);
    }

    static const Setting* find_registry_value(Record record, std::string_view name) {
        for (const Setting* field = fields_begin(); field != fields_end(); ++field) {
            if (field->record == record && iequals(field->name, name)) return field;
        }
        return nullptr;
    }

    bool ignore_unknown_;
    Import* result_;
    bool unicode_ = false;
    std::vector<std::pair<std::string, std::string>> utf16_values_;  // key path, value name
};

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
    Importer importer(ignore_unknown, &result);

    std::string text;
    if (starts_with(bytes, "\xFF\xFE")) {
        std::string why;
        if (!utf16le_to_utf8(bytes.substr(2), &text, &why)) {
            importer.problem(lines_in(text), why);
            return result;
        }
        importer.set_unicode();
    } else if (starts_with(bytes, "\xEF\xBB\xBF")) {
        text = bytes.substr(3);
        importer.set_unicode();
    } else {
        text = bytes;
    }

    // The hive's grammar with its header, and without keys of other roots,
    // which are reported here with their line, nor the delete forms.
    std::vector<std::string_view> lines = split_lines(text);
    auto trimmed = [](std::string_view line) {
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
        return line;
    };
    if (lines.empty() || (trimmed(lines[0]) != kRegedit4 && trimmed(lines[0]) != kVersion5)) {
        importer.problem(1, "not a .reg file: the first line must be \"REGEDIT4\" or \"" +
                                std::string(kVersion5) + "\"");
        return result;
    }
    if (trimmed(lines[0]) == kVersion5) importer.set_unicode();
    lines[0] = kRegedit4;
    bool skipping = false;
    std::string_view section;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        if (starts_with(line, "[")) {
            section = trimmed(line);
            skipping = under_other_root(section);
            if (starts_with(section, "[-")) {
                importer.problem(i + 1, std::string(section) +
                                            ": deleting a key is not supported; the game's "
                                            "keys are only ever written");
                skipping = true;
            } else if (skipping) {
                importer.unknown(i + 1, std::string(section), "not one of the game's keys");
            }
        } else if (!skipping) {
            if (auto value = split_value(line)) {
                if (trimmed(value->second) == "-") {
                    importer.problem(i + 1, std::string(line) +
                                                ": deleting a value is not supported; the game "
                                                "needs every value");
                    lines[i] = {};
                } else if (importer.unicode() && is_string_as_hex(value->second)) {
                    importer.add_utf16_value(section, std::move(value->first));
                }
            }
        }
        if (skipping) lines[i] = {};
    }
    std::string rejoined;
    for (const std::string_view line : lines) rejoined.append(line).push_back('\n');

    hive::ParseError error;
    const std::optional<hive::Hive> parsed = hive::parse(rejoined, &error);
    if (!parsed) {
        importer.problem(error.line, error.message);
        return result;
    }
    const std::unordered_set<std::string> parents = keys_with_children(*parsed);
    for (const hive::StoredKey& key : parsed->keys) {
        if (iequals(key.path, record_key_path(Record::kGame))) {
            importer.take_values(key, Record::kGame);
        } else if (iequals(key.path, record_key_path(Record::kKeys))) {
            importer.take_values(key, Record::kKeys);
        } else if (!key.values.empty() ||
                   (!is_ancestor_of_known_key(key.path) && !has_child(parents, key))) {
            importer.unknown(0, "[" + full_key_name(key.path) + "]", "not one of the game's keys");
        }
    }
    return result;
}

}  // namespace vantorctl
