// vantorctl import beside Wine's own regedit, on the .reg files in regedit/
// (a name ending in .utf16.reg is UTF-8 there, given to both as UTF-16LE
// with a byte-order mark). regedit imports them all in one process into the
// wine_prefix_win64 fixture's registry, each under keys of its own
// (QUORIX-1, ... in its key lines), over the records at their defaults; the
// real vantorctl imports each into a store of its own. Then for each file:
// when regedit left values the records can hold, vantorctl takes the file
// and the game reads the same bytes from both; otherwise vantorctl refuses
// it and leaves its store as it was.
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "fields.h"
#include "hive/charset.h"
#include "hive/document.h"

namespace {

namespace fs = std::filesystem;
using vantor::hive::Document;
using vantor::hive::StoredKey;
using vantorctl::Kind;
using vantorctl::Record;

std::string slurp(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void spill(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string quoted(const std::string& text) {
    std::string out = "'";
    for (const char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

struct Ran {
    int status = -1;
    std::string output;  // standard output and error
};

Ran run(const std::string& command) {
    Ran result;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return result;
    char buffer[4096];
    for (std::size_t got; (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        result.output.append(buffer, got);
    }
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

bool is_utf16_name(const std::string& name) {
    const std::string suffix = ".utf16.reg";
    return name.size() > suffix.size() &&
           name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// `text` with "-N" after each "QUORIX" (in any case) of its key lines; C is
// char for an 8-bit file, char16_t for UTF-16.
template <class C>
std::basic_string<C> renamed(const std::basic_string<C>& text, const std::string& suffix) {
    std::basic_string<C> out;
    bool key_line = false;
    bool line_start = true;
    for (std::size_t at = 0; at < text.size(); ++at) {
        const C c = text[at];
        if (c == '\r' || c == '\n') {
            line_start = true;
            key_line = false;
        } else if (line_start && c != ' ' && c != '\t') {
            line_start = false;
            key_line = c == '[';
        }
        out.push_back(c);
        static const char kName[] = "QUORIX";
        bool match = key_line && at + 1 >= 6;
        for (std::size_t i = 0; match && i < 6; ++i) {
            const C d = text[at + 1 - 6 + i];
            match = d == kName[i] || d == kName[i] + ('a' - 'A');
        }
        if (match) {
            for (const char s : suffix) out.push_back(static_cast<C>(s));
        }
    }
    return out;
}

// The file as regedit gets it: its game's keys renamed QUORIX-N.
std::string for_regedit(const std::string& bytes, int n) {
    const std::string suffix = "-" + std::to_string(n);
    if (bytes.compare(0, 2, "\xFF\xFE") != 0) return renamed(bytes, suffix);
    std::u16string units;
    for (std::size_t at = 2; at + 1 < bytes.size(); at += 2) {
        units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[at]) |
                                              static_cast<unsigned char>(bytes[at + 1]) << 8));
    }
    std::string out = "\xFF\xFE";
    for (const char16_t unit : renamed(units, suffix)) {
        out.push_back(static_cast<char>(unit & 0xFF));
        out.push_back(static_cast<char>(unit >> 8));
    }
    return out;
}

// What the game reads of each value, by name, or why the records cannot
// hold what is there.
struct Reading {
    std::map<std::string, std::string> values;
    std::string refused;  // empty when the records hold every value
};

const char* key_of(Record record) { return record == Record::kGame ? "Game" : "Keyboard"; }

// The game's values regedit left for file N: those of HKLM\Software\QUORIX-N
// (seeded with the defaults), under each copy a file from Windows may name
// (the 32-bit view, a standard user's VirtualStore), as vantorctl takes
// them. Strings are UTF-16LE in Wine's registry; the game reads them in
// windows-1252, which must hold each character.
Reading regedit_reading(const Document& system, const Document& user, int n) {
    Reading reading;
    const std::string quorix = "QUORIX-" + std::to_string(n) + "\\";
    for (const vantorctl::Setting* field = vantorctl::fields_begin();
         field != vantorctl::fields_end(); ++field) {
        const std::string key = quorix + key_of(field->record);
        const vantor::hive::Value* value = nullptr;
        for (const auto& [document, path] : std::vector<std::pair<const Document*, std::string>>{
                 {&system, "Software\\" + key},
                 {&system, "Software\\Wow6432Node\\" + key},
                 {&user, "Software\\Classes\\VirtualStore\\MACHINE\\SOFTWARE\\" + key},
                 {&user, "Software\\Classes\\VirtualStore\\MACHINE\\SOFTWARE\\WOW6432Node\\" + key},
             }) {
            const StoredKey* stored = document->find(path);
            if (const vantor::hive::Value* found = stored ? stored->find(field->name) : nullptr) {
                value = found;
            }
        }
        const std::string name = field->name;
        if (value == nullptr) {
            reading.refused += name + " is gone; ";
            continue;
        }
        if (field->kind != Kind::kText) {
            if (value->type != 4 || value->data.size() != 4) {
                reading.refused += name + " is not a dword; ";
            }
            reading.values[name] = value->data;
            continue;
        }
        if (value->type != 1 && value->type != 2) {
            reading.refused += name + " is not a string; ";
            continue;
        }
        std::string text;
        for (std::size_t at = 0; at + 1 < value->data.size(); at += 2) {
            const char32_t unit = static_cast<unsigned char>(value->data[at]) |
                                  static_cast<unsigned char>(value->data[at + 1]) << 8;
            const int byte = vantor::hive::unicode_to_windows1252(unit);
            if (byte < 0) reading.refused += name + " holds a character beyond windows-1252; ";
            text.push_back(static_cast<char>(byte));
        }
        if (!text.empty() && text.back() == '\0') text.pop_back();
        if (text.find('\0') != std::string::npos) reading.refused += name + " holds a NUL; ";
        if (text.size() > 255) reading.refused += name + " is longer than 255 bytes; ";
        reading.values[name] = text;
    }
    return reading;
}

// The game's values in vantorctl's store (a REGEDIT4 hive of the game's bytes).
std::map<std::string, std::string> store_values(const std::string& hive) {
    std::map<std::string, std::string> values;
    const std::optional<Document> document = Document::parse(hive);
    if (!document) return values;
    for (const Record record : {Record::kGame, Record::kKeys}) {
        if (const StoredKey* key = document->find(vantorctl::record_key_path(record))) {
            for (const vantor::hive::Value& value : key->values) values[value.name] = value.data;
        }
    }
    return values;
}

TEST(Regedit, ImportsWhatRegeditImportsAndRefusesWhatTheRecordsCannotHold) {
    const char* prefix = std::getenv("VANTOR_WINE_PREFIX_WIN64");
    const char* script = std::getenv("VANTOR_WINE_SCRIPT");
    if (prefix == nullptr || script == nullptr) {
        GTEST_SKIP() << "run through ctest: the fixture wine_prefix_win64 makes the prefix";
    }
    const fs::path work = VANTOR_REGEDIT_WORK;
    fs::remove_all(work);
    fs::create_directories(work);
    const std::string vantorctl = VANTORCTL;
    const auto ctl = [&](const fs::path& hive, const std::string& args) {
        return run("VANTOR_REGISTRY=" + quoted(hive.string()) + " " + quoted(vantorctl) + " " +
                   args);
    };

    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(VANTOR_REGEDIT_CORPUS)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    ASSERT_FALSE(names.empty());

    // The records at their defaults, as regedit is to find them for each file.
    ASSERT_EQ(ctl(work / "defaults.hive", "create").status, 0);
    const Ran defaults = ctl(work / "defaults.hive", "export");
    ASSERT_EQ(defaults.status, 0) << defaults.output;
    std::string seed = "REGEDIT4\r\n\r\n";
    std::string regedit_args = "seed.reg";
    struct Imported {
        std::string name;
        Ran run;
        std::string before;
        std::string after;
    };
    std::vector<Imported> imported;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const int n = static_cast<int>(i) + 1;
        std::string bytes = slurp(fs::path(VANTOR_REGEDIT_CORPUS) / names[i]);
        if (is_utf16_name(names[i])) {
            std::string utf16;
            ASSERT_TRUE(vantor::hive::utf8_to_utf16le(bytes, &utf16)) << names[i];
            bytes = "\xFF\xFE" + utf16;
        }
        spill(work / names[i], bytes);
        spill(work / ("regedit-" + std::to_string(n) + ".reg"), for_regedit(bytes, n));
        regedit_args += " regedit-" + std::to_string(n) + ".reg";
        seed += renamed(defaults.output.substr(defaults.output.find('[')), "-" + std::to_string(n));

        const fs::path hive = work / (names[i] + ".hive");
        ASSERT_EQ(ctl(hive, "create").status, 0);
        Imported result{names[i], {}, slurp(hive), {}};
        result.run = ctl(hive, "import --ignore-unknown " + quoted((work / names[i]).string()));
        result.after = slurp(hive);
        imported.push_back(std::move(result));
    }
    spill(work / "seed.reg", seed);

    const std::string wine = "sh " + quoted(script) + " win64 " + quoted(prefix);
    const Ran regedit =
        run("cd " + quoted(work.string()) + " && " + wine + " run regedit /s " + regedit_args);
    ASSERT_EQ(regedit.status, 0) << regedit.output;
    ASSERT_EQ(run(wine + " stop").status, 0);  // the server saves the registry
    const std::optional<Document> system = Document::parse(slurp(fs::path(prefix) / "system.reg"));
    const std::optional<Document> user = Document::parse(slurp(fs::path(prefix) / "user.reg"));
    ASSERT_TRUE(system && user);

    for (std::size_t i = 0; i < imported.size(); ++i) {
        const Imported& file = imported[i];
        const Reading reading = regedit_reading(*system, *user, static_cast<int>(i) + 1);
        SCOPED_TRACE(file.name + "\nvantorctl: " + file.run.output + "regedit: " + regedit.output);
        if (!reading.refused.empty()) {
            EXPECT_EQ(file.run.status, 2)
                << "regedit left what the records cannot hold: " << reading.refused;
            EXPECT_EQ(file.after, file.before) << "a refused import changed the store";
            continue;
        }
        EXPECT_EQ(file.run.status, 0) << "regedit left values the records hold";
        if (file.run.status == 0) {
            EXPECT_EQ(store_values(file.after), reading.values);
        }
    }
}

}  // namespace
