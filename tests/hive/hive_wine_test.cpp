// The hive codec against real Wine prefixes (the wine_prefix fixtures of
// tests/wine/): Wine's own system.reg, user.reg and userdef.reg read and
// written back byte for byte; the game's keys, made by reg.exe in the
// registry's 32-bit view, edited by the codec while the Wine server is
// stopped, then read back by Wine, with every other line of the file as it
// was. Then the library and vantorctl on the prefix: what Wine writes they
// read, what they write Wine reads, and while the prefix's Wine server runs
// they read but write nothing.
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/wait.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "hive/charset.h"
#include "hive/document.h"
#include "hive/writer.h"
#include "vantor.h"

namespace vantor::hive {
namespace {

std::string slurp(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::string quoted(const std::string& text) {
    std::string out = "'";
    for (const char c : text) {
        if (c == '\'') {
            out += "'\\''";
        } else {
            out += c;
        }
    }
    return out + "'";
}

std::string dword(std::uint32_t n) {
    return {static_cast<char>(n), static_cast<char>(n >> 8), static_cast<char>(n >> 16),
            static_cast<char>(n >> 24)};
}

// A prefix of the fixture, and Wine run in it through tests/wine/prefix.sh.
class Prefix {
  public:
    Prefix(std::string arch, std::string path, std::string script)
        : arch_(std::move(arch)), path_(std::move(path)), script_(std::move(script)) {}

    const std::string& path() const { return path_; }

    // Runs a Windows program; its standard output, and the test fails
    // unless it succeeds.
    std::string run(const std::vector<std::string>& args) const {
        std::string command = "sh " + quoted(script_) + " " + arch_ + " " + quoted(path_) + " run";
        for (const std::string& arg : args) command += " " + quoted(arg);
        FILE* pipe = popen((command + " 2>&1").c_str(), "r");
        if (pipe == nullptr) {
            ADD_FAILURE() << "cannot run " << command;
            return {};
        }
        std::string out;
        char buffer[4096];
        for (std::size_t got; (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
            out.append(buffer, got);
        }
        const int status = pclose(pipe);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command << "\n" << out;
        return out;
    }

    // Waits until the server has saved the registry and quit.
    void stop() const { act("stop"); }
    // Starts the server to stay, as while a game runs; kill() stops it.
    void serve() const { act("serve"); }
    void kill() const { act("kill"); }

  private:
    void act(const char* action) const {
        const std::string command =
            "sh " + quoted(script_) + " " + arch_ + " " + quoted(path_) + " " + action;
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
    }

    std::string arch_;
    std::string path_;
    std::string script_;
};

// Runs a shell command: its exit status, and its output and errors in *out.
int shell(const std::string& command, std::string* out) {
    out->clear();
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return -1;
    char buffer[4096];
    for (std::size_t got; (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        out->append(buffer, got);
    }
    const int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The lines of a Wine file outside the sections whose key line starts with
// `section` (as the file spells it), in order; a section runs up to the
// next key line.
std::vector<std::string> lines_outside(const std::string& text, const std::string& section) {
    std::vector<std::string> lines;
    bool inside = false;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(at, end - at);
        if (!line.empty() && line[0] == '[') inside = line.compare(0, section.size(), section) == 0;
        if (!inside) lines.push_back(line);
        at = end + 1;
    }
    return lines;
}

// A key of a Wine file as the file has it: its key line and its values'
// lines (each with its continuation lines), with their line ends.
struct Section {
    std::string key_line;
    std::vector<std::string> values;
};

// The sections of a Wine file that hold values, in order.
std::vector<Section> sections_with_values(const std::string& text) {
    std::vector<Section> sections;
    Section current;
    bool continued = false;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find('\n', at);
        end = end == std::string::npos ? text.size() : end + 1;
        const std::string line = text.substr(at, end - at);
        at = end;
        if (continued) {
            current.values.back() += line;
        } else if (line[0] == '[') {
            if (!current.values.empty()) sections.push_back(current);
            current = Section{line, {}};
        } else if (line[0] == '"' || line[0] == '@') {
            current.values.push_back(line);
        }
        continued = !current.values.empty() && line.size() >= 2 && line[line.size() - 2] == '\\' &&
                    (line[0] == ' ' || line.find("=hex") != std::string::npos);
    }
    if (!current.values.empty()) sections.push_back(current);
    return sections;
}

// `text`, a file reg.exe exported (UTF-16LE after a byte-order mark), as
// UTF-8.
std::string exported(const std::string& text) {
    return text.size() >= 2 ? utf16le_to_utf8(text.substr(2)) : std::string();
}

// The fixture's prefix of `arch`, or nothing (and why) where there is none.
std::optional<Prefix> fixture(const std::string& arch, std::string* why) {
    std::string upper = arch;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const char* path = std::getenv(("VANTOR_WINE_PREFIX_" + upper).c_str());
    const char* script = std::getenv("VANTOR_WINE_SCRIPT");
    if (path == nullptr || script == nullptr) {
        *why = "run through ctest: the fixture wine_prefix_" + arch + " makes the prefix";
        return std::nullopt;
    }
    if (slurp(std::string(path) + "/system.reg").empty()) {
        *why = "no " + arch + " prefix: this machine runs no " + arch + " Wine";
        return std::nullopt;
    }
    return Prefix(arch, path, script);
}

void check_prefix(const std::string& arch) {
    std::string why;
    const std::optional<Prefix> found = fixture(arch, &why);
    if (!found) GTEST_SKIP() << why;
    const Prefix& prefix = *found;
    // The 32-bit game's keys, in the prefix's 32-bit view.
    const std::string quorix =
        arch == "win64" ? "Software\\Wow6432Node\\QUORIX" : "Software\\QUORIX";
    const std::string game = quorix + "\\Game";
    const std::string file_quorix =
        arch == "win64" ? "[Software\\\\Wow6432Node\\\\QUORIX" : "[Software\\\\QUORIX";

    const std::string name = "Caf\xc3\xa9 \"x\" \\ y";  // in UTF-8 on the command line
    prefix.run({"reg", "add", "HKLM\\Software\\QUORIX\\Game", "/v", "User Name", "/t", "REG_SZ",
                "/d", name, "/reg:32", "/f"});
    prefix.run({"reg", "add", "HKLM\\Software\\QUORIX\\Game", "/v", "Tank Type", "/t", "REG_DWORD",
                "/d", "2", "/reg:32", "/f"});
    prefix.run({"reg", "add", "HKLM\\Software\\QUORIX\\Game", "/v", "Scenario", "/t", "REG_DWORD",
                "/d", "5", "/reg:32", "/f"});
    prefix.run({"reg", "add", "HKLM\\Software\\QUORIX\\Keyboard", "/v", "Fire", "/t", "REG_DWORD",
                "/d", "32", "/reg:32", "/f"});
    prefix.stop();

    // Wine's own files: each reads whole, and each of their values is
    // written, key line and value lines, exactly as Wine wrote it.
    for (const char* file : {"system.reg", "user.reg", "userdef.reg"}) {
        const std::string text = slurp(prefix.path() + "/" + file);
        ParseError error;
        const std::optional<Document> document = Document::parse(text, &error);
        ASSERT_TRUE(document) << file << ":" << error.line << ": " << error.message;
        EXPECT_EQ(document->dialect(), Dialect::kWine) << file;
        EXPECT_EQ(document->arch(), arch) << file;
        const std::vector<Section> sections = sections_with_values(text);
        std::size_t at = 0;
        for (const StoredKey& stored : document->hive().keys) {
            if (stored.values.empty()) continue;
            ASSERT_LT(at, sections.size()) << file;
            const Section& section = sections[at++];
            std::string lines;
            writer::wine_key_lines(stored.path, 0x1dd8800a0000000, &lines);
            EXPECT_EQ(lines.substr(0, lines.find("] ") + 1),
                      section.key_line.substr(0, section.key_line.rfind("] ") + 1))
                << file;
            ASSERT_EQ(stored.values.size(), section.values.size()) << file << ": " << stored.path;
            for (std::size_t i = 0; i < stored.values.size(); ++i) {
                lines.clear();
                writer::wine_value(stored.values[i], &lines);
                EXPECT_EQ(lines, section.values[i]) << file << ": " << stored.path;
            }
        }
        EXPECT_EQ(at, sections.size()) << file;
    }

    // The game's key as reg.exe left it, and the codec's edit of it.
    const std::string path_of_system = prefix.path() + "/system.reg";
    const std::string before = slurp(path_of_system);
    std::optional<Document> system = Document::parse(before);
    ASSERT_TRUE(system);
    const StoredKey* key = system->find(game);
    ASSERT_NE(key, nullptr) << game;
    ASSERT_NE(key->find("User Name"), nullptr);
    EXPECT_EQ(key->find("User Name")->data, ansi_string_data("Caf\xe9 \"x\" \\ y", true));
    std::optional<StoredKey> one;
    ASSERT_TRUE(read_one_key(before, game, &one));
    ASSERT_TRUE(one);
    EXPECT_EQ(*one, *key);

    system->set_value(game, "User Name", 1, ansi_string_data("Ace \xe9\x80", true));  // é €
    system->set_value(game, "Tank Type", 4, dword(7));
    system->delete_value(game, "Scenario");
    system->set_value(quorix + "\\Setup", "Installed", 4, dword(1));
    system->commit();
    {
        std::ofstream out(path_of_system, std::ios::binary | std::ios::trunc);
        out << system->text();
    }
    EXPECT_EQ(lines_outside(system->text(), file_quorix), lines_outside(before, file_quorix));

    // Wine reads the edit back, and finds nothing wrong in the file (its
    // server, which loads it, would say "system.reg:LINE: ...").
    const std::string query =
        prefix.run({"reg", "query", "HKLM\\Software\\QUORIX\\Game", "/reg:32"});
    EXPECT_EQ(query.find("system.reg:"), std::string::npos) << query;
    EXPECT_NE(query.find("Tank Type    REG_DWORD    0x7"), std::string::npos) << query;
    EXPECT_NE(query.find("User Name    REG_SZ    Ace "), std::string::npos) << query;
    EXPECT_EQ(query.find("Scenario"), std::string::npos) << query;
    const std::string setup =
        prefix.run({"reg", "query", "HKLM\\Software\\QUORIX\\Setup", "/v", "Installed", "/reg:32"});
    EXPECT_NE(setup.find("Installed    REG_DWORD    0x1"), std::string::npos) << setup;
    // Console output goes through the OEM code page: the exact text through
    // an export, in UTF-16.
    const std::string export_file = prefix.path() + "/game-export.reg";
    prefix.run(
        {"reg", "export", "HKLM\\Software\\QUORIX\\Game", "Z:" + export_file, "/reg:32", "/y"});
    const std::string game_export = exported(slurp(export_file));
    EXPECT_NE(game_export.find("\"User Name\"=\"Ace \xc3\xa9\xe2\x82\xac\""), std::string::npos)
        << game_export;
    prefix.stop();
}

// The library and vantorctl on the prefix, as a game run with Wine and a
// player at the command line use it.
void check_library(const std::string& arch) {
    std::string why;
    const std::optional<Prefix> found = fixture(arch, &why);
    if (!found) GTEST_SKIP() << why;
    const Prefix& prefix = *found;
    const std::string system = prefix.path() + "/system.reg";
    const std::string file_quorix =
        arch == "win64" ? "[Software\\\\Wow6432Node\\\\QUORIX" : "[Software\\\\QUORIX";
    const char* vantorctl = std::getenv("VANTORCTL");
    ASSERT_NE(vantorctl, nullptr) << "run through ctest, which names vantorctl";
    const std::string ctl = quoted(vantorctl) + " --wine-prefix " + quoted(prefix.path());

    // What Wine's reg.exe writes in the game's view (windows-1252 text, as
    // the game's own ANSI calls pass it) the library reads once Wine has
    // saved it.
    const std::string import_file = prefix.path() + "/game-import.reg";
    {
        std::ofstream out(import_file, std::ios::binary | std::ios::trunc);
        out << "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\QUORIX\\Game]\r\n"
               "\"User Name\"=\"Caf\xe9 \\\"x\\\"\"\r\n\"Tank Type\"=dword:00000007\r\n\r\n"
               "[HKEY_LOCAL_MACHINE\\Software\\QUORIX\\Keyboard]\r\n\"Fire\"=dword:00000046\r\n";
    }
    prefix.run({"reg", "import", "Z:" + import_file, "/reg:32"});
    prefix.stop();
    ASSERT_EQ(::setenv("VANTOR_REGISTRY", system.c_str(), 1), 0);
    GameConfigSettings game{};
    KeyConfigSettings keys{};
    ASSERT_EQ(GetGameConfigSettings(&game), 1);
    EXPECT_STREQ(game.UserName, "Caf\xe9 \"x\"");
    EXPECT_EQ(game.TankType, 7u);
    ASSERT_EQ(GetKeyConfigSettings(&keys), 1);
    EXPECT_EQ(keys.Fire, static_cast<std::uint32_t>('F'));

    // What the library writes Wine reads, and no other line of the file
    // changes.
    const std::string before = slurp(system);
    std::strcpy(game.UserName, "Zo\xeb \x80");  // Zoë €
    game.TankType = 3;
    ASSERT_EQ(SetGameConfigSettings(&game, VANTOR_GAME_USER_NAME | VANTOR_GAME_TANK_TYPE), 0);
    EXPECT_EQ(lines_outside(slurp(system), file_quorix), lines_outside(before, file_quorix));
    const std::string export_file = prefix.path() + "/game-export.reg";
    prefix.run(
        {"reg", "export", "HKLM\\Software\\QUORIX\\Game", "Z:" + export_file, "/reg:32", "/y"});
    const std::string game_export = exported(slurp(export_file));
    EXPECT_NE(game_export.find("\"User Name\"=\"Zo\xc3\xab \xe2\x82\xac\""), std::string::npos)
        << game_export;
    EXPECT_NE(game_export.find("\"Tank Type\"=dword:00000003"), std::string::npos) << game_export;
    prefix.stop();

    // While the prefix's Wine server runs (a game is playing), it holds the
    // registry and will write it back: nothing is written, the readers read.
    prefix.serve();
    struct Served {
        const Prefix& prefix;
        ~Served() { prefix.kill(); }  // however the test ends: a server left would stay
    } served{prefix};
    const std::string held = slurp(system);
    game.TankType = 9;
    EXPECT_EQ(SetGameConfigSettings(&game, VANTOR_GAME_TANK_TYPE), 32);
    GameConfigSettings read{};
    EXPECT_EQ(GetGameConfigSettings(&read), 1);
    EXPECT_EQ(read.TankType, 3u);
    std::string out;
    EXPECT_EQ(shell(ctl + " set 'Tank Type=9'", &out), 1) << out;
    EXPECT_NE(out.find("wineserver -w"), std::string::npos) << out;
    EXPECT_NE(out.find("nothing was written"), std::string::npos) << out;
    EXPECT_EQ(shell(ctl + " get 'Tank Type'", &out), 0) << out;
    EXPECT_NE(out.find("3\n"), std::string::npos) << out;
    EXPECT_NE(out.find("warning: Wine is running"), std::string::npos) << out;
    EXPECT_EQ(slurp(system), held);
    for (const auto& entry : std::filesystem::directory_iterator(prefix.path())) {
        EXPECT_EQ(entry.path().filename().string().find("system.reg.tmp"), std::string::npos)
            << entry.path();
    }
    ::unsetenv("VANTOR_REGISTRY");
}

TEST(WinePrefix, Win64RegistryReadWrittenBackAndEditedAsWineReadsIt) { check_prefix("win64"); }

TEST(WinePrefix, Win64GameKeysThroughTheLibraryAndVantorctl) { check_library("win64"); }

TEST(WinePrefix, Win32GameKeysThroughTheLibraryAndVantorctl) { check_library("win32"); }

TEST(WinePrefix, Win32RegistryReadWrittenBackAndEditedAsWineReadsIt) { check_prefix("win32"); }

}  // namespace
}  // namespace vantor::hive
