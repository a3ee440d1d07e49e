#include "commands.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iomanip>
#include <istream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <ostream>

#include "key_names.h"
#include "reg_file.h"
#include "registry/codes.h"
#include "values.h"

namespace vantorctl {
namespace {

constexpr Record kRecords[] = {Record::kGame, Record::kKeys};

const char* record_title(Record record) {
    return record == Record::kGame ? "game settings" : "key bindings";
}

std::string full_key(Record record) {
    return std::string("HKEY_LOCAL_MACHINE\\") + record_key_path(record);
}

// A registry status the library passed on, with its meaning when known.
std::string status_text(std::int32_t status) {
    std::string text = "status " + std::to_string(status);
    if (const vantor::reg::StatusInfo* info = vantor::reg::find_status(status)) {
        text += std::string(" (") + info->text + ")";
    }
    return text;
}

// How a reader call went: read from the store, or the key was missing and
// the library seeded it with the defaults, or tried to and could not.
enum class ReadState { kRead, kCreated, kNotSaved };

const char* state_name(ReadState state) {
    switch (state) {
        case ReadState::kRead:
            return "read";
        case ReadState::kCreated:
            return "created";
        case ReadState::kNotSaved:
            return "not-saved";
    }
    return "";
}

// Reads one record as the game does. After a 0 from the reader, a second
// read tells whether its seeding write made the key.
ReadState read_record(const Api& api, Record record, Records* records) {
    if (record == Record::kGame) {
        records->game = GameConfigSettings{};
        if (api.get_game(&records->game) != 0) return ReadState::kRead;
        GameConfigSettings again{};
        return api.get_game(&again) != 0 ? ReadState::kCreated : ReadState::kNotSaved;
    }
    records->keys = KeyConfigSettings{};
    if (api.get_keys(&records->keys) != 0) return ReadState::kRead;
    KeyConfigSettings again{};
    return api.get_keys(&again) != 0 ? ReadState::kCreated : ReadState::kNotSaved;
}

// A text on one line: control characters as C escapes.
std::string displayed(const std::string& text) {
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (byte < 0x20 || byte == 0x7F) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", byte);
            out += hex;
        } else {
            out += c;
        }
    }
    return out.empty() ? "\"\"" : out;
}

std::string key_label(std::uint32_t code) {
    const std::string name = key_name(code);
    return name.empty() ? "-" : name;
}

void print_table(Record record, const Records& records, ReadState state, std::ostream& out,
                 bool* any_changed) {
    out << (record == Record::kGame ? "Game settings" : "Key bindings") << "  [" << full_key(record)
        << "]\n";
    if (state == ReadState::kCreated) {
        out << "  (the key was missing: created with the defaults)\n";
    } else if (state == ReadState::kNotSaved) {
        out << "  (the key is missing and could not be created: defaults shown, nothing saved)\n";
    }
    std::size_t name_width = 0;
    std::size_t key_width = 0;
    for (const Setting* field = fields_begin(); field != fields_end(); ++field) {
        if (field->record != record) continue;
        name_width = std::max(name_width, std::string(field->name).size());
        if (field->kind == Kind::kKey) {
            key_width = std::max(key_width, key_label(get_number(records, *field)).size());
        }
    }
    for (const Setting* field = fields_begin(); field != fields_end(); ++field) {
        if (field->record != record) continue;
        const bool changed = !is_default(records, *field);
        *any_changed |= changed;
        out << (changed ? "  * " : "    ") << std::left << std::setw(static_cast<int>(name_width))
            << field->name << "  ";
        switch (field->kind) {
            case Kind::kText:
                out << displayed(get_text(records, *field));
                break;
            case Kind::kNumber:
                out << get_number(records, *field);
                break;
            case Kind::kKey: {
                const std::uint32_t code = get_number(records, *field);
                out << std::setw(static_cast<int>(key_width)) << key_label(code) << "  "
                    << std::right << std::setw(3) << code;
                break;
            }
        }
        out << std::left << "\n";
    }
}

nlohmann::ordered_json record_json(Record record, const Records& records, ReadState state) {
    nlohmann::ordered_json values = nlohmann::ordered_json::object();
    for (const Setting* field = fields_begin(); field != fields_end(); ++field) {
        if (field->record != record) continue;
        nlohmann::ordered_json value;
        if (field->kind == Kind::kText) {
            value["value"] = get_text(records, *field);
        } else {
            value["value"] = get_number(records, *field);
        }
        if (field->kind == Kind::kKey) value["key_name"] = key_name(get_number(records, *field));
        value["default"] = is_default(records, *field);
        values[field->name] = std::move(value);
    }
    return {{"registry_key", full_key(record)},
            {"state", state_name(state)},
            {"values", std::move(values)}};
}

// Reads the current record, puts the assignments in and writes it once with
// their mask. Returns false (after saying why) when the writer fails.
bool write_record(const Api& api, Record record, const std::vector<Assignment>& assignments,
                  std::ostream& err) {
    Records records;
    read_record(api, record, &records);
    const std::uint32_t mask = apply(assignments, record, &records);
    if (mask == 0) return true;
    const std::int32_t status = record == Record::kGame ? api.set_game(&records.game, mask)
                                                        : api.set_keys(&records.keys, mask);
    if (status != 0) {
        err << "vantorctl: writing the " << record_title(record)
            << " failed: " << status_text(status) << "\n";
        return false;
    }
    return true;
}

int write_records(const Api& api, const std::vector<Assignment>& assignments, std::ostream& err) {
    for (const Record record : kRecords) {
        if (!write_record(api, record, assignments, err)) return kExitFailed;
    }
    return kExitOk;
}

}  // namespace

int run_show(const LoadApi& load, std::optional<Record> only, bool json, Streams io) {
    const Api* api = load();
    if (api == nullptr) return kExitFailed;
    Records records;
    nlohmann::ordered_json document = nlohmann::ordered_json::object();
    bool any_changed = false;
    bool first = true;
    int exit_code = kExitOk;
    for (const Record record : kRecords) {
        if (only && *only != record) continue;
        const ReadState state = read_record(*api, record, &records);
        if (state == ReadState::kNotSaved) {
            io.err << "vantorctl: " << full_key(record)
                   << " is missing and the library could not create it\n";
            exit_code = kExitFailed;
        }
        if (json) {
            document[record == Record::kGame ? "game" : "keys"] =
                record_json(record, records, state);
            continue;
        }
        if (!first) io.out << "\n";
        first = false;
        print_table(record, records, state, io.out, &any_changed);
    }
    if (json) {
        // The texts are the game's bytes: anything that is not UTF-8 shows as U+FFFD.
        io.out << document.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace)
               << "\n";
    } else if (any_changed) {
        io.out << "\n  * differs from the default\n";
    }
    return exit_code;
}

int run_set(const LoadApi& load, const std::vector<std::string>& arguments, Streams io) {
    std::vector<std::string> problems;
    const std::vector<Assignment> assignments = parse_assignments(arguments, &problems);
    if (!problems.empty()) {
        for (const std::string& problem : problems) io.err << "vantorctl set: " << problem << "\n";
        io.err << "vantorctl set: nothing was written\n";
        return kExitBadInput;
    }
    const Api* api = load();
    if (api == nullptr) return kExitFailed;
    return write_records(*api, assignments, io.err);
}

int run_reset(const LoadApi& load, const std::string& which, Streams io) {
    const Api* api = load();
    if (api == nullptr) return kExitFailed;
    std::int32_t status;
    if (which == "game") {
        status = api->set_default_game();
    } else if (which == "keys") {
        status = api->set_default_keys();
    } else {
        status = api->set_all_defaults();
    }
    if (status != 0) {
        io.err << "vantorctl reset: the library could not store the defaults: "
               << status_text(status) << "\n";
        return kExitFailed;
    }
    return kExitOk;
}

int run_create(const LoadApi& load, Streams io) {
    const Api* api = load();
    if (api == nullptr) return kExitFailed;
    if (api->create_reg_keys() == 0) {
        io.err << "vantorctl create: the library could not create the keys\n";
        return kExitFailed;
    }
    return kExitOk;
}

int run_export(const LoadApi& load, const std::string& file, Streams io) {
    const Api* api = load();
    if (api == nullptr) return kExitFailed;
    Records records;
    int exit_code = kExitOk;
    for (const Record record : kRecords) {
        if (read_record(*api, record, &records) == ReadState::kNotSaved) {
            io.err << "vantorctl export: " << full_key(record)
                   << " is missing and could not be created; exporting its defaults\n";
            exit_code = kExitFailed;
        }
    }
    const std::string text = export_reg(records);
    if (file.empty() || file == "-") {
        io.out << text;
        io.out.flush();
        if (!io.out) {
            io.err << "vantorctl export: writing to standard output failed\n";
            return kExitFailed;
        }
        return exit_code;
    }
    std::ofstream stream(file, std::ios::binary | std::ios::trunc);
    stream << text;
    stream.close();
    if (!stream) {
        io.err << "vantorctl export: cannot write " << file << "\n";
        return kExitFailed;
    }
    return exit_code;
}

int run_import(const LoadApi& load, const std::string& file, bool ignore_unknown, Streams io) {
    const bool from_stdin = file == "-";
    const std::string shown = from_stdin ? std::string("<stdin>") : file;
    std::string bytes;
    if (from_stdin) {
        bytes.assign(std::istreambuf_iterator<char>(io.in), std::istreambuf_iterator<char>());
    } else {
        std::ifstream stream(file, std::ios::binary);
        if (!stream) {
            io.err << "vantorctl import: cannot read " << file << "\n";
            return kExitBadInput;
        }
        bytes.assign(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
    }

    const Import parsed = import_reg(bytes, ignore_unknown);
    for (const ImportProblem& problem : parsed.problems) {
        io.err << shown;
        if (problem.line != 0) io.err << ":" << problem.line;
        io.err << ": " << problem.message << "\n";
    }
    if (!parsed.problems.empty()) {
        io.err << "vantorctl import: nothing was written\n";
        return kExitBadInput;
    }
    for (const std::string& ignored : parsed.ignored) {
        io.err << "vantorctl import: ignored " << ignored << "\n";
    }
    if (parsed.assignments.empty()) {
        io.err << "vantorctl import: " << shown << " holds none of the game's values\n";
        return kExitOk;
    }
    const Api* api = load();
    if (api == nullptr) return kExitFailed;
    return write_records(*api, parsed.assignments, io.err);
}

}  // namespace vantorctl
