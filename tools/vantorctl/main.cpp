// vantorctl: the game's settings from the command line, through the
// settings library as the game uses it.
#include <CLI/CLI.hpp>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "commands.h"
#include "library.h"
#include "platform.h"

#ifndef VANTORCTL_VERSION
#define VANTORCTL_VERSION "unknown"
#endif

namespace {

using vantorctl::Record;

constexpr const char* kSetHelp =
    "Changes values: NAME=VALUE... NAME is a registry value name, as show lists them, or "
    "the record field's name in vantor.h, in any case. Texts hold at most 255 bytes; "
    "numbers are decimal or 0x hex, 0 to 4294967295; key bindings are a key name (A, 5, F1, "
    "Space, Up, Enter, Num0, ...) or a virtual-key code 1 to 254 (a single digit is that "
    "digit's key: write 0x9 for code 9). Every argument is checked first; one bad argument "
    "writes nothing.\n";

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

    CLI::App* show = app.add_subcommand("show", "Shows the settings and key bindings");
    std::string show_which;
    show->add_option("record", show_which, "Only the game settings or only the key bindings")
        ->check(CLI::IsMember({"game", "keys"}));
    bool json = false;
    show->add_flag("--json", json, "Print one JSON object");

    CLI::App* set = app.add_subcommand("set", "Changes settings or key bindings");
    set->footer(kSetHelp);
    std::vector<std::string> assignments;
    set->add_option("NAME=VALUE", assignments, "Values to change")->required();

    CLI::App* reset = app.add_subcommand("reset", "Stores the defaults");
    std::string reset_which = "all";
    reset->add_option("record", reset_which, "game, keys or all (default: all)")
        ->check(CLI::IsMember({"game", "keys", "all"}));

    CLI::App* create =
        app.add_subcommand("create", "Creates both keys, overwriting every value with its default");

    CLI::App* export_command =
        app.add_subcommand("export", "Writes both records as a .reg file regedit imports");
    std::string export_file = "-";
    export_command->add_option("FILE", export_file, "File to write, or - for standard output");

    CLI::App* import_command =
        app.add_subcommand("import", "Reads values from a .reg file and stores them");
    std::string import_file;
    import_command->add_option("FILE", import_file, "File to read, or - for standard input")
        ->required();
    bool ignore_unknown = false;
    import_command->add_flag("--ignore-unknown", ignore_unknown,
                             "Skip keys and values the game does not use");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? vantorctl::kExitOk : vantorctl::kExitBadInput;
    }

    std::optional<vantorctl::Library> library;
    const vantorctl::LoadApi load = [&]() -> const vantorctl::Api* {
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
    const vantorctl::Streams io{std::cin, std::cout, std::cerr};

    if (version) {
        std::cout << "vantorctl " << VANTORCTL_VERSION << "\n";
        if (load() == nullptr) return vantorctl::kExitFailed;
        std::cout << "library "
                  << (library->version.empty() ? "(version unknown)" : library->version) << "  "
                  << library->file << "\n";
        return vantorctl::kExitOk;
    }
    if (*show) {
        std::optional<Record> only;
        if (show_which == "game") only = Record::kGame;
        if (show_which == "keys") only = Record::kKeys;
        return vantorctl::run_show(load, only, json, io);
    }
    if (*set) return vantorctl::run_set(load, assignments, io);
    if (*reset) return vantorctl::run_reset(load, reset_which, io);
    if (*create) return vantorctl::run_create(load, io);
    if (*export_command) return vantorctl::run_export(load, export_file, io);
    if (*import_command) return vantorctl::run_import(load, import_file, ignore_unknown, io);

    std::cerr << app.help();
    return vantorctl::kExitBadInput;
}
