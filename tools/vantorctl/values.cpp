#include "values.h"

#include "keys/key_names.h"
#include "registry/codes.h"
#include "suggest.h"
#include "text.h"

namespace vantorctl {
namespace {

using vantor::keys::key_code;
using vantor::reg::kTypeDword;
using vantor::reg::kTypeSz;
constexpr std::uint32_t kLowestKey = 1;
constexpr std::uint32_t kHighestKey = 254;

bool key_in_range(std::uint32_t code) { return code >= kLowestKey && code <= kHighestKey; }

std::string key_range_problem(std::uint32_t code) {
    return "key code " + std::to_string(code) + " is out of range (1 to 254)";
}

// The key names to suggest from: the Windows names only for a name that
// starts as they do.
std::vector<std::string> key_names_like(std::string_view name) {
    const bool windows = name.size() >= 3 && iequals(name.substr(0, 3), "VK_");
    std::vector<std::string> names;
    for (const vantor::keys::KeyNames& key : vantor::keys::all_key_names()) {
        for (const std::string& known : key.names) {
            if (iequals(std::string_view(known).substr(0, 3), "VK_") == windows) {
                names.push_back(known);
            }
        }
    }
    return names;
}

}  // namespace

std::string unknown_name(std::string_view name) {
    return "unknown name \"" + std::string(name) + "\"" +
           did_you_mean(name, value_names(), " (vantorctl list --names lists the names)");
}

std::optional<std::uint32_t> parse_number(std::string_view text) {
    unsigned base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) return std::nullopt;
    std::uint64_t number = 0;
    for (const char c : text) {
        unsigned digit;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (base == 16 && c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a' + 10);
        } else if (base == 16 && c >= 'A' && c <= 'F') {
            digit = static_cast<unsigned>(c - 'A' + 10);
        } else {
            return std::nullopt;
        }
        number = number * base + digit;
        if (number > UINT32_MAX) return std::nullopt;
    }
    return static_cast<std::uint32_t>(number);
}

std::optional<Assignment> parse_value(const Setting& field, std::string_view value,
                                      std::string* problem, Charset charset) {
    Assignment assignment;
    assignment.field = &field;
    switch (field.kind) {
        case Kind::kText:
            if (!from_terminal(value, charset, &assignment.text, problem)) return std::nullopt;
            if (assignment.text.size() > VANTOR_TEXT_MAX) {
                *problem = "text is " + std::to_string(assignment.text.size()) +
                           " bytes long, at most 255 are stored";
                return std::nullopt;
            }
            return assignment;
        case Kind::kNumber:
            if (const auto number = parse_number(value)) {
                assignment.number = *number;
                return assignment;
            }
            *problem = "not a number from 0 to 4294967295 (decimal or 0x hex)";
            return std::nullopt;
        case Kind::kKey:
            break;
    }
    // A key binding: a name first, since "5" is the key 5 and not code 5.
    if (const auto code = key_code(value)) {
        assignment.number = *code;
        return assignment;
    }
    if (const auto code = parse_number(value)) {
        if (!key_in_range(*code)) {
            *problem = key_range_problem(*code);
            return std::nullopt;
        }
        assignment.number = *code;
        return assignment;
    }
    *problem = "unknown key \"" + std::string(value) + "\"" +
               did_you_mean(value, key_names_like(value),
                            " (a key name such as A, 5, F1, Space, Up, Num0, or a code 1 to 254; "
                            "vantorctl list --key-names lists the names)");
    return std::nullopt;
}

std::optional<Assignment> check_stored_value(const Setting& field, std::uint32_t type,
                                             std::string_view data, std::string* problem,
                                             std::string* warning) {
    Assignment assignment;
    assignment.field = &field;
    if (field.kind == Kind::kText) {
        if (type != kTypeSz) {
            *problem = "must be a string";
            return std::nullopt;
        }
        // regedit's own strings end in a NUL; the game's texts hold none.
        if (!data.empty() && data.back() == '\0') data.remove_suffix(1);
        if (data.find('\0') != std::string_view::npos) {
            *problem = "a text cannot hold a NUL character";
            return std::nullopt;
        }
        if (data.size() > VANTOR_TEXT_MAX) {
            *problem =
                "text is " + std::to_string(data.size()) + " bytes long, at most 255 are stored";
            return std::nullopt;
        }
        assignment.text = std::string(data);
        return assignment;
    }
    if (type != kTypeDword || data.size() != 4) {
        *problem = "must be a dword";
        return std::nullopt;
    }
    const auto byte = [&](std::size_t i) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(data[i])) << (8 * i);
    };
    assignment.number = byte(0) | byte(1) | byte(2) | byte(3);
    if (field.kind == Kind::kKey && !key_in_range(assignment.number) && warning != nullptr) {
        *warning = key_range_problem(assignment.number) + ": taken as it is";
    }
    return assignment;
}

std::vector<const Setting*> find_fields(const std::vector<std::string>& names,
                                        std::vector<std::string>* problems) {
    std::vector<const Setting*> fields;
    for (const std::string& name : names) {
        if (const Setting* field = find_field(name)) {
            fields.push_back(field);
        } else {
            problems->push_back(unknown_name(name));
        }
    }
    return fields;
}

std::vector<Assignment> parse_assignments(const std::vector<std::string>& arguments,
                                          std::vector<std::string>* problems, Charset charset) {
    std::vector<Assignment> assignments;
    for (const std::string& argument : arguments) {
        // Named as given, cut short when long: a text may run to 255 bytes.
        const std::string quoted =
            "\"" + (argument.size() > 40 ? argument.substr(0, 37) + "..." : argument) + "\": ";
        const std::size_t equals = argument.find('=');
        if (equals == std::string::npos) {
            problems->push_back(quoted + "expected NAME=VALUE");
            continue;
        }
        const std::string_view name = std::string_view(argument).substr(0, equals);
        const Setting* field = find_field(name);
        if (field == nullptr) {
            problems->push_back(quoted + unknown_name(name));
            continue;
        }
        bool repeated = false;
        for (const Assignment& earlier : assignments) repeated |= earlier.field == field;
        if (repeated) {
            problems->push_back(quoted + "\"" + field->name + "\" is given more than once");
            continue;
        }
        std::string problem;
        if (auto assignment = parse_value(*field, std::string_view(argument).substr(equals + 1),
                                          &problem, charset)) {
            assignments.push_back(std::move(*assignment));
        } else {
            problems->push_back(quoted + problem);
        }
    }
    return assignments;
}

std::uint32_t apply(const std::vector<Assignment>& assignments, Record record, Records* records) {
    std::uint32_t mask = 0;
    for (const Assignment& assignment : assignments) {
        const Setting& field = *assignment.field;
        if (field.record != record) continue;
        if (field.kind == Kind::kText) {
            put_text(*records, field, assignment.text);
        } else {
            put_number(*records, field, assignment.number);
        }
        mask |= field.bit;
    }
    return mask;
}

}  // namespace vantorctl
