// The tool's pure pieces: the value table, key names, value checks and .reg
// files, without a library or a process.
#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "charset.h"
#include "fields.h"
#include "keys/key_names.h"
#include "reg_file.h"
#include "support/defaults.h"
#include "values.h"

namespace vantorctl {
namespace {

using vantor::keys::all_key_names;
using vantor::keys::key_code;
using vantor::keys::key_name;
using vantor::keys::KeyNames;

std::string dword(std::uint32_t n) {
    return {static_cast<char>(n), static_cast<char>(n >> 8), static_cast<char>(n >> 16),
            static_cast<char>(n >> 24)};
}

std::string utf16le(const std::string& latin1) {
    std::string out = "\xFF\xFE";
    for (const char c : latin1) {
        out.push_back(c);
        out.push_back('\0');
    }
    return out;
}

const Setting& field(const char* name) {
    const Setting* found = find_field(name);
    EXPECT_NE(found, nullptr) << name;
    return *found;
}

// --- The value table --------------------------------------------------------

TEST(FieldTable, FindsRegistryAndFieldNamesInAnyCase) {
    EXPECT_EQ(&field("User Name"), &field("username"));
    EXPECT_EQ(&field("MIDI Volume"), &field("MidiVolume"));
    EXPECT_EQ(&field("wav volume"), &field("WAVVOLUME"));
    EXPECT_EQ(&field("fire"), &field("Fire"));
    EXPECT_EQ(find_field("UserName "), nullptr);
    EXPECT_EQ(find_field("Bogus"), nullptr);
    EXPECT_EQ(find_field(""), nullptr);
    EXPECT_EQ(find_field("User"), nullptr);
}

TEST(FieldTable, MaskBitsMatchTheHeaderAndCoverEachRecordOnce) {
    EXPECT_EQ(field("Lives").bit, VANTOR_GAME_LIVES);
    EXPECT_EQ(field("MIDI Volume").bit, VANTOR_GAME_MIDI_VOLUME);
    EXPECT_EQ(field("Video Mode").bit, VANTOR_GAME_VIDEO_MODE);
    EXPECT_EQ(field("Weapons").bit, VANTOR_KEY_WEAPONS);
    EXPECT_EQ(field("Fire").bit, VANTOR_KEY_FIRE);
    for (const Record record : {Record::kGame, Record::kKeys}) {
        std::uint32_t mask = 0;
        int count = 0;
        for (const Setting* f = fields_begin(); f != fields_end(); ++f) {
            if (f->record != record) continue;
            EXPECT_EQ(mask & f->bit, 0u) << f->name;
            mask |= f->bit;
            ++count;
        }
        EXPECT_EQ(mask, VANTOR_MASK_ALL);
        EXPECT_EQ(count, 12);
    }
}

// Each value reaches exactly its own field's bytes: a wrong offset would
// make set write a neighbour.
TEST(FieldTable, EachValueChangesOnlyItsOwnField) {
    for (const Setting* f = fields_begin(); f != fields_end(); ++f) {
        Records records;
        if (f->kind == Kind::kText) {
            put_text(records, *f, "x");
            EXPECT_EQ(get_text(records, *f), "x");
        } else {
            put_number(records, *f, 0xA1B2C3D4u);
            EXPECT_EQ(get_number(records, *f), 0xA1B2C3D4u);
        }
        Records expected;
        const auto* game = reinterpret_cast<const unsigned char*>(&records.game);
        const auto* keys = reinterpret_cast<const unsigned char*>(&records.keys);
        std::size_t changed = 0;
        for (std::size_t i = 0; i < sizeof records.game; ++i) changed += game[i] != 0;
        for (std::size_t i = 0; i < sizeof records.keys; ++i) changed += keys[i] != 0;
        EXPECT_EQ(changed, f->kind == Kind::kText ? 1u : 4u) << f->name;
        if (f->kind != Kind::kText) {
            const std::size_t size =
                f->record == Record::kGame ? sizeof records.game : sizeof records.keys;
            EXPECT_LE(f->offset + 4, size) << f->name;
        }
    }
    Records records;
    records.keys.Fire = 70;
    records.game.MidiVolume = 64;
    std::strcpy(records.game.LastMap, "Arctic");
    EXPECT_EQ(get_number(records, field("Fire")), 70u);
    EXPECT_EQ(get_number(records, field("MIDI Volume")), 64u);
    EXPECT_EQ(get_text(records, field("Last Map")), "Arctic");
}

TEST(FieldTable, TextsAreCutAt255BytesAndAlwaysEnd) {
    Records records;
    std::memset(records.game.Protocol, 'p', sizeof records.game.Protocol);
    EXPECT_EQ(get_text(records, field("Protocol")).size(), 256u);  // never reads past
    put_text(records, field("Protocol"), std::string(300, 'q'));
    EXPECT_EQ(get_text(records, field("Protocol")), std::string(255, 'q'));
    put_text(records, field("Protocol"), "ab");
    EXPECT_EQ(records.game.Protocol[2], '\0');
    EXPECT_EQ(records.game.Protocol[3], '\0');  // no tail of the longer text left
}

// Both records with every field at its default.
Records records_at_defaults() { return {vantor::test::game_defaults(), vantor::test::key_defaults()}; }

TEST(FieldTable, KnowsTheDefaults) {
    Records records = records_at_defaults();
    for (const Setting* f = fields_begin(); f != fields_end(); ++f)
        EXPECT_TRUE(is_default(records, *f));
    // Putting each default in as set and import do gives the same records.
    Records put;
    for (const Setting* f = fields_begin(); f != fields_end(); ++f) {
        if (f->kind == Kind::kText) {
            put_text(put, *f, f->default_text);
        } else {
            put_number(put, *f, f->default_number);
        }
    }
    EXPECT_EQ(get_text(put, field("User Name")), records.game.UserName);
    EXPECT_EQ(std::memcmp(&put.game, &records.game, sizeof put.game), 0);
    EXPECT_EQ(std::memcmp(&put.keys, &records.keys, sizeof put.keys), 0);
    put_text(records, field("User Name"), std::string(records.game.UserName) + " ");
    EXPECT_FALSE(is_default(records, field("User Name")));
}

// --- Key names --------------------------------------------------------------

TEST(KeyNames, ReadAndWriteTheSameCodes) {
    const std::pair<const char*, std::uint32_t> known[] = {
        {"A", 65},          {"z", 90},     {"0", 48},         {"9", 57},      {"Space", 32},
        {"space", 32},      {"Tab", 9},    {"Enter", 13},     {"Return", 13}, {"Escape", 27},
        {"esc", 27},        {"Shift", 16}, {"Ctrl", 17},      {"Alt", 18},    {"Up", 38},
        {"Down", 40},       {"Left", 37},  {"Right", 39},     {"Insert", 45}, {"Delete", 46},
        {"Home", 36},       {"End", 35},   {"PageUp", 33},    {"PgDn", 34},   {"F1", 112},
        {"f12", 123},       {"F24", 135},  {"Num0", 96},      {"num9", 105},  {"NumAdd", 107},
        {"NumDivide", 111}, {";", 186},    {"Comma", 188},    {"/", 191},     {"[", 219},
        {"\\", 220},        {"'", 222},    {"Backquote", 192}};
    for (const auto& [name, code] : known) {
        EXPECT_EQ(key_code(name), code) << name;
    }
    for (const char* unknown : {"", "F0", "F25", "F01", "F1x", "Num10", "Num", "AA", "Spacebars",
                                "0x20", "32", "+", "Winn", "VK_", "VK_NUMPAD10", "VK_OEM_9",
                                "Prior", "Num - -", " ", "Numpad", "Keypad 10"}) {
        EXPECT_EQ(key_code(unknown), std::nullopt) << unknown;
    }
    // Every name shown reads back as its own code.
    int named = 0;
    for (std::uint32_t code = 1; code <= 254; ++code) {
        const std::string name = key_name(code);
        if (name.empty()) continue;
        ++named;
        EXPECT_EQ(key_code(name), code) << name;
    }
    EXPECT_GT(named, 100);
    EXPECT_EQ(key_name(32), "Space");
    EXPECT_EQ(key_name(13), "Enter");
    EXPECT_EQ(key_name(0), "");
    EXPECT_EQ(key_name(255), "");
}

TEST(KeyNames, TakeNamesAsPeopleWriteThemAndTheWindowsNames) {
    const std::pair<const char*, std::uint32_t> known[] = {
        {"Left Shift", 0xA0}, {"left-shift", 0xA0}, {"page-up", 0x21}, {"Page Up", 0x21},
        {"Num 0", 0x60},      {"numpad 7", 0x67},   {"Num-", 0x6D},    {"scroll_lock", 0x91},
        {"VK_SPACE", 32},     {"vk_lshift", 0xA0},  {"VK_NUMPAD0", 0x60}, {"VK_OEM_1", 0xBA},
        {"VK_F24", 135},      {"VK_A", 65},         {"VK_7", 55},      {"VK_MENU", 0x12},
        {"Menu", 0x5D},       {"VK_BACK", 8},       {"-", 0xBD},       {"VK_OEM_MINUS", 0xBD},
        // As the keys' caps and other programs write them.
        {"Num +", 0x6B},      {"Num -", 0x6D},      {"Num .", 0x6E},   {"Num *", 0x6A},
        {"Numpad /", 0x6F},   {"Keypad 5", 0x65},   {"Num Enter", 0x0D}, {"Win", 0x5B},
        {"Apps", 0x5D},       {"PrtScn", 0x2C},     {"Spacebar", 32},  {"Space bar", 32},
        {"Break", 0x13},      {"Right Ctrl", 0xA3}, {"Arrow Up", 0x26}};
    for (const auto& [name, code] : known) {
        EXPECT_EQ(key_code(name), code) << name;
    }
    // A generic modifier is pressed with either side; the sides are apart.
    EXPECT_TRUE(vantor::keys::same_key(*key_code("Shift"), *key_code("Left Shift")));
    EXPECT_TRUE(vantor::keys::same_key(*key_code("RAlt"), *key_code("Alt")));
    EXPECT_FALSE(vantor::keys::same_key(*key_code("LShift"), *key_code("RShift")));
    EXPECT_FALSE(vantor::keys::same_key(*key_code("Shift"), *key_code("Ctrl")));
    EXPECT_EQ(key_name(0xA6), "VK_BROWSER_BACK");  // known only by its Windows name
    // The list a player reads names every code the tool takes a name for.
    std::size_t listed = 0;
    for (const KeyNames& key : all_key_names()) {
        ASSERT_FALSE(key.names.empty());
        EXPECT_EQ(key.names[0], key_name(key.code));
        for (const std::string& name : key.names) EXPECT_EQ(key_code(name), key.code) << name;
        listed += key.names.size();
    }
    EXPECT_GT(listed, 250u);
}

// --- Checking values ---------------------------------------------------------

TEST(ValueParsing, NumbersAreDecimalOrHexWithinThirtyTwoBits) {
    EXPECT_EQ(parse_number("0"), 0u);
    EXPECT_EQ(parse_number("007"), 7u);
    EXPECT_EQ(parse_number("4294967295"), 4294967295u);
    EXPECT_EQ(parse_number("0xFFFFFFFF"), 4294967295u);
    EXPECT_EQ(parse_number("0Xff"), 255u);
    EXPECT_EQ(parse_number("0x00000000000010"), 16u);
    for (const char* bad : {"", "4294967296", "99999999999999999999", "0x100000000", "0x", "-1",
                            "+1", " 1", "1 ", "1e3", "0b1", "12a", "0xg", "x10"}) {
        EXPECT_EQ(parse_number(bad), std::nullopt) << bad;
    }
}

TEST(ValueParsing, ChecksEachKindOfValue) {
    std::string problem;
    EXPECT_EQ(parse_value(field("User Name"), std::string(255, 'n'), &problem)->text.size(), 255u);
    EXPECT_EQ(parse_value(field("User Name"), "", &problem)->text, "");
    EXPECT_FALSE(parse_value(field("User Name"), std::string(256, 'n'), &problem));
    EXPECT_NE(problem.find("256 bytes"), std::string::npos) << problem;
    EXPECT_EQ(parse_value(field("Lives"), "0x10", &problem)->number, 16u);
    EXPECT_FALSE(parse_value(field("Lives"), "ten", &problem));
    EXPECT_NE(problem.find("not a number"), std::string::npos) << problem;

    // Key bindings: names first, so a single digit is that digit's key.
    EXPECT_EQ(parse_value(field("Fire"), "Space", &problem)->number, 32u);
    EXPECT_EQ(parse_value(field("Fire"), "9", &problem)->number, 57u);
    EXPECT_EQ(parse_value(field("Fire"), "0x9", &problem)->number, 9u);
    EXPECT_EQ(parse_value(field("Fire"), "09", &problem)->number, 9u);
    EXPECT_EQ(parse_value(field("Fire"), "254", &problem)->number, 254u);
    EXPECT_EQ(parse_value(field("Fire"), "0xFE", &problem)->number, 254u);
    for (const char* bad : {"255", "0x0", "00", "4294967296", ""}) {
        EXPECT_FALSE(parse_value(field("Fire"), bad, &problem)) << bad;
    }
    EXPECT_FALSE(parse_value(field("Fire"), "Foo", &problem));
    EXPECT_NE(problem.find("unknown key \"Foo\""), std::string::npos) << problem;
}

TEST(ValueParsing, AssignmentsReportEveryBadArgumentByName) {
    std::vector<std::string> problems;
    const auto good = parse_assignments(
        {"User Name=a=b", "midivolume=0x40", "Fire=F", "TurnLeft=0x25"}, &problems);
    EXPECT_TRUE(problems.empty());
    ASSERT_EQ(good.size(), 4u);
    EXPECT_EQ(good[0].text, "a=b");  // only the first = splits
    EXPECT_EQ(good[1].number, 64u);
    EXPECT_EQ(good[2].number, 70u);

    const auto bad = parse_assignments({"Lives=3", "lives=4", "Bogus=1", "Fire", "Fire=Foo",
                                        "Protocol=" + std::string(256, 'p'), "Scenario=-1"},
                                       &problems);
    ASSERT_EQ(problems.size(), 6u);
    EXPECT_NE(problems[0].find("\"lives=4\": \"Lives\" is given more than once"), std::string::npos)
        << problems[0];
    EXPECT_NE(problems[1].find("\"Bogus=1\": unknown name"), std::string::npos) << problems[1];
    EXPECT_NE(problems[1].find("list --names"), std::string::npos) << "tells where the names are";
    EXPECT_NE(problems[2].find("\"Fire\": expected NAME=VALUE"), std::string::npos);
    EXPECT_NE(problems[3].find("\"Fire=Foo\""), std::string::npos);
    EXPECT_NE(problems[4].find("\"Protocol=ppp"), std::string::npos);
    EXPECT_NE(problems[4].find("...\""), std::string::npos) << "a long argument is cut short";
    EXPECT_NE(problems[5].find("\"Scenario=-1\""), std::string::npos);
    EXPECT_EQ(bad.size(), 1u);
}

TEST(ValueParsing, ApplyGivesEachRecordItsOwnMask) {
    std::vector<std::string> problems;
    const auto assignments =
        parse_assignments({"Lives=3", "Fire=F", "WAV Volume=9", "Weapons=Tab"}, &problems);
    Records records;
    EXPECT_EQ(apply(assignments, Record::kGame, &records),
              VANTOR_GAME_LIVES | VANTOR_GAME_WAV_VOLUME);
    EXPECT_EQ(apply(assignments, Record::kKeys, &records), VANTOR_KEY_FIRE | VANTOR_KEY_WEAPONS);
    EXPECT_EQ(records.game.Lives, 3u);
    EXPECT_EQ(records.game.WavVolume, 9u);
    EXPECT_EQ(records.keys.Fire, 70u);
    EXPECT_EQ(records.keys.Weapons, 9u);
}

TEST(ValueParsing, StoredValuesNeedTheirTypeSizeAndRange) {
    std::string problem;
    EXPECT_EQ(check_stored_value(field("Last Map"), 1, "Arctic", &problem)->text, "Arctic");
    EXPECT_EQ(check_stored_value(field("Last Map"), 1, std::string("Arctic\0", 7), &problem)->text,
              "Arctic");
    EXPECT_EQ(check_stored_value(field("Last Map"), 1, std::string(255, 'm'), &problem)->text,
              std::string(255, 'm'));
    EXPECT_FALSE(check_stored_value(field("Last Map"), 1, std::string(256, 'm'), &problem));
    EXPECT_FALSE(check_stored_value(field("Last Map"), 1, std::string("a\0b", 3), &problem));
    EXPECT_FALSE(check_stored_value(field("Last Map"), 4, dword(1), &problem));
    EXPECT_EQ(problem, "must be a string");
    EXPECT_EQ(check_stored_value(field("Scenario"), 4, dword(0xFFFFFFFF), &problem)->number,
              0xFFFFFFFFu);
    EXPECT_FALSE(check_stored_value(field("Scenario"), 4, "abc", &problem));
    EXPECT_FALSE(check_stored_value(field("Scenario"), 3, dword(1), &problem));
    EXPECT_FALSE(check_stored_value(field("Scenario"), 1, "1", &problem));
    EXPECT_EQ(problem, "must be a dword");
    EXPECT_EQ(check_stored_value(field("Fire"), 4, dword(254), &problem)->number, 254u);
    // The library stores any key code: one outside 1 to 254 is taken back,
    // with a warning, so that an export always imports.
    for (const std::uint32_t code : {0u, 255u, 0xFFFFFFFFu}) {
        std::string warning;
        EXPECT_EQ(check_stored_value(field("Fire"), 4, dword(code), &problem, &warning)->number,
                  code);
        EXPECT_NE(warning.find("out of range"), std::string::npos) << code;
    }
}

// --- .reg files --------------------------------------------------------------

Records sample_records() {
    Records records = records_at_defaults();
    std::strcpy(records.game.UserName, "Cmdr \"Ace\" \\ \xE9");
    std::strcpy(records.game.SessionName, "line one\r\nline two");
    put_text(records, field("Last Map"), "");
    records.game.Scenario = 0xFFFFFFFF;
    records.game.MidiVolume = 64;
    records.keys.Fire = 70;
    return records;
}

Records imported(const Import& import) {
    Records records;
    apply(import.assignments, Record::kGame, &records);
    apply(import.assignments, Record::kKeys, &records);
    return records;
}

TEST(RegFile, ExportsWhatRegeditImports) {
    const std::string text = export_reg(sample_records());
    EXPECT_EQ(text.rfind("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software]\r\n\r\n", 0), 0u) << text;
    EXPECT_NE(text.find("\r\n[HKEY_LOCAL_MACHINE\\Software\\QUORIX\\Game]\r\n"
                        "\"User Name\"=\"Cmdr \\\"Ace\\\" \\\\ \xE9\"\r\n"),
              std::string::npos)
        << text;
    // regedit reads no \r or \n escapes: such a text goes as REG_SZ bytes.
    EXPECT_NE(text.find("\"Session Name\"=hex(1):6c,69,6e,65,20,6f,6e,65,0d,0a,6c,69,6e,65,20,74,"
                        "77,6f,\\\r\n  00\r\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\"Last Map\"=\"\"\r\n"), std::string::npos);
    EXPECT_NE(text.find("\"Scenario\"=dword:ffffffff\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\n[HKEY_LOCAL_MACHINE\\Software\\QUORIX\\Keyboard]\r\n"
                        "\"MoveForward\"=dword:00000026\r\n"),
              std::string::npos);
    EXPECT_NE(text.find("\"Fire\"=dword:00000046\r\n"), std::string::npos);
    EXPECT_EQ(text.find('\n'), text.find("\r\n") + 1);
    EXPECT_EQ(text.substr(text.size() - 4), "\r\n\r\n");  // ends with a blank line
}

TEST(RegFile, ImportsItsOwnExportAsTheSameRecords) {
    const Records records = sample_records();
    const Import import = import_reg(export_reg(records), false);
    EXPECT_TRUE(import.problems.empty());
    EXPECT_TRUE(import.ignored.empty());
    ASSERT_EQ(import.assignments.size(), 24u);
    const Records back = imported(import);
    EXPECT_EQ(std::memcmp(&back.game, &records.game, sizeof records.game), 0);
    EXPECT_EQ(std::memcmp(&back.keys, &records.keys, sizeof records.keys), 0);
}

TEST(RegFile, ImportsUtf16WithBomAndCrlf) {
    const std::string text = utf16le(
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\QUORIX\\Game]\r\n"
        "\"User Name\"=\"J\xE9r\xF4me\"\r\n"
        "\"lives\"=dword:00000007\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\QUORIX\\Keyboard]\r\n"
        "\"Fire\"=dword:00000046\r\n");
    const Import import = import_reg(text, false);
    EXPECT_TRUE(import.problems.empty()) << import.problems[0].message;
    const Records records = imported(import);
    EXPECT_STREQ(records.game.UserName, "J\xE9r\xF4me");
    EXPECT_EQ(records.game.Lives, 7u);
    EXPECT_EQ(records.keys.Fire, 70u);
    ASSERT_EQ(import.assignments.size(), 3u);

    // The same in UTF-8 with its BOM, and a REGEDIT4 file with LF only.
    EXPECT_EQ(import_reg("\xEF\xBB\xBFWindows Registry Editor Version 5.00\n\n"
                         "[HKEY_LOCAL_MACHINE\\Software\\QUORIX\\Game]\n\"Lives\"=dword:7\n",
                         false)
                  .assignments.size(),
              1u);
    EXPECT_EQ(import_reg("REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\QUORIX\\Game]\n"
                         "; a comment\n\"Lives\"=dword:7",
                         false)
                  .assignments.size(),
              1u);
}

TEST(RegFile, MalformedFilesNameTheLine) {
    const struct {
        std::string text;
        std::size_t line;
    } cases[] = {
        {"REGEDIT5\r\n", 1},
        {"", 1},
        {"REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\QUORIX\\Game]\r\n\"Lives\"=dword:7 x\r\n",
         4},
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\QUORIX\\Game]\n\"Lives\"=dword:7\n"
         "\"Scenario\"=dword:123456789\n",
         4},
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\QUORIX\\Game]\n\"Lives\"=-\n", 3},
        {"REGEDIT4\n\n[-HKEY_LOCAL_MACHINE\\Software\\QUORIX]\n", 3},
        {utf16le("Windows Registry Editor Version 5.00\r\n\r\n"
                 "[HKEY_LOCAL_MACHINE\\Software\\QUORIX\\Game]\r\n\"Lives\"=dword:\r\n"),
         4},
        // A character the game's 8-bit texts cannot hold.
        {utf16le("Windows Registry Editor Version 5.00\r\n\r\n") + std::string("\x3A\x26", 2), 3},
        // What regedit skips, and so complains of: a blank before a comma, an
        // escape it does not know, a # after data, a hex list whose next
        // line is no list, a value after a deleted key.
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\QUORIX\\Game]\n\"Lives\"=hex(4):07 ,0,0,0\n", 3},
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\QUORIX\\Game]\n\"User Name\"=\"a\\tb\"\n", 3},
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\QUORIX\\Game]\n\"Lives\"=dword:7 # 7\n", 3},
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\QUORIX\\Game]\n\"Lives\"=hex(4):07,\\\n\n"
         "\"Scenario\"=dword:1\n",
         5},
        {"REGEDIT4\n[-HKEY_CURRENT_USER\\Software\\Other]\n\"Lives\"=dword:7\n", 3},
    };
    for (const auto& c : cases) {
        const Import import = import_reg(c.text, true);
        ASSERT_EQ(import.problems.size(), 1u) << c.text;
        EXPECT_EQ(import.problems[0].line, c.line) << c.text << import.problems[0].message;
        EXPECT_TRUE(import.assignments.empty()) << c.text;
    }
    EXPECT_FALSE(import_reg(utf16le("REGEDIT4\r\n") + "\x41", false).problems.empty())
        << "odd number of bytes";
}

TEST(RegFile, OtherKeysAndValuesAreProblemsUnlessIgnored) {
    const std::string text =
        "REGEDIT4\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\QUORIX\\Game]\r\n"  // line 3
        "\"Lives\"=dword:00000009\r\n"
        "\"Data\"=hex:00,01,\\\r\n  02\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\Software\\QUORIX]\r\n"
        "\r\n[HKEY_LOCAL_MACHINE\\Software\\QUORIX\\Game]\r\n"
        "\"Lives\"=dword:00000003\r\n"
        "\"Difficulty\"=dword:00000001\r\n"
        "@=\"default value\"\r\n"
        "\r\n[HKEY_LOCAL_MACHINE\\Software\\Other]\r\n";
    const Import strict = import_reg(text, false);
    ASSERT_EQ(strict.problems.size(), 4u);
    EXPECT_EQ(strict.problems[0].line, 3u);
    EXPECT_NE(strict.problems[0].message.find("HKEY_CURRENT_USER"), std::string::npos);
    EXPECT_NE(strict.problems[1].message.find("\"Difficulty\""), std::string::npos);
    EXPECT_NE(strict.problems[2].message.find("Game\\@"), std::string::npos);
    EXPECT_NE(strict.problems[3].message.find("Software\\Other"), std::string::npos);

    // A root is matched whole.
    const Import similar = import_reg("REGEDIT4\n[HKEY_LOCAL_MACHINEX\\Software]\n", false);
    ASSERT_EQ(similar.problems.size(), 1u);
    EXPECT_EQ(similar.problems[0].line, 2u);
    EXPECT_NE(similar.problems[0].message.find("not one of the game's keys"), std::string::npos);

    const Import lenient = import_reg(text, true);
    EXPECT_TRUE(lenient.problems.empty());
    EXPECT_EQ(lenient.ignored.size(), 4u);
    ASSERT_EQ(lenient.assignments.size(), 1u);
    EXPECT_EQ(lenient.assignments[0].number, 3u);
}

TEST(RegFile, BadValuesAreAllReportedAndNothingIsTaken) {
    const Import import = import_reg(
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\QUORIX\\Game]\n"
        "\"User Name\"=\"" +
            std::string(256, 'u') +
            "\"\n"
            "\"Lives\"=\"3\"\n"
            "\"Tank Type\"=dword:00000001\n"
            "[HKEY_LOCAL_MACHINE\\Software\\QUORIX\\Keyboard]\n"
            "\"Fire\"=dword:00000100\n",
        true);
    ASSERT_EQ(import.problems.size(), 2u);
    EXPECT_NE(import.problems[0].message.find("\"User Name\": text is 256 bytes"),
              std::string::npos);
    EXPECT_NE(import.problems[1].message.find("\"Lives\": a string (REG_SZ), where the game "
                                              "keeps a dword"),
              std::string::npos);
    ASSERT_EQ(import.warnings.size(), 1u);  // taken as the library stored it
    EXPECT_NE(import.warnings[0].find("\"Fire\": key code 256"), std::string::npos);
}

// The same characters in a UTF-8 and a UTF-16 file give the same bytes;
// hex(1) data are UTF-16LE in a UTF-16 file, and the game's bytes in any
// other, as regedit reads them.
TEST(RegFile, UnicodeFilesGiveTheGamesBytes) {
    const std::string body =
        "[HKEY_LOCAL_MACHINE\\Software\\QUORIX\\Game]\r\n"
        "\"User Name\"=\"Caf\xC3\xA9 \xE2\x82\xAC\"\r\n";
    const std::string utf8 = "Windows Registry Editor Version 5.00\r\n\r\n" + body;
    std::string utf16 = "\xFF\xFE";
    std::string units;
    for (std::size_t at = 0; at < utf8.size();) {
        const auto b = static_cast<unsigned char>(utf8[at]);
        const char32_t c = b < 0x80 ? b : b < 0xE0 ? (b & 0x1Fu) << 6 | (utf8[at + 1] & 0x3F)
                                                   : (b & 0x0Fu) << 12 |
                                                         (utf8[at + 1] & 0x3Fu) << 6 |
                                                         (utf8[at + 2] & 0x3F);
        at += b < 0x80 ? 1 : b < 0xE0 ? 2 : 3;
        utf16.push_back(static_cast<char>(c & 0xFF));
        utf16.push_back(static_cast<char>(c >> 8));
    }
    for (const std::string& text : {utf8, "\xEF\xBB\xBF" + utf8, utf16}) {
        const Import import = import_reg(text, false);
        ASSERT_TRUE(import.problems.empty()) << import.problems[0].message;
        EXPECT_STREQ(imported(import).game.UserName, "Caf\xE9 \x80");
    }
    const std::string hex = "\"Session Name\"=hex(1):41,00,42,00,00,00\r\n";
    const std::string key = "[HKEY_LOCAL_MACHINE\\Software\\QUORIX\\Game]\r\n";
    EXPECT_STREQ(
        imported(import_reg(utf16le("Windows Registry Editor Version 5.00\r\n" + key + hex), false))
            .game.SessionName,
        "AB");
    // In an 8-bit file the same data are bytes, with NULs a text cannot hold.
    for (const std::string header : {"REGEDIT4", "Windows Registry Editor Version 5.00"}) {
        const Import ansi = import_reg(header + "\r\n\r\n" + body + hex, false);
        ASSERT_EQ(ansi.problems.size(), 1u);
        EXPECT_NE(ansi.problems[0].message.find("NUL"), std::string::npos);
    }

    const Import snowman = import_reg(
        "Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\Software\\QUORIX\\Game]\n"
        "\"Protocol\"=\"\xE2\x98\x83\"\n",
        false);
    ASSERT_EQ(snowman.problems.size(), 1u);
    EXPECT_NE(snowman.problems[0].message.find("U+2603"), std::string::npos);
    const Import odd = import_reg(
        utf16le("Windows Registry Editor Version 5.00\r\n" + key + "\"Last Map\"=hex(1):41,00,42"),
        false);
    ASSERT_EQ(odd.problems.size(), 1u);
    EXPECT_NE(odd.problems[0].message.find("odd number"), std::string::npos);
}

TEST(RegFile, DeleteFormsAreUnsupportedNotMalformed) {
    const Import import = import_reg(
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\QUORIX\\Game]\n\"Lives\"=-\n"
        "\"Scenario\"=dword:1\n[-HKEY_LOCAL_MACHINE\\Software\\QUORIX\\Keyboard]\n",
        true);
    ASSERT_EQ(import.problems.size(), 2u);
    EXPECT_EQ(import.problems[0].line, 3u);
    EXPECT_NE(import.problems[0].message.find("deleting a value is not supported"),
              std::string::npos);
    EXPECT_EQ(import.problems[1].line, 5u);
    EXPECT_NE(import.problems[1].message.find("deletes the game's keys"), std::string::npos);
}

// --- Texts -------------------------------------------------------------------

TEST(Charset, EveryByteRoundTripsThroughUtf8) {
    for (int b = 1; b < 256; ++b) {
        const std::string byte(1, static_cast<char>(b));
        std::string back;
        std::string problem;
        ASSERT_TRUE(utf8_to_windows1252(windows1252_to_utf8(byte), &back, &problem)) << b;
        EXPECT_EQ(back, byte) << b;
    }
    EXPECT_EQ(windows1252_to_utf8("\x80\x9F\xE9"), "\u20AC\u0178\u00E9");
    for (const char* undefined : {"\x81", "\x8D", "\x8F", "\x90", "\x9D"}) {
        const std::string utf8 = windows1252_to_utf8(undefined);
        EXPECT_EQ(utf8, std::string("\xC2") + undefined);  // U+0081...: Windows' choice
        EXPECT_TRUE(is_undefined_windows1252(static_cast<unsigned char>(undefined[0])));
    }
    std::string out;
    std::string problem;
    for (const char* bad : {"\xC2\x80", "\u0100", "\U0001F600", "\xE9", "\xC0\xAF",
                            "\xED\xA0\x80"}) {
        EXPECT_FALSE(utf8_to_windows1252(bad, &out, &problem)) << bad;
    }
    EXPECT_NE(problem.find("not valid UTF-8"), std::string::npos) << problem;
    EXPECT_TRUE(utf16le_to_utf8(std::string("\x3D\xD8\x00\xDE", 4), &out, &problem));
    EXPECT_EQ(out, "\U0001F600");
    EXPECT_FALSE(utf16le_to_utf8(std::string("\x3D\xD8\x41\x00", 4), &out, &problem));
    EXPECT_NE(problem.find("surrogate"), std::string::npos);
}

TEST(ValueParsing, TextsComeFromTheTerminalsCharset) {
    std::string problem;
    EXPECT_EQ(parse_value(field("User Name"), "Caf\u00E9", &problem, Charset::kUtf8)->text,
              "Caf\xE9");
    EXPECT_EQ(parse_value(field("User Name"), "Caf\u00E9", &problem)->text, "Caf\u00E9");
    EXPECT_FALSE(parse_value(field("User Name"), "\u2603", &problem, Charset::kUtf8));
    // 255 characters of two UTF-8 bytes each fit: the limit is the game's.
    std::string long_text;
    for (int i = 0; i < 255; ++i) long_text += "\u00E9";
    EXPECT_EQ(parse_value(field("User Name"), long_text, &problem, Charset::kUtf8)->text.size(),
              255u);
}

}  // namespace
}  // namespace vantorctl
