#include "commands.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iomanip>
#include <iostream>
#include <nlohmann/json.hpp>
#include <ostream>

#include "files.h"
#include "keys/key_names.h"
#include "platform.h"
#include "reg_file.h"
#include "registry/codes.h"
#include "settings/value_text.h"
#include "store.h"
#include "suggest.h"
#include "values.h"

namespace vantorctl {
namespace {

using Json = nlohmann::ordered_json;
using vantor::keys::all_key_names;
using vantor::keys::key_name;
using vantor::keys::KeyNames;

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

// After a write failed: the file, what stopped it and what to do, where
// the store can tell.
void explain_failure(Record record, std::int32_t status, std::ostream& err) {
    const std::string why = store::write_failure(record_key_path(record), status);
    if (!why.empty()) err << "vantorctl: " << why << "\n";
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

// Reads the records `wanted` asks for; false (after saying why) when a key
// is missing and the library could not create it.
bool read_records(const Api& api, const bool (&wanted)[2], Records* records, Streams io,
                  const char* command) {
    bool all_read = true;
    for (const Record record : kRecords) {
        if (!wanted[static_cast<int>(record)]) continue;
        if (read_record(api, record, records) == ReadState::kNotSaved) {
            io.err << "vantorctl " << command << ": " << full_key(record)
                   << " is missing and the library could not create it" << store::named() << "\n";
            explain_failure(record, 0, io.err);
            all_read = false;
        }
    }
    return all_read;
}

// A text on one line, safe for a terminal: control characters as C
// escapes, and so are the bytes windows-1252 leaves undefined when the
// terminal takes characters (they stand for C1 controls).
std::string escaped(const std::string& text, Charset charset) {
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (byte < 0x20 || byte == 0x7F ||
                   (charset == Charset::kUtf8 && is_undefined_windows1252(byte))) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", byte);
            out += hex;
        } else {
            out += to_terminal(std::string_view(&c, 1), charset);
        }
    }
    return out;
}

// A text as show prints it: escaped, and "" for an empty one.
std::string displayed(const std::string& text, Charset charset) {
    std::string out = escaped(text, charset);
    return out.empty() ? "\"\"" : out;
}

std::string key_label(std::uint32_t code) {
    const std::string name = key_name(code);
    return name.empty() ? "-" : name;
}

bool is_key_code(std::uint32_t code) { return code >= 1 && code <= 254; }

// The other actions that go off with `field`: bound to the same key, or
// one to a generic modifier and the other to one of its sides (Shift and
// Left Shift).
std::vector<const Setting*> same_key(const Records& records, const Setting& field) {
    std::vector<const Setting*> others;
    const std::uint32_t code = get_number(records, field);
    if (!is_key_code(code)) return others;
    for (const Setting* other = fields_begin(); other != fields_end(); ++other) {
        if (other == &field || other->kind != Kind::kKey) continue;
        const std::uint32_t other_code = get_number(records, *other);
        if (is_key_code(other_code) && vantor::keys::same_key(code, other_code)) {
            others.push_back(other);
        }
    }
    return others;
}

// The keys a player may press to give `code`: the two sides of a generic
// modifier, else the key itself.
std::vector<std::uint32_t> keys_giving(std::uint32_t code) {
    std::vector<std::uint32_t> keys;
    for (std::uint32_t side = 1; side <= 254; ++side) {
        if (vantor::keys::generic_key(side) == code) keys.push_back(side);
    }
    if (keys.empty()) keys.push_back(code);
    return keys;
}

// The actions that pressing the key `pressed` sets off.
std::vector<const Setting*> actions_on(const Records& records, std::uint32_t pressed) {
    std::vector<const Setting*> actions;
    for (const Setting* field = fields_begin(); field != fields_end(); ++field) {
        if (field->kind != Kind::kKey) continue;
        const std::uint32_t code = get_number(records, *field);
        if (code == pressed || (code != 0 && vantor::keys::generic_key(pressed) == code)) {
            actions.push_back(field);
        }
    }
    return actions;
}

// "A", "A and B", "A, B and C".
std::string listed(const std::vector<const Setting*>& fields) {
    std::string text;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) text += i + 1 == fields.size() ? " and " : ", ";
        text += fields[i]->name;
    }
    return text;
}

std::string key_with_code(std::uint32_t code) {
    return key_label(code) + " (" + std::to_string(code) + ")";
}

// One line for the actions that the key `pressed` sets off.
std::string conflict(const Records& records, std::uint32_t pressed,
                     const std::vector<const Setting*>& actions) {
    const char* both = actions.size() == 2 ? "both" : "all";
    std::vector<const Setting*> as_generic;
    for (const Setting* action : actions) {
        if (get_number(records, *action) != pressed) as_generic.push_back(action);
    }
    if (as_generic.empty()) {
        return listed(actions) + " are " + both + " bound to " + key_with_code(pressed);
    }
    const std::uint32_t generic = get_number(records, *as_generic[0]);
    return listed(actions) + " " + both + " go off with " + key_with_code(pressed) + ": " +
           listed(as_generic) + (as_generic.size() == 1 ? " is" : " are") + " bound to " +
           key_with_code(generic);
}

// Warns of each key that a change has put another action on, one line per
// key naming every action it sets off; a key shared before is not told of
// again.
void warn_new_conflicts(const Records& before, const Records& after, std::ostream& err) {
    std::vector<std::string> told;
    for (const Setting* field = fields_begin(); field != fields_end(); ++field) {
        if (field->kind != Kind::kKey || !is_key_code(get_number(after, *field))) continue;
        for (const std::uint32_t pressed : keys_giving(get_number(after, *field))) {
            const std::vector<const Setting*> now = actions_on(after, pressed);
            if (now.size() < 2) continue;
            const std::vector<const Setting*> then = actions_on(before, pressed);
            const bool added = std::any_of(now.begin(), now.end(), [&](const Setting* action) {
                return std::find(then.begin(), then.end(), action) == then.end();
            });
            std::string line = conflict(after, pressed, now);
            if (!added || std::find(told.begin(), told.end(), line) != told.end()) continue;
            err << "vantorctl: warning: " << line << "\n";
            told.push_back(std::move(line));
        }
    }
}

// A value as `get` prints it, in a form `set` takes back: a text as it is
// but for its control characters, escaped as show escapes them (a text may
// come from any .reg file, and must not drive the terminal); a number in
// decimal; a key binding by its name or else its code in hex.
std::string value_text(const Setting& field, const std::string& text, std::uint32_t number,
                       Charset charset) {
    if (field.kind == Kind::kText) return escaped(text, charset);
    if (field.kind == Kind::kNumber) return std::to_string(number);
    if (std::string name = key_name(number); !name.empty()) return name;
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%02X", static_cast<unsigned>(number));
    return hex;
}

std::string value_text(const Records& records, const Setting& field, Charset charset) {
    return value_text(field, field.kind == Kind::kText ? get_text(records, field) : "",
                      field.kind == Kind::kText ? 0 : get_number(records, field), charset);
}

// What the machine's store gives for a value that the user's own hides, as
// show notes it: "the machine's "LAN party"", "the machine's Space (32)", or
// "the default 0" where the machine's holds none.
std::string hidden_text(const Setting& field, const store::Sources::Machine& machine,
                        Charset charset) {
    std::string text = machine.held ? "the machine's " : "the default ";
    switch (field.kind) {
        case Kind::kText:
            return text + "\"" + escaped(machine.text, charset) + "\"";
        case Kind::kNumber:
            return text + std::to_string(machine.number);
        case Kind::kKey:
            return text + key_with_code(machine.number);
    }
    return text;
}

// A name as a shell takes it back: quoted when it holds a space.
std::string shell_word(const std::string& name) {
    return name.find(' ') == std::string::npos ? name : "\"" + name + "\"";
}

// "Lives "Session Name"", for a command line to suggest.
std::string shell_words(const std::vector<const Setting*>& fields) {
    std::string text;
    for (const Setting* field : fields) text += (text.empty() ? "" : " ") + shell_word(field->name);
    return text;
}

// The hive files before the records, natively: "Machine store  FILE" and
// "User store     FILE", or "Store  FILE" for one.
void print_stores(const store::Sources& sources, std::ostream& out) {
    for (const store::Sources::Store& store : sources.stores()) {
        if (const std::optional<store::WinePrefix>& prefix = store.prefix) {
            const std::string title = prefix->proton ? "Proton prefix" : "Wine prefix";
            out << title << std::string(15 - title.size(), ' ') << prefix->folder;
            if (!prefix->arch.empty()) out << " (" << prefix->arch << ")";
            out << "\nStore" << std::string(10, ' ') << store.file.path << ", the game's keys in "
                << prefix->keys << "\n";
            continue;
        }
        const std::string title = !sources.layered()                    ? "Store"
                                  : store.file.role == store::kUserRole ? "User store"
                                                                        : "Machine store";
        out << title << std::string(sources.layered() ? 15 - title.size() : 2, ' ')
            << store.file.path;
        if (store.unreadable) out << "  (you may not read it: your own values only)";
        out << "\n";
    }
    if (!sources.stores().empty()) out << "\n";
}

// Whether show --changed lists the value: off its default, or, the user's
// own over the machine's, off the machine's.
bool changed(const Records& records, const Setting& field, const store::Sources& sources) {
    return !is_default(records, field) || sources.off_machine(field, records);
}

void print_table(Record record, const Records& records, ReadState state,
                 const store::Sources& sources, bool changed_only, Streams io, bool* any_changed,
                 bool* any_hidden) {
    std::ostream& out = io.out;
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
    bool listed = false;
    for (const Setting* field = fields_begin(); field != fields_end(); ++field) {
        if (field->record != record) continue;
        if (changed_only && !changed(records, *field, sources)) continue;
        listed = true;
        const bool off_default = !is_default(records, *field);
        *any_changed |= off_default;
        out << (off_default ? "  * " : "    ") << std::left;
        // With a user's hive besides the machine's, which one the value is from.
        if (sources.layered()) {
            const char* source = store::source_name(sources.of(*field));
            out << std::setw(9) << (source != nullptr ? source : "-");
        }
        out << std::setw(static_cast<int>(name_width)) << field->name << "  ";
        switch (field->kind) {
            case Kind::kText:
                out << displayed(get_text(records, *field), io.charset);
                break;
            case Kind::kNumber:
                out << get_number(records, *field);
                break;
            case Kind::kKey: {
                const std::uint32_t code = get_number(records, *field);
                out << std::setw(static_cast<int>(key_width)) << key_label(code) << "  "
                    << std::right << std::setw(3) << code;
                const char* separator = "  (same key as ";
                for (const Setting* other : same_key(records, *field)) {
                    out << separator << other->name;
                    separator = ", ";
                }
                if (*separator == ',') out << ")";
                break;
            }
        }
        // A value of the user's own over a different one of the machine's.
        if (const std::optional<store::Sources::Machine> machine =
                sources.hidden(*field, records)) {
            out << "  (hides " << hidden_text(*field, *machine, io.charset) << ")";
            *any_hidden = true;
        }
        out << std::left << "\n";
    }
    if (!listed) out << "  (nothing changed)\n";
}

// One value for JSON: texts decoded from windows-1252, which keeps every
// byte; natively, the store it comes from (null: none holds it).
Json value_json(const Records& records, const Setting& field, const store::Sources& sources) {
    Json value;
    if (field.kind == Kind::kText) {
        value["value"] = windows1252_to_utf8(get_text(records, field));
    } else {
        value["value"] = get_number(records, field);
    }
    if (field.kind == Kind::kKey) {
        const std::string name = key_name(get_number(records, field));
        value["key_name"] = name.empty() ? Json(nullptr) : Json(name);
        Json others = Json::array();
        for (const Setting* other : same_key(records, field)) others.push_back(other->name);
        value["same_key_as"] = std::move(others);
    }
    value["default"] = is_default(records, field);
    const store::Source source = sources.of(field);
    if (source != store::Source::kUnknown) {
        const char* name = store::source_name(source);
        value["store"] = name != nullptr ? Json(name) : Json(nullptr);
    }
    // What the machine's store gives, where the user's own value hides it.
    if (const std::optional<store::Sources::Machine> machine = sources.hidden(field, records)) {
        value["machine_value"] = field.kind == Kind::kText
                                     ? Json(windows1252_to_utf8(machine->text))
                                     : Json(machine->number);
    }
    return value;
}

Json record_json(Record record, const Records& records, ReadState state,
                 const store::Sources& sources, bool changed_only) {
    Json values = Json::object();
    for (const Setting* field = fields_begin(); field != fields_end(); ++field) {
        if (field->record != record) continue;
        if (changed_only && !changed(records, *field, sources)) continue;
        values[field->name] = value_json(records, *field, sources);
    }
    return {{"registry_key", full_key(record)},
            {"state", state_name(state)},
            {"values", std::move(values)}};
}

// JSON in UTF-8, but for the C1 controls (U+0080 to U+009F, the bytes
// windows-1252 leaves undefined), escaped as \u0080... like the C0 ones: a
// terminal may take them as commands. Outside strings JSON holds only ASCII.
void print_json(const Json& document, std::ostream& out) {
    const std::string text = document.dump(2, ' ', false, Json::error_handler_t::replace);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        if (static_cast<unsigned char>(text[i]) == 0xC2 && next >= 0x80 && next <= 0x9F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", next);
            out << escape;
            ++i;
        } else {
            out << text[i];
        }
    }
    out << "\n";
}

// After a write of the values `written` (whose new values `records` holds)
// to the store `scope` chose. Where a value went to the user's own store and
// hides a different one of the machine's, says so and names the way back
// (`undo`, unset's arguments: the values' names when empty): for the
// defaults that reset stored always, for other values unless the user chose
// their own store. Where the machine's store was chosen and the user's own
// still shows over it, says that. Nothing with one store.
void note_layers(const char* command, store::Scope scope, bool defaults,
                 const std::vector<const Setting*>& written, const Records& records,
                 const std::string& undo, Streams io) {
    if (scope == store::Scope::kUser && !defaults) return;
    const store::Sources sources = store::Sources::read();
    if (!sources.layered()) return;
    const std::string prefix = std::string("vantorctl ") + command + ": ";
    std::vector<const Setting*> fields;
    if (scope == store::Scope::kMachine) {
        for (const Setting* field : written) {
            if (sources.of(*field) == store::Source::kUser) fields.push_back(field);
        }
        if (fields.empty()) return;
        const bool one = fields.size() == 1;
        io.err << prefix << "your own " << (one ? "value" : "values") << " of " << listed(fields)
               << " in " << sources.user_file() << (one ? " still shows" : " still show")
               << " over the machine's for you; vantorctl unset " << shell_words(fields)
               << " shows you the machine's\n";
        return;
    }
    std::string hidden;
    for (const Setting* field : written) {
        const std::optional<store::Sources::Machine> machine = sources.hidden(*field, records);
        if (!machine) continue;
        fields.push_back(field);
        hidden += std::string(hidden.empty() ? "" : ", ") + field->name +
                  (defaults ? "" : "=" + value_text(records, *field, io.charset)) + " over " +
                  hidden_text(*field, *machine, io.charset);
    }
    if (fields.empty()) return;
    io.err << prefix << (defaults ? "the defaults went to" : "kept in") << " your own store "
           << sources.user_file() << ", for you alone: " << hidden << "\n";
    io.err << prefix << "vantorctl unset " << (undo.empty() ? shell_words(fields) : undo)
           << " gives you the machine's " << (fields.size() == 1 ? "value" : "values");
    if (!defaults && store::may_write_machine()) {
        io.err << "; vantorctl " << command << " --machine changes the machine's";
    }
    io.err << "\n";
}

// Reads the current record, puts the assignments in and writes it once with
// their mask. Returns false (after saying why) when the writer fails.
bool write_record(const Api& api, Record record, const std::vector<Assignment>& assignments,
                  std::ostream& err) {
    Records records;
    read_record(api, record, &records);
    const Records before = records;
    const std::uint32_t mask = apply(assignments, record, &records);
    if (mask == 0) return true;
    const std::int32_t status = record == Record::kGame ? api.set_game(&records.game, mask)
                                                        : api.set_keys(&records.keys, mask);
    if (status != 0) {
        err << "vantorctl: writing the " << record_title(record)
            << " failed: " << status_text(status) << store::named() << "\n";
        explain_failure(record, status, err);
        return false;
    }
    if (record == Record::kKeys) warn_new_conflicts(before, records, err);
    return true;
}

// Writes the assignments, each record once, to the store `scope` chose;
// then tells where they went (note_layers()).
int write_records(const Api& api, const std::vector<Assignment>& assignments, const char* command,
                  store::Scope scope, Streams io) {
    for (const Record record : kRecords) {
        if (!write_record(api, record, assignments, io.err)) return kExitFailed;
    }
    Records records;
    std::vector<const Setting*> written;
    for (const Record record : kRecords) apply(assignments, record, &records);
    for (const Assignment& assignment : assignments) written.push_back(assignment.field);
    note_layers(command, scope, false, written, records, {}, io);
    return kExitOk;
}

int bad_input(const std::vector<std::string>& problems, const char* command, Streams io) {
    for (const std::string& problem : problems) {
        io.err << "vantorctl " << command << ": " << problem << "\n";
    }
    io.err << "vantorctl " << command << ": nothing was written\n";
    return kExitBadInput;
}

}  // namespace

int bad_record_word(const std::string& word, const char* command, Streams io) {
    io.err << "vantorctl " << command << ": \"" << word << "\" is not game, keys or all"
           << did_you_mean(word, record_words()) << "\n";
    return kExitBadInput;
}

bool record_argument(const std::string& word, const char* command, std::optional<Record>* only,
                     Streams io) {
    only->reset();
    if (word.empty() || parse_record_word(word, only)) return true;
    bad_record_word(word, command, io);
    return false;
}

int run_show(const LoadApi& load, std::optional<Record> only, bool json, bool changed_only,
             Streams io) {
    const Api* api = load();
    if (api == nullptr) return kExitFailed;
    Records records;
    ReadState states[2] = {};
    int exit_code = kExitOk;
    for (const Record record : kRecords) {
        if (only && *only != record) continue;
        states[static_cast<int>(record)] = read_record(*api, record, &records);
        if (states[static_cast<int>(record)] == ReadState::kNotSaved) {
            io.err << "vantorctl: " << full_key(record)
                   << " is missing and the library could not create it" << store::named() << "\n";
            explain_failure(record, 0, io.err);
            exit_code = kExitFailed;
        }
    }
    // After the reads, which may have seeded a hive.
    const store::Sources sources = store::Sources::read();
    Json document = Json::object();
    if (json && !sources.stores().empty()) {
        Json stores = Json::object();
        for (const store::Sources::Store& store : sources.stores()) {
            stores[std::string(store.file.role)] = store.file.path;
            if (const std::optional<store::WinePrefix>& prefix = store.prefix) {
                document["wine_prefix"] = Json{{"path", prefix->folder},
                                               {"arch", prefix->arch},
                                               {"keys", prefix->keys},
                                               {"proton", prefix->proton}};
            }
        }
        document["stores"] = std::move(stores);
    }
    if (!json) print_stores(sources, io.out);
    bool any_changed = false;
    bool any_hidden = false;
    bool first = true;
    for (const Record record : kRecords) {
        if (only && *only != record) continue;
        const ReadState state = states[static_cast<int>(record)];
        if (json) {
            document[record_word(record)] =
                record_json(record, records, state, sources, changed_only);
            continue;
        }
        if (!first) io.out << "\n";
        first = false;
        print_table(record, records, state, sources, changed_only, io, &any_changed, &any_hidden);
    }
    if (json) {
        print_json(document, io.out);
    } else {
        if (any_changed || any_hidden) io.out << "\n";
        if (any_changed) io.out << "  * differs from the default\n";
        if (any_hidden) {
            io.out << "  (hides ...) your own value over the machine's: vantorctl unset NAME "
                      "gives you the machine's\n";
        }
    }
    if (!json && changed_only && sources.layered()) {
        io.out << (any_changed || any_hidden ? "" : "\n")
               << "  listed too: your own values that differ from the machine's\n";
    }
    return exit_code;
}

int run_get(const LoadApi& load, const std::vector<std::string>& names, bool json, Streams io) {
    std::vector<std::string> problems;
    const std::vector<const Setting*> fields = find_fields(names, &problems);
    if (!problems.empty()) {
        for (const std::string& problem : problems) io.err << "vantorctl get: " << problem << "\n";
        return kExitBadInput;
    }
    const Api* api = load();
    if (api == nullptr) return kExitFailed;
    bool wanted[2] = {false, false};
    for (const Setting* field : fields) wanted[static_cast<int>(field->record)] = true;
    Records records;
    if (!read_records(*api, wanted, &records, io, "get")) return kExitFailed;
    if (json) {
        Json document = Json::object();
        const store::Sources sources = store::Sources::read();
        for (const Setting* field : fields) {
            document[field->name] = value_json(records, *field, sources);
        }
        print_json(document, io.out);
    } else {
        for (const Setting* field : fields) {
            io.out << value_text(records, *field, io.charset) << "\n";
        }
    }
    return kExitOk;
}

int run_set(const LoadApi& load, const std::vector<std::string>& arguments, store::Scope scope,
            Streams io) {
    std::vector<std::string> problems;
    const std::vector<Assignment> assignments = parse_assignments(arguments, &problems, io.charset);
    if (!problems.empty()) return bad_input(problems, "set", io);
    const Api* api = load();
    if (api == nullptr) return kExitFailed;
    return write_records(*api, assignments, "set", scope, io);
}

namespace {

// What reset and unset are given: record words alone ("game keys" is both;
// none is all), or value names alone.
struct Chosen {
    bool records[2] = {false, false};  // by record, whole
    bool whole = true;                 // record words, not value names
    std::vector<const Setting*> fields;
};

// Reads reset's or unset's words into *chosen; false (after saying what is
// wrong, and that nothing was written) for a bad word.
bool choose(const std::vector<std::string>& what, const char* command, Chosen* chosen, Streams io) {
    chosen->records[0] = chosen->records[1] = what.empty();
    for (const std::string& word : what) {
        std::optional<Record> only;
        chosen->whole &= parse_record_word(word, &only);
        for (const Record record : kRecords)
            chosen->records[static_cast<int>(record)] |= !only || *only == record;
    }
    if (chosen->whole) {
        for (const Setting* field = fields_begin(); field != fields_end(); ++field) {
            if (chosen->records[static_cast<int>(field->record)]) chosen->fields.push_back(field);
        }
        return true;
    }
    std::vector<std::string> problems;
    std::vector<std::string> words = value_names();
    for (std::string& word : record_words()) words.push_back(std::move(word));
    for (const std::string& word : what) {
        std::optional<Record> ignored;
        if (parse_record_word(word, &ignored)) {
            problems.push_back("\"" + word + "\": " + command +
                               " records (game, keys, all) or values by name, not both at once");
        } else if (const Setting* field = find_field(word)) {
            if (std::find(chosen->fields.begin(), chosen->fields.end(), field) ==
                chosen->fields.end()) {
                chosen->fields.push_back(field);
            }
        } else {
            problems.push_back("unknown name \"" + word + "\"" +
                               did_you_mean(word, words,
                                            " (give game, keys, all or value names: "
                                            "vantorctl list --names lists them)"));
        }
    }
    if (problems.empty()) return true;
    bad_input(problems, command, io);
    return false;
}

// unset's arguments that take back what reset stored: the record words, or
// the names.
std::string undo_words(const Chosen& chosen) {
    if (!chosen.whole) return shell_words(chosen.fields);
    if (chosen.records[0] && chosen.records[1]) return "all";
    return record_word(chosen.records[0] ? Record::kGame : Record::kKeys);
}

}  // namespace

int run_reset(const LoadApi& load, const std::vector<std::string>& what, store::Scope scope,
              Streams io) {
    Chosen chosen;
    if (!choose(what, "reset", &chosen, io)) return kExitBadInput;
    std::optional<Record> record;
    if (!(chosen.records[0] && chosen.records[1]))
        record = chosen.records[0] ? Record::kGame : Record::kKeys;
    std::vector<Assignment> defaults;
    for (const Setting* field : chosen.fields) {
        defaults.push_back({field, field->default_text, field->default_number});
    }
    const Api* api = load();
    if (api == nullptr) return kExitFailed;
    if (!chosen.whole) {
        for (const Record each : kRecords) {
            if (!write_record(*api, each, defaults, io.err)) return kExitFailed;
        }
    } else {
        const std::int32_t status = !record                    ? api->set_all_defaults()
                                    : *record == Record::kGame ? api->set_default_game()
                                                               : api->set_default_keys();
        if (status != 0) {
            io.err << "vantorctl reset: the library could not store the defaults: "
                   << status_text(status) << store::named() << "\n";
            explain_failure(record ? *record : Record::kKeys, status, io.err);
            return kExitFailed;
        }
    }
    Records records;
    for (const Record each : kRecords) apply(defaults, each, &records);
    note_layers("reset", scope, true, chosen.fields, records, undo_words(chosen), io);
    return kExitOk;
}

int run_unset(const LoadApi& load, const std::vector<std::string>& what, Streams io) {
    Chosen chosen;
    if (!choose(what, "unset", &chosen, io)) return kExitBadInput;
    if (!store::has_user_store()) {
        const std::vector<store::File> files = store::files();
        io.err << "vantorctl unset: unset removes your own values, so that the machine's show "
                  "through; "
               << (files.empty() ? std::string("on Windows the settings are in the registry alone")
                                 : "here there is one store, " + files.front().path)
               << ": reset stores the defaults\n";
        return kExitBadInput;
    }
    if (load() == nullptr) return kExitFailed;
    for (const Record record : kRecords) {
        std::vector<const Setting*> fields;
        for (const Setting* field : chosen.fields) {
            if (field->record == record) fields.push_back(field);
        }
        if (fields.empty()) continue;
        std::vector<const Setting*> removed;
        std::string error;
        if (!store::remove_own(record, fields, &removed, &error)) {
            io.err << "vantorctl unset: removing your own " << record_title(record) << " failed"
                   << store::named() << "\n";
            io.err << "vantorctl unset: " << error << "\n";
            return kExitFailed;
        }
        if (chosen.whole) {
            if (removed.empty()) {
                io.err << "vantorctl unset: your own store holds none of the "
                       << record_title(record) << "\n";
            }
            continue;
        }
        for (const Setting* field : fields) {
            if (std::find(removed.begin(), removed.end(), field) == removed.end()) {
                io.err << "vantorctl unset: your own store holds no " << field->name << "\n";
            }
        }
    }
    return kExitOk;
}

int run_list(std::optional<Record> only, ListForm form, Streams io) {
    if (form == ListForm::kKeyNameList) {
        for (const KeyNames& key : all_key_names()) io.out << key.names[0] << "\n";
        return kExitOk;
    }
    if (form == ListForm::kKeyNames) {
        for (const KeyNames& key : all_key_names()) {
            io.out << std::right << std::setw(3) << key.code << "  ";
            const char* separator = "";
            for (const std::string& name : key.names) {
                io.out << separator << name;
                separator = ", ";
            }
            io.out << "\n";
        }
        return kExitOk;
    }
    struct Row {
        const Setting* field;
        std::string type, range, shown_default;
    };
    std::vector<Row> rows;
    Json document = Json::array();
    for (const Setting* field = fields_begin(); field != fields_end(); ++field) {
        if (only && *only != field->record) continue;
        if (form == ListForm::kNames) {
            io.out << field->name << "\n";
            continue;
        }
        const char* type = field->kind == Kind::kText ? "REG_SZ" : "REG_DWORD";
        Json entry = {{"name", field->name},
                      {"field", field->field},
                      {"record", record_word(field->record)},
                      {"type", type}};
        const vantor::settings::Range range = vantor::settings::value_range(*field);
        Row row{field, type, range.text, ""};
        switch (field->kind) {
            case Kind::kText:
                entry["max_length"] = range.max;
                entry["default"] = field->default_text;
                row.shown_default = field->default_text;
                break;
            case Kind::kNumber:
                entry["min"] = range.min;
                entry["max"] = range.max;
                entry["default"] = field->default_number;
                row.shown_default = std::to_string(field->default_number);
                break;
            case Kind::kKey:
                entry["min"] = range.min;
                entry["max"] = range.max;
                entry["default"] = field->default_number;
                entry["default_key_name"] = key_name(field->default_number);
                row.shown_default = key_label(field->default_number) + " (" +
                                    std::to_string(field->default_number) + ")";
                break;
        }
        entry["meaning"] = vantor::settings::value_meaning(*field);
        document.push_back(std::move(entry));
        rows.push_back(std::move(row));
    }
    if (form == ListForm::kJson) {
        print_json(document, io.out);
    } else if (form == ListForm::kTable) {
        const std::vector<std::string> heading = {"NAME", "RECORD", "TYPE", "RANGE", "DEFAULT"};
        std::size_t width[5] = {};
        for (std::size_t i = 0; i < 5; ++i) width[i] = heading[i].size();
        const auto cells = [](const Row& row) {
            return std::vector<std::string>{row.field->name, record_word(row.field->record),
                                            row.type, row.range, row.shown_default};
        };
        for (const Row& row : rows) {
            const std::vector<std::string> cell = cells(row);
            for (std::size_t i = 0; i < 5; ++i) width[i] = std::max(width[i], cell[i].size());
        }
        const auto print = [&](const std::vector<std::string>& cell, const std::string& meaning) {
            std::string line;
            for (std::size_t i = 0; i < 5; ++i) {
                line += cell[i] + std::string(width[i] - cell[i].size() + 2, ' ');
            }
            line += meaning;
            line.erase(line.find_last_not_of(' ') + 1);
            io.out << line << "\n";
        };
        print(heading, "MEANING");
        for (const Row& row : rows) print(cells(row), vantor::settings::value_meaning(*row.field));
    }
    return kExitOk;
}

int run_swap(const LoadApi& load, const std::string& first, const std::string& second,
             store::Scope scope, Streams io) {
    std::vector<std::string> problems;
    const std::vector<const Setting*> fields = find_fields({first, second}, &problems);
    for (const Setting* field : fields) {
        if (field->kind != Kind::kKey) {
            problems.push_back("\"" + std::string(field->name) + "\" is not a key binding");
        }
    }
    if (problems.empty() && fields[0] == fields[1]) {
        problems.push_back("\"" + std::string(fields[0]->name) + "\" is named twice");
    }
    if (!problems.empty()) return bad_input(problems, "swap", io);
    const Api* api = load();
    if (api == nullptr) return kExitFailed;
    Records records;
    if (!read_records(*api, {false, true}, &records, io, "swap")) return kExitFailed;
    const std::vector<Assignment> swapped = {{fields[0], "", get_number(records, *fields[1])},
                                             {fields[1], "", get_number(records, *fields[0])}};
    return write_records(*api, swapped, "swap", scope, io);
}

int run_create(const LoadApi& load, Streams io) {
    const Api* api = load();
    if (api == nullptr) return kExitFailed;
    if (api->create_reg_keys() == 0) {
        io.err << "vantorctl create: the library could not create the keys" << store::named()
               << "\n";
        explain_failure(Record::kGame, 0, io.err);
        return kExitFailed;
    }
    return kExitOk;
}

int run_export(const LoadApi& load, const std::vector<std::string>& arguments, Streams io) {
    // [game|keys|all] [FILE]; a single argument that is no record's name is
    // the file, as before records could be named.
    std::optional<Record> only;
    std::string file = "-";
    if (arguments.size() == 2) {
        if (!parse_record_word(arguments[0], &only))
            return bad_record_word(arguments[0], "export", io);
        file = arguments[1];
    } else if (arguments.size() == 1 && !parse_record_word(arguments[0], &only)) {
        // A slip for a record's name ("kyes") is not taken for a file name.
        const std::string& word = arguments[0];
        if (word.find_first_of("./\\") == std::string::npos && closest(word, record_words())) {
            return bad_input(
                {"\"" + word + "\" is not game, keys or all" + did_you_mean(word, record_words()) +
                 " (write ./" + word + " for a file of that name)"},
                "export", io);
        }
        file = word;
    }
    const Api* api = load();
    if (api == nullptr) return kExitFailed;
    Records records;
    const bool wanted[2] = {!only || *only == Record::kGame, !only || *only == Record::kKeys};
    if (!read_records(*api, wanted, &records, io, "export")) {
        io.err << "vantorctl export: nothing was exported\n";
        return kExitFailed;
    }
    const std::string text = export_reg(records, only);
    if (file == "-") {
        io.out << text;
        return kExitOk;
    }
    std::string error;
    if (!platform::replace_file(file, text, &error)) {
        io.err << "vantorctl export: " << error << "\n";
        return kExitFailed;
    }
    return kExitOk;
}

namespace {

constexpr const char* kEditHelp =
    "; Change the values below, save, and quit the editor: what you changed is\n"
    "; stored. A value left out is not changed. Texts are quoted (\\\\ stands for \\,\n"
    "; \\\" for \", \\n for a line break); numbers and key bindings are dword: and 8\n"
    "; hex digits. Each binding's key is noted above it; vantorctl list --key-names\n"
    "; gives the codes of the others, in decimal (Space is 32, dword:00000020).\n";

// The records for the editor: the .reg text with a note of what to do after
// its first line, and each key binding's key named above it.
std::string edit_text(const Records& records, Charset charset) {
    const std::string reg = edit_reg(records, charset);
    const std::string line_end = charset == Charset::kBytes ? "\r\n" : "\n";
    std::string out;
    bool in_keys = false;
    for (std::size_t begin = 0; begin < reg.size();) {
        std::size_t end = reg.find('\n', begin);
        end = end == std::string::npos ? reg.size() : end + 1;
        const std::string_view line(reg.data() + begin, end - begin);
        if (begin != 0 && line.front() == '[') {
            in_keys = line.find(record_key_path(Record::kKeys)) != std::string_view::npos;
        }
        if (in_keys && line.front() == '"') {
            for (const Setting* field = fields_begin(); field != fields_end(); ++field) {
                if (field->kind == Kind::kKey && line.substr(1, std::strlen(field->name) + 2) ==
                                                     std::string(field->name) + "\"=") {
                    out += "; " + key_with_code(get_number(records, *field)) + line_end;
                }
            }
        }
        out += line;
        if (begin == 0) {
            for (std::string_view note = kEditHelp; !note.empty();) {
                const std::size_t at = note.find('\n');
                out += std::string(note.substr(0, at)) + line_end;
                note.remove_prefix(at + 1);
            }
        }
        begin = end;
    }
    return out;
}

// Checks an edited text against the records it was made from: the values
// changed, or the problems, one a line, each naming the file and the line
// where it can.
std::vector<Assignment> edited_values(const std::string& text, const Records& before,
                                      const std::string& file, std::vector<std::string>* problems) {
    const Import parsed = import_reg(text, false);
    for (const ImportProblem& problem : parsed.problems) {
        std::string message = problem.message;
        // edit takes no --ignore-unknown.
        const std::string hint = " (--ignore-unknown skips it)";
        if (const std::size_t at = message.find(hint); at != std::string::npos) {
            message.erase(at, hint.size());
        }
        problems->push_back(file + (problem.line != 0 ? ":" + std::to_string(problem.line) : "") +
                            ": " + message);
    }
    std::vector<Assignment> changed;
    if (!problems->empty()) return changed;
    for (std::size_t i = 0; i < parsed.assignments.size(); ++i) {
        const Assignment& assignment = parsed.assignments[i];
        const Setting& field = *assignment.field;
        const bool same = field.kind == Kind::kText
                              ? get_text(before, field) == assignment.text
                              : get_number(before, field) == assignment.number;
        if (same) continue;
        if (field.kind == Kind::kKey && !is_key_code(assignment.number)) {
            problems->push_back(file + ":" + std::to_string(parsed.lines[i]) + ": \"" + field.name +
                                "\": key code " + std::to_string(assignment.number) +
                                " is out of range (1 to 254)");
            continue;
        }
        changed.push_back(assignment);
    }
    return changed;
}

}  // namespace

int run_edit(const LoadApi& load, store::Scope scope, Streams io) {
    const Api* api = load();
    if (api == nullptr) return kExitFailed;
    Records records;
    if (!read_records(*api, {true, true}, &records, io, "edit")) return kExitFailed;
    const std::string original = edit_text(records, io.charset);
    std::string file;
    std::string error;
    if (!platform::make_edit_file(original, &file, &error)) {
        io.err << "vantorctl edit: " << error << "\n";
        return kExitFailed;
    }
    const auto discard = [&] { std::remove(file.c_str()); };
    const std::string editor = platform::editor();
    std::vector<Assignment> changed;
    for (;;) {
        const int status = platform::run_editor(editor, file, &error);
        if (status != 0) {
            if (status < 0) {
                io.err << "vantorctl edit: " << error << "\n";
            } else {
                io.err << "vantorctl edit: the editor (" << editor << ") exited with status "
                       << status << "\n";
            }
            io.err << "vantorctl edit: nothing was stored (set VISUAL or EDITOR to choose the "
                      "editor)\n";
            discard();
            return kExitFailed;
        }
        std::string text;
        if (read_file(file, &text, &error) != ReadResult::kRead) {
            io.err << "vantorctl edit: " << error << "\nvantorctl edit: nothing was stored\n";
            discard();
            return kExitFailed;
        }
        std::vector<std::string> problems;
        changed = edited_values(text, records, file, &problems);
        if (problems.empty()) break;
        for (const std::string& problem : problems) io.err << problem << "\n";
        if (!platform::input_is_terminal()) {
            io.err << "vantorctl edit: nothing was stored; your text is kept in " << file << "\n";
            return kExitBadInput;
        }
        std::string answer;
        do {
            io.err << "What now? (e)dit again, e(x)it without saving: " << std::flush;
            if (!std::getline(std::cin, answer)) answer = "x";
        } while (answer != "e" && answer != "x");
        if (answer == "x") {
            io.err << "vantorctl edit: nothing was stored\n";
            discard();
            return kExitBadInput;
        }
    }
    discard();
    if (changed.empty()) {
        io.err << "vantorctl edit: nothing changed\n";
        return kExitOk;
    }
    return write_records(*api, changed, "edit", scope, io);
}

int run_import(const LoadApi& load, const std::string& file, bool ignore_unknown,
               store::Scope scope, Streams io) {
    const std::string shown = file == "-" ? std::string("<stdin>") : file;
    std::string bytes;
    std::string error;
    switch (read_file(file, &bytes, &error)) {
        case ReadResult::kRead:
            break;
        case ReadResult::kMissing:
        case ReadResult::kTooLarge:
            return bad_input({error}, "import", io);
        case ReadResult::kFailed:
            io.err << "vantorctl import: " << error << "\n";
            return kExitFailed;
    }

    const Import parsed = import_reg(bytes, ignore_unknown);
    for (const ImportProblem& problem : parsed.problems) {
        io.err << shown;
        if (problem.line != 0) io.err << ":" << problem.line;
        io.err << ": " << problem.message << "\n";
    }
    if (!parsed.problems.empty()) return bad_input({}, "import", io);
    for (const std::string& ignored : parsed.ignored) {
        io.err << "vantorctl import: ignored " << ignored << "\n";
    }
    for (const std::string& warning : parsed.warnings) {
        io.err << "vantorctl import: warning: " << warning << "\n";
    }
    if (parsed.assignments.empty()) {
        const std::string root = "HKEY_LOCAL_MACHINE\\";
        return bad_input(
            {shown + " holds none of the game's values, which are under " + root +
             record_key_path(Record::kGame) + " and " + root + record_key_path(Record::kKeys)},
            "import", io);
    }
    const Api* api = load();
    if (api == nullptr) return kExitFailed;
    return write_records(*api, parsed.assignments, "import", scope, io);
}

}  // namespace vantorctl
