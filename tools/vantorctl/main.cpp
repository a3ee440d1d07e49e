// vantorctl: the game's settings from the command line, through the
// settings library as the game uses it.
#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "commands.h"
#include "files.h"
#include "library.h"
#include "platform.h"
#include "store.h"

#ifndef VANTORCTL_VERSION
#define VANTORCTL_VERSION "unknown"
#endif

namespace {

using vantorctl::LoadApi;
using vantorctl::Record;
using vantorctl::Streams;

constexpr const char* kSetHelp =
    "Changes values: NAME=VALUE... NAME is a registry value name, as list shows them, or "
    "the record field's name in vantor.h, in any case. Texts hold at most 255 characters "
    "of windows-1252 (the game's charset; with a UTF-8 locale they are converted); numbers "
    "are decimal or 0x hex, 0 to 4294967295; key bindings are a key name (A, 5, F1, Space, "
    "Up, Enter, Num0, Left Shift, VK_OEM_1, ...: vantorctl list --key-names lists them) or "
    "a virtual-key code 1 to 254 (a single digit is that digit's key: write 0x9 for code 9). "
    "Every argument is checked first; one bad argument writes nothing. Two actions bound to "
    "one key are warned of.\n";

std::string footer() {
    return vantorctl::store::help() +
           "Exit status: 0 success, 1 the library or a file failed, 2 bad usage or input (nothing "
           "written).\n";
}

// How a command runs once the command line is parsed.
using Run = std::function<int(const LoadApi& load, Streams io)>;

// A command of the tool. `define` adds the command's arguments to its
// parser and returns how to run it; the arguments live in that function.
// A new command is one more entry in kCommands.
struct Command {
    const char* name;
    const char* description;
    Run (*define)(CLI::App& command);
    bool writes;  // changes the store (else reads it, or nothing)
};

// Storage for an argument, shared by the parser and the command's Run.
template <typename T>
std::shared_ptr<T> argument(T initial = T()) {
    return std::make_shared<T>(std::move(initial));
}

// --machine and --user for a command that writes: where its writes go.
// Either is refused (2) where there is one store; a chosen store this
// process may not write stops the command (1) before anything is read or
// written.
std::shared_ptr<vantorctl::store::Scope> add_scope(CLI::App& command) {
    auto scope = argument(vantorctl::store::Scope::kEither);
    auto* machine = command.add_flag_callback(
        "--machine", [scope] { *scope = vantorctl::store::Scope::kMachine; },
        "Write to the machine's store, for every user without a value of their own");
    auto* user = command.add_flag_callback(
        "--user", [scope] { *scope = vantorctl::store::Scope::kUser; },
        "Write to your own store, for you alone");
    machine->excludes(user);
    return scope;
}

// Runs `run` with its writes steered to `scope` (add_scope()).
int in_scope(vantorctl::store::Scope scope, const char* command, const LoadApi& load,
             const std::function<int(const LoadApi&, vantorctl::store::Scope)>& run, Streams io) {
    if (scope == vantorctl::store::Scope::kEither) return run(load, scope);
    std::string error;
    if (!vantorctl::store::write_to(scope, &error)) {
        io.err << "vantorctl " << command << ": " << error << "\n";
        return vantorctl::kExitBadInput;
    }
    const LoadApi checked = [&]() -> const vantorctl::Api* {
        const vantorctl::Api* api = load();
        if (api == nullptr) return nullptr;
        if (const std::string refusal = vantorctl::store::write_refusal(); !refusal.empty()) {
            io.err << "vantorctl " << command << ": " << refusal << "\n";
            io.err << "vantorctl " << command << ": nothing was written\n";
            return nullptr;
        }
        return api;
    };
    return run(checked, scope);
}

Run define_show(CLI::App& show) {
    auto which = argument<std::string>();
    auto json = argument(false);
    auto changed = argument(false);
    show.add_option("record", *which, "game, keys or all (the default)");
    show.add_flag("--json", *json, "Print one JSON object");
    show.add_flag("--changed", *changed,
                  "Only the values off their defaults, and yours that differ from the machine's");
    return [which, json, changed](const LoadApi& load, Streams io) -> int {
        std::optional<Record> only;
        if (!vantorctl::record_argument(*which, "show", &only, io)) return vantorctl::kExitBadInput;
        return vantorctl::run_show(load, only, *json, *changed, io);
    };
}

Run define_get(CLI::App& get) {
    auto names = argument<std::vector<std::string>>();
    auto json = argument(false);
    get.add_option("NAME", *names, "Values to print, one line each")->required();
    get.add_flag("--json", *json, "Print one JSON object");
    get.footer(
        "Prints each value in the form set takes: a text as it is, a number in decimal, a key "
        "binding by its key's name (or its code in hex when the key has no name).\n");
    return [names, json](const LoadApi& load, Streams io) {
        return vantorctl::run_get(load, *names, *json, io);
    };
}

Run define_set(CLI::App& set) {
    set.footer(kSetHelp);
    auto assignments = argument<std::vector<std::string>>();
    set.add_option("NAME=VALUE", *assignments, "Values to change")->required();
    auto scope = add_scope(set);
    return [assignments, scope](const LoadApi& load, Streams io) {
        return in_scope(
            *scope, "set", load,
            [&](const LoadApi& checked, vantorctl::store::Scope chosen) {
                return vantorctl::run_set(checked, *assignments, chosen, io);
            },
            io);
    };
}

Run define_reset(CLI::App& reset) {
    auto what = argument<std::vector<std::string>>();
    reset.add_option("what", *what,
                     "game, keys or all (the default), or the names of values to reset");
    auto scope = add_scope(reset);
    return [what, scope](const LoadApi& load, Streams io) {
        return in_scope(
            *scope, "reset", load,
            [&](const LoadApi& checked, vantorctl::store::Scope chosen) {
                return vantorctl::run_reset(checked, *what, chosen, io);
            },
            io);
    };
}

Run define_unset(CLI::App& unset) {
    auto what = argument<std::vector<std::string>>();
    unset.add_option("what", *what, "game, keys or all, or the names of values")->required();
    unset.footer(
        "Removes your own values from your own store, so that the machine's show through "
        "(where the machine's store holds none, the defaults). Refused where there is one store "
        "(--registry, VANTOR_REGISTRY, Windows).\n");
    return
        [what](const LoadApi& load, Streams io) { return vantorctl::run_unset(load, *what, io); };
}

Run define_list(CLI::App& list) {
    auto which = argument<std::string>();
    auto json = argument(false);
    auto names = argument(false);
    auto key_names = argument(false);
    list.add_option("record", *which, "game, keys or all (the default)");
    auto* json_flag = list.add_flag("--json", *json, "Print a JSON array");
    auto* names_flag = list.add_flag("--names", *names, "Print only the names, one a line");
    list.add_flag("--key-names", *key_names,
                  "Print the key names a binding takes, with their codes (with --names: the "
                  "name shown for each key, one a line)")
        ->excludes(json_flag);
    json_flag->excludes(names_flag);
    list.footer("Reads no settings: it lists what vantorctl knows of each value.\n");
    return [which, json, names, key_names](const LoadApi&, Streams io) -> int {
        std::optional<Record> only;
        if (!vantorctl::record_argument(*which, "list", &only, io)) return vantorctl::kExitBadInput;
        const vantorctl::ListForm form = *key_names && *names ? vantorctl::ListForm::kKeyNameList
                                         : *key_names         ? vantorctl::ListForm::kKeyNames
                                         : *json              ? vantorctl::ListForm::kJson
                                         : *names             ? vantorctl::ListForm::kNames
                                                              : vantorctl::ListForm::kTable;
        return vantorctl::run_list(only, form, io);
    };
}

Run define_swap(CLI::App& swap) {
    auto first = argument<std::string>();
    auto second = argument<std::string>();
    swap.add_option("A", *first, "A key binding (Fire, Weapons, ...)")->required();
    swap.add_option("B", *second, "The key binding to trade keys with")->required();
    auto scope = add_scope(swap);
    return [first, second, scope](const LoadApi& load, Streams io) {
        return in_scope(
            *scope, "swap", load,
            [&](const LoadApi& checked, vantorctl::store::Scope chosen) {
                return vantorctl::run_swap(checked, *first, *second, chosen, io);
            },
            io);
    };
}

Run define_create(CLI::App&) { return vantorctl::run_create; }

Run define_export(CLI::App& export_command) {
    auto arguments = argument<std::vector<std::string>>();
    export_command.add_option("ARGS", *arguments, "[game|keys|all] [FILE]")->expected(0, 2);
    export_command.footer(
        "Writes game, keys or all (the default) to FILE, or to standard output for - or no "
        "FILE. A single argument that is not game, keys or all is the FILE (write ./keys for a "
        "file named keys). The file is replaced whole or not at all.\n");
    return [arguments](const LoadApi& load, Streams io) {
        return vantorctl::run_export(load, *arguments, io);
    };
}

Run define_edit(CLI::App& edit) {
    edit.footer(
        "Opens the settings and key bindings as a .reg text in $VISUAL, else $EDITOR, else "
        "the system's editor. Once it is saved and the editor quits, what was changed is "
        "stored; a text that does not read as the records is refused with the reason, and on "
        "a terminal offered to be edited again. Only the values changed are written.\n");
    auto scope = add_scope(edit);
    return [scope](const LoadApi& load, Streams io) {
        return in_scope(
            *scope, "edit", load,
            [&](const LoadApi& checked, vantorctl::store::Scope chosen) {
                return vantorctl::run_edit(checked, chosen, io);
            },
            io);
    };
}

Run define_import(CLI::App& import_command) {
    auto file = argument<std::string>();
    auto ignore_unknown = argument(false);
    import_command.add_option("FILE", *file, "File to read, or - for standard input")->required();
    import_command.add_flag("--ignore-unknown", *ignore_unknown,
                            "Skip keys and values the game does not use");
    auto scope = add_scope(import_command);
    return [file, ignore_unknown, scope](const LoadApi& load, Streams io) {
        return in_scope(
            *scope, "import", load,
            [&](const LoadApi& checked, vantorctl::store::Scope chosen) {
                return vantorctl::run_import(checked, *file, *ignore_unknown, chosen, io);
            },
            io);
    };
}

constexpr Command kCommands[] = {
    {"show", "Shows the settings and key bindings", define_show, false},
    {"get", "Prints values, one a line", define_get, false},
    {"set", "Changes settings or key bindings", define_set, true},
    {"reset", "Stores the defaults, of a record or of single values", define_reset, true},
    {"unset", "Removes your own values, so that the machine's show through", define_unset, true},
    {"list", "Lists every value: record, type, range, default, meaning", define_list, false},
    {"swap", "Trades the keys of two key bindings", define_swap, true},
    {"create", "Creates both keys, overwriting every value with its default", define_create, true},
    {"export", "Writes the records as a .reg file regedit imports", define_export, false},
    {"import", "Reads values from a .reg file and stores them", define_import, true},
    {"edit", "Edits the settings and key bindings in a text editor", define_edit, true},
};

// Standard output is checked once, at the end: a failed write (a full
// disk, a closed pipe) fails the command.
int finish_output(int exit_code) {
    errno = 0;
    std::cout.flush();  // through to the C stream, which tells errno when it fails
    const bool failed = !std::cout || std::fflush(stdout) != 0 || std::ferror(stdout) != 0;
    if (!failed) return exit_code;
    std::cerr << "vantorctl: cannot write to standard output: " << vantorctl::system_reason(errno)
              << "\n";
    return exit_code == vantorctl::kExitOk ? vantorctl::kExitFailed : exit_code;
}

int run(int argc, char** argv) {
    CLI::App app{"Shows and changes the tank game's settings through its settings library.",
                 "vantorctl"};
    app.require_subcommand(0, 1);
    app.fallthrough();
    app.footer(footer());
    std::string library_path;
    app.add_option("--library", library_path,
                   "The settings library to use (default: the one installed with vantorctl)");
    std::optional<std::string> registry;
    auto* registry_option =
        app.add_option("--registry", registry,
                       "One hive file to keep the settings in, in place of the machine's and "
                       "your own: sets VANTOR_REGISTRY");
    std::string wine_prefix;
    auto* wine_option =
        app.add_option("--wine-prefix", wine_prefix,
                       "The game's settings in the Wine prefix DIR (default: $WINEPREFIX, else "
                       "~/.wine): its registry is the one store")
            ->expected(0, 1)
            ->type_name("[DIR]");
    std::optional<std::string> proton;
    auto* proton_option = app.add_option(
        "--proton", proton,
        "The game's settings in the Proton prefix of the Steam game APPID, in any Steam library");
    proton_option->type_name("APPID");
    registry_option->excludes(wine_option)->excludes(proton_option);
    wine_option->excludes(proton_option);
    bool version = false;
    app.add_flag("--version", version, "Print the versions of vantorctl and the library");

    std::vector<std::pair<const CLI::App*, Run>> commands;
    for (const Command& command : kCommands) {
        CLI::App* parser = app.add_subcommand(command.name, command.description);
        commands.emplace_back(parser, command.define(*parser));
    }

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? vantorctl::kExitOk : vantorctl::kExitBadInput;
    }
    if (registry) {
        std::string error;
        if (!vantorctl::store::use_file(*registry, &error)) {
            std::cerr << "vantorctl: " << error << "\n";
            return vantorctl::kExitBadInput;
        }
    }
    if (wine_option->count() > 0 || proton) {
        std::string error;
        bool bad_usage = false;
        const bool found =
            proton
                ? vantorctl::store::use_proton(*proton, &error, &bad_usage)
                : vantorctl::store::use_wine_prefix(
                      wine_prefix.empty() ? std::nullopt : std::optional<std::string>(wine_prefix),
                      &error, &bad_usage);
        if (!found) {
            std::cerr << "vantorctl: " << error << "\n";
            return bad_usage ? vantorctl::kExitBadInput : vantorctl::kExitFailed;
        }
    }

    std::optional<vantorctl::Library> library;
    const auto load_library = [&]() -> bool {
        if (!library) {
            vantorctl::Library loaded;
            std::string error;
            if (!vantorctl::load_library(library_path, &loaded, &error)) {
                std::cerr << "vantorctl: " << error << "\n";
                return false;
            }
            library = loaded;
        }
        return true;
    };
    // A command reads or writes the store: a store the library cannot read
    // is named, with its fault, before the library is called. In a Wine
    // prefix where Wine runs, a command that writes is refused before it
    // writes anything (Wine would write its own registry back over the
    // change), and one that reads is told that Wine's may be newer.
    bool writes = false;
    const LoadApi load = [&]() -> const vantorctl::Api* {
        if (!load_library()) return nullptr;
        std::string next_step;
        if (const std::string problem = vantorctl::store::problem(&next_step); !problem.empty()) {
            std::cerr << "vantorctl: " << problem << vantorctl::store::named() << "\n";
            if (!next_step.empty()) std::cerr << "vantorctl: " << next_step << "\n";
            return nullptr;
        }
        if (const std::string running = vantorctl::store::wine_running(&next_step);
            !running.empty()) {
            if (writes) {
                std::cerr << "vantorctl: " << running
                          << ": a change now would be lost when Wine saves its registry\n"
                          << "vantorctl: " << next_step << "; then try again\n"
                          << "vantorctl: nothing was written\n";
                return nullptr;
            }
            std::cerr << "vantorctl: warning: " << running
                      << ": it saves its registry lazily, so the game may see newer values than "
                         "these; for those, "
                      << next_step << "\n";
        }
        return &library->api;
    };
    const Streams io{std::cout, std::cerr, vantorctl::terminal_charset()};

    if (version) {
        std::cout << "vantorctl " << VANTORCTL_VERSION << "\n";
        if (!load_library()) return vantorctl::kExitFailed;
        std::cout << "library "
                  << (library->version.empty() ? "(version unknown)" : library->version) << "  "
                  << library->file << "\n";
        return vantorctl::kExitOk;
    }
    for (std::size_t i = 0; i < commands.size(); ++i) {
        const auto& [parser, run_command] = commands[i];
        writes = kCommands[i].writes;
        if (parser->parsed()) return run_command(load, io);
    }

    std::cerr << app.help();
    return vantorctl::kExitBadInput;
}

}  // namespace

int main(int argc, char** argv) {
    vantorctl::platform::set_up_stdio();
    return finish_output(run(argc, argv));
}
