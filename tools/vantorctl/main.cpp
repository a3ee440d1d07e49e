// vantorctl: the game's settings from the command line, through the
// settings library as the game uses it.
#include <CLI/CLI.hpp>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "commands.h"
#include "library.h"
#include "platform.h"

#ifndef VANTORCTL_VERSION
#define VANTORCTL_VERSION "unknown"
#endif

namespace {

using vantorctl::LoadApi;
using vantorctl::Record;
using vantorctl::Streams;

constexpr const char* kSetHelp =
    "Changes values: NAME=VALUE... NAME is a registry value name, as show lists them, or "
    "the record field's name in vantor.h, in any case. Texts hold at most 255 bytes; "
    "numbers are decimal or 0x hex, 0 to 4294967295; key bindings are a key name (A, 5, F1, "
    "Space, Up, Enter, Num0, ...) or a virtual-key code 1 to 254 (a single digit is that "
    "digit's key: write 0x9 for code 9). Every argument is checked first; one bad argument "
    "writes nothing.\n";

// How a command runs once the command line is parsed.
using Run = std::function<int(const LoadApi& load, Streams io)>;

// A command of the tool. `define` adds the command's arguments to its
// parser and returns how to run it; the arguments live in that function.
// A new command is one more entry in kCommands.
struct Command {
    const char* name;
    const char* description;
    Run (*define)(CLI::App& command);
};

// Storage for an argument, shared by the parser and the command's Run.
template <typename T>
std::shared_ptr<T> argument(T initial = T()) {
    return std::make_shared<T>(std::move(initial));
}

Run define_show(CLI::App& show) {
    auto which = argument<std::string>();
    auto json = argument(false);
    show.add_option("record", *which, "Only the game settings or only the key bindings")
        ->check(CLI::IsMember({"game", "keys"}));
    show.add_flag("--json", *json, "Print one JSON object");
    return [which, json](const LoadApi& load, Streams io) {
        std::optional<Record> only;
        if (*which == "game") only = Record::kGame;
        if (*which == "keys") only = Record::kKeys;
        return vantorctl::run_show(load, only, *json, io);
    };
}

Run define_set(CLI::App& set) {
    set.footer(kSetHelp);
    auto assignments = argument<std::vector<std::string>>();
    set.add_option("NAME=VALUE", *assignments, "Values to change")->required();
    return [assignments](const LoadApi& load, Streams io) {
        return vantorctl::run_set(load, *assignments, io);
    };
}

Run define_reset(CLI::App& reset) {
    auto which = argument<std::string>("all");
    reset.add_option("record", *which, "game, keys or all (default: all)")
        ->check(CLI::IsMember({"game", "keys", "all"}));
    return
        [which](const LoadApi& load, Streams io) { return vantorctl::run_reset(load, *which, io); };
}

Run define_create(CLI::App&) { return vantorctl::run_create; }

Run define_export(CLI::App& export_command) {
    auto file = argument<std::string>("-");
    export_command.add_option("FILE", *file, "File to write, or - for standard output");
    return
        [file](const LoadApi& load, Streams io) { return vantorctl::run_export(load, *file, io); };
}

Run define_import(CLI::App& import_command) {
    auto file = argument<std::string>();
    auto ignore_unknown = argument(false);
    import_command.add_option("FILE", *file, "File to read, or - for standard input")->required();
    import_command.add_flag("--ignore-unknown", *ignore_unknown,
                            "Skip keys and values the game does not use");
    return [file, ignore_unknown](const LoadApi& load, Streams io) {
        return vantorctl::run_import(load, *file, *ignore_unknown, io);
    };
}

constexpr Command kCommands[] = {
    {"show", "Shows the settings and key bindings", define_show},
    {"set", "Changes settings or key bindings", define_set},
    {"reset", "Stores the defaults", define_reset},
    {"create", "Creates both keys, overwriting every value with its default", define_create},
    {"export", "Writes both records as a .reg file regedit imports", define_export},
    {"import", "Reads values from a .reg file and stores them", define_import},
};

}  // namespace

int main(int argc, char** argv) {
    vantorctl::platform::binary_stdio();

    CLI::App app{"Shows and changes the tank game's settings through its settings library.",
                 "vantorctl"};
    app.require_subcommand(0, 1);
    app.fallthrough();
    std::string library_path;
    app.add_option("--library", library_path,
                   "The settings library to use (default: the one installed with vantorctl)");
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

    std::optional<vantorctl::Library> library;
    const LoadApi load = [&]() -> const vantorctl::Api* {
        if (!library) {
            vantorctl::Library loaded;
            std::string error;
            if (!vantorctl::load_library(library_path, &loaded, &error)) {
                std::cerr << "vantorctl: " << error << "\n";
                return nullptr;
            }
            library = loaded;
        }
        return &library->api;
    };
    const Streams io{std::cin, std::cout, std::cerr};

    if (version) {
        std::cout << "vantorctl " << VANTORCTL_VERSION << "\n";
        if (load() == nullptr) return vantorctl::kExitFailed;
        std::cout << "library "
                  << (library->version.empty() ? "(version unknown)" : library->version) << "  "
                  << library->file << "\n";
        return vantorctl::kExitOk;
    }
    for (const auto& [parser, run] : commands) {
        if (parser->parsed()) return run(load, io);
    }

    std::cerr << app.help();
    return vantorctl::kExitBadInput;
}
