#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

#include "hive/format.h"

namespace vantor::hive {
namespace {

std::string read_golden(const std::string& name) {
    std::ifstream file(std::string(VANTOR_GOLDEN_DIR) + "/" + name, std::ios::binary);
    EXPECT_TRUE(file) << name;
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::string dword(std::uint32_t n) {
    return {static_cast<char>(n), static_cast<char>(n >> 8), static_cast<char>(n >> 16),
            static_cast<char>(n >> 24)};
}

std::string replace_all(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// The hive golden/full.reg holds: every kind of value line the writer makes.
Hive full_hive() {
    std::string replay;
    for (int i = 0; i < 64; ++i) replay.push_back(static_cast<char>(i));
    Hive hive;
    hive.keys = {
        {"Software", {}},
        {"Software\\QUORIX", {{"", 1, "Tank game settings"}}},
        {"Software\\QUORIX\\Game",
         {{"User Name", 1,
           "Cmdr \"Ace\" \\ \xe9"
           "clair"},
          {"Session Name", 1, ""},
          {"Protocol", 1, "line one\r\nline two"},
          {"Last Map", 1, std::string("Desert\0Storm\0", 13)},
          {"Tank Type", 4, dword(42)},
          {"Scenario", 4, dword(0xFFFFFFFF)},
          {"Computer Players", 4, std::string("\x03\0\0", 3)},
          {"Lives", 4, ""},
          {"Replay", 3, replay},
          {"Maps", 7, std::string("Desert\0Arctic\0\0", 15)},
          {"Marker", 0, ""},
          {"Odd Type", 0x12345678, "\xff"}}},
        {"Software\\QUORIX\\Keyboard",
         {{"MoveForward", 4, dword(38)}, {"Fire", 4, dword(32)}, {"Targeting", 4, dword(81)}}},
    };
    return hive;
}

std::string with_case(std::string text, bool upper) {
    for (char& c : text) {
        if (upper && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (!upper && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

// parse_key() must agree with parse() on `text`: the same verdict and
// report, and for every key (asked for in any case) the same key, for a
// key the hive lacks none.
void expect_parse_key_agrees(const std::string& text) {
    ParseError whole_error;
    const std::optional<Hive> whole = parse(text, &whole_error);
    std::vector<std::string> paths = {"No\\Such\\Key"};
    if (whole) {
        for (const StoredKey& key : whole->keys) {
            paths.push_back(key.path);
            paths.push_back(with_case(key.path, true));
            paths.push_back(with_case(key.path, false));
        }
    }
    for (const std::string& path : paths) {
        std::optional<StoredKey> key = StoredKey{"stale", {}};
        ParseError error;
        ASSERT_EQ(parse_key(text, path, &key, &error), whole.has_value()) << path << "\n" << text;
        if (!whole) {
            EXPECT_FALSE(key) << text;
            EXPECT_EQ(error.line, whole_error.line) << text;
            EXPECT_EQ(error.message, whole_error.message) << text;
            continue;
        }
        const StoredKey* expected = whole->find(path);
        ASSERT_EQ(key.has_value(), expected != nullptr) << path << "\n" << text;
        if (expected != nullptr) {
            EXPECT_EQ(*key, *expected) << path << "\n" << text;
        }
    }
}

TEST(HiveFormatGolden, WriterProducesGoldenFile) {
    EXPECT_EQ(serialize(full_hive()), read_golden("full.reg"));
}

TEST(HiveFormatGolden, ReaderReadsGoldenFile) {
    const std::optional<Hive> parsed = parse(read_golden("full.reg"));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(*parsed, full_hive());
    EXPECT_EQ(serialize(*parsed), read_golden("full.reg"));
    expect_parse_key_agrees(read_golden("full.reg"));
    expect_parse_key_agrees(replace_all(read_golden("full.reg"), "\n", "\r\n"));
}

TEST(HiveFormatGolden, ReaderAcceptsCrlfLineEnds) {
    const std::optional<Hive> parsed = parse(replace_all(read_golden("full.reg"), "\n", "\r\n"));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(*parsed, full_hive());
}

TEST(HiveFormatReader, AcceptsHandWrittenVariants) {
    const std::string text =
        "REGEDIT4  \n"
        "; settings of the tank game\n"
        "# edited by hand\n"
        "   \t\n"
        "[hkey_local_machine\\Software]\t\n"
        "\"A\"=dword:2A\n"
        "\"B\"=dword:FfFfFfFf  \n"
        "\"C\"=hex(4):2A,00,00,00\n"
        "\"D\"=hex(A):01,\\\n"
        "\t02,\\\n"
        "      0F\n"
        "\"E\"=hex:\n"
        "@=\"\"\n"
        "\"F\"=hex(0001):41";  // no final line end
    Hive expected;
    expected.keys = {{"Software",
                      {{"A", 4, dword(42)},
                       {"B", 4, dword(0xFFFFFFFF)},
                       {"C", 4, dword(42)},
                       {"D", 10, "\x01\x02\x0f"},
                       {"E", 3, ""},
                       {"", 1, ""},
                       {"F", 1, "A"}}}};
    const std::optional<Hive> parsed = parse(text);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(*parsed, expected);
    expect_parse_key_agrees(text);
}

TEST(HiveFormatReader, AddsMissingParentsAndLetsALaterSectionFillThem) {
    const std::optional<Hive> parsed = parse(
        "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\QUORIX\\Game]\n\"a\"=\"1\"\n\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE]\n\"b\"=\"2\"\n");
    ASSERT_TRUE(parsed);
    Hive expected;
    expected.keys = {{"Software", {{"b", 1, "2"}}},
                     {"Software\\QUORIX", {}},
                     {"Software\\QUORIX\\Game", {{"a", 1, "1"}}}};
    EXPECT_EQ(*parsed, expected);
}

// Keys are matched in any case however many the hive holds: a child under
// another spelling of its parent adds no key, and a second section for a
// key is rejected, early or late in a long hive.
TEST(HiveFormatReader, MatchesKeysInAnyCaseInLongHives) {
    std::string text = "REGEDIT4\n\n";
    Hive expected;
    expected.keys.push_back({"Software", {}});
    for (std::uint32_t i = 0; i < 40; ++i) {
        const std::string path = "Software\\App" + std::to_string(i);
        char value[32];
        std::snprintf(value, sizeof value, "\"v\"=dword:%08x\n\n", i);
        text += "[HKEY_LOCAL_MACHINE\\" + path + "]\n" + value;
        expected.keys.push_back({path, {{"v", 4, dword(i)}}});
    }
    text += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\APP3\\Sub]\n\n";
    text += "[HKEY_LOCAL_MACHINE\\software\\app39\\Sub]\n\n";
    expected.keys.push_back({"SOFTWARE\\APP3\\Sub", {}});
    expected.keys.push_back({"software\\app39\\Sub", {}});
    const std::optional<Hive> parsed = parse(text);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(*parsed, expected);

    expect_parse_key_agrees(text);

    EXPECT_FALSE(parse(text + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\app0]\n"));
    EXPECT_FALSE(parse(text + "[HKEY_LOCAL_MACHINE\\software\\APP39]\n"));
    EXPECT_FALSE(parse(text + "[HKEY_LOCAL_MACHINE\\Software\\App3\\SUB]\n"));
}

TEST(HiveFormatReader, RejectsCorruptInput) {
    const std::string head = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software]\n";
    const std::string corrupt[] = {
        "",
        "REGEDIT5\n",
        "\n" + head,
        "REGEDIT4\n\n\"a\"=\"value before any section\"\n",
        "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software]\n",
        "REGEDIT4\n\n[HKEY_LOCAL_MACHINE]\n",
        "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\]\n",
        "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\\\QUORIX]\n",
        "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\]\n",
        "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\n",
        "REGEDIT4\n\n[-HKEY_LOCAL_MACHINE\\Software]\n",
        "REGEDIT4\n\n [HKEY_LOCAL_MACHINE\\Software]\n",
        head + head.substr(10),                         // the same key twice
        head + "\"a\"=\"1\"\n\"A\"=\"2\"\n",            // the same value twice
        head + "\"a\"=\"tab\\t\"\n",                    // unknown escape
        head + "\"a\"=\"open\n",                        // no closing quote
        head + "\"a=\"x\"\n",                           // name without its quote
        head + "\"\"=\"empty name\"\n",                 // the default value is @
        head + "\"a\"=\"x\" junk\n",                    // text after a value
        head + "\"a\" = \"x\"\n",                       // spaces around =
        head + "\"a\"\n",                               // no =
        head + "\"a\"=-\n",                             // deletion
        head + "\"a\"=x\n",                             // unknown data
        head + "\"a\"=dword:\n",                        // no digits
        head + "\"a\"=dword:123456789\n",               // nine digits
        head + "\"a\"=dword:12g\n",                     // not hex
        head + "\"a\"=hex:4\n",                         // one digit
        head + "\"a\"=hex:4g\n",                        // not hex
        head + "\"a\"=hex:41,\n",                       // trailing comma
        head + "\"a\"=hex:41 ,42\n",                    // space in the list
        head + "\"a\"=hex:41,\\\n",                     // continued past the end
        head + "\"a\"=hex:41,\\\n\n  42\n",             // continued by a blank line
        head + "\"a\"=hex(7:41\n",                      // no closing parenthesis
        head + "\"a\"=hex():41\n",                      // no type
        head + "\"a\"=hex(123456789):41\n",             // type over 32 bits
        head + std::string("\"a\"=\"nul\0\"\n", 11),    // NUL byte
        head + "\"q\\\"x\"=\"1\"\n\"Q\\\"X\"=\"2\"\n",  // the same escaped name twice
        head + "\"a\rb\"=\"1\"\n\"A\\rB\"=\"2\"\n",     // a CR as itself, then escaped
    };
    for (const std::string& text : corrupt) {
        EXPECT_FALSE(parse(text)) << text;
        expect_parse_key_agrees(text);
    }
}

TEST(HiveFormatReader, ReportsTheFirstWrongLine) {
    const std::string head = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software]\r\n";  // lines 1-3
    const struct {
        std::string text;
        std::size_t line;
        const char* message;
    } cases[] = {
        {"", 1, "the first line is not REGEDIT4"},
        {"REGEDIT5\n", 1, "the first line is not REGEDIT4"},
        {"REGEDIT4\n; note\n\"a\"=\"1\"\n", 3, "value line before any key line"},
        {head + "[HKEY_CURRENT_USER\\Software]\n", 4, "key not under HKEY_LOCAL_MACHINE"},
        {head + "[HKEY_LOCAL_MACHINE\\Software\\]\n", 4, "malformed key line"},
        {head + "[-HKEY_LOCAL_MACHINE\\Software]\n", 4, "malformed key line"},
        {head + "\n[HKEY_LOCAL_MACHINE\\SOFTWARE]\n", 5, "second section for the same key"},
        {head + "\"a\"=\"1\"\n\"b\"=dword:1\n\"A\"=\"2\"\n", 6,
         "second value of the same name in one key"},
        {head + "\"a\"=\"x\" junk\r\n", 4, "malformed value line"},
        {head + "\"a\"=hex:41,\\\n  42,\\\n  4g\n", 6, "malformed value line"},
        {head + "\n\n" + std::string("\"a\"=\"nul\0\"\n", 11), 6, "NUL byte"},
    };
    for (const auto& c : cases) {
        ParseError error;
        EXPECT_FALSE(parse(c.text, &error)) << c.text;
        EXPECT_EQ(error.line, c.line) << c.text;
        EXPECT_EQ(error.message, c.message) << c.text;
        EXPECT_FALSE(parse(c.text, nullptr)) << c.text;
        expect_parse_key_agrees(c.text);
    }
    // A good text parses as it does without the report, which stays untouched.
    ParseError untouched{7, "before"};
    const std::string good = head + "\"a\"=dword:00000001\n";
    EXPECT_EQ(parse(good, &untouched), parse(good));
    EXPECT_TRUE(parse(good, &untouched));
    EXPECT_EQ(untouched.line, 7u);
}

// Value names are compared as decoded, in any case, however long the key
// and whether or not they hold escapes; the names of one key do not clash
// with those of another.
TEST(HiveFormatReader, FindsRepeatedNamesAmongManyEscapedOnes) {
    std::string text = "REGEDIT4\n\n";
    for (const char* key : {"[HKEY_LOCAL_MACHINE\\A]\n", "[HKEY_LOCAL_MACHINE\\B]\n"}) {
        text += key;
        for (int i = 0; i < 40; ++i) {
            const std::string n = std::to_string(i);
            text += i % 2 == 0 ? "\"v\\\\" + n + "\"=\"x\"\n" : "\"plain " + n + "\"=dword:1\n";
        }
    }
    ASSERT_TRUE(parse(text));
    expect_parse_key_agrees(text);
    for (const char* again : {"\"V\\\\38\"=\"y\"\n", "\"PLAIN 39\"=\"y\"\n", "\"v\\\\0\"=hex:\n"}) {
        EXPECT_FALSE(parse(text + again)) << again;
        expect_parse_key_agrees(text + again);
    }
}

TEST(HiveFormatWriter, WritesEveryKeyOnTheWay) {
    Hive hive;
    hive.keys = {{"Software\\QUORIX\\Game", {{"a", 4, dword(1)}}}, {"Software", {{"b", 1, "x"}}}};
    EXPECT_EQ(serialize(hive),
              "REGEDIT4\n\n"
              "[HKEY_LOCAL_MACHINE\\Software]\n\"b\"=\"x\"\n\n"
              "[HKEY_LOCAL_MACHINE\\Software\\QUORIX]\n\n"
              "[HKEY_LOCAL_MACHINE\\Software\\QUORIX\\Game]\n\"a\"=dword:00000001\n\n");
}

// Random hives with arbitrary names, types and bytes survive a round trip;
// and after one key's values change, rewriting that key's section of the
// text gives what writing the whole hive again gives.
TEST(HiveFormatWriter, RoundTripsRandomHives) {
    std::mt19937 random(20240607);
    const auto bytes = [&](std::size_t max, bool key_name) {
        std::string out(1 + random() % max, 'x');
        for (char& c : out) {
            do {
                c = static_cast<char>(random() % 256);
            } while (c == '\0' || (key_name && (c == '\\' || c == '\r' || c == '\n')));
        }
        return out;
    };
    const std::uint32_t types[] = {0, 1, 1, 3, 4, 4, 7, 0xFFFFFFFF};
    for (int round = 0; round < 200; ++round) {
        Hive hive;
        for (std::uint32_t k = random() % 4; k > 0; --k) {
            std::string path = bytes(8, true);
            for (std::uint32_t depth = random() % 3; depth > 0; --depth) {
                path += "\\" + bytes(8, true);
            }
            StoredKey& key = hive.ensure(path);
            for (std::uint32_t v = random() % 5; v > 0; --v) {
                std::string data = bytes(90, false);
                if (random() % 4 == 0) data[random() % data.size()] = '\0';
                if (random() % 4 == 0) data.resize(4);
                key.set(random() % 8 == 0 ? "" : bytes(12, false), types[random() % 8], data);
            }
        }
        Sections sections;
        std::string text = serialize(hive, &sections);
        ASSERT_EQ(text, serialize(hive));
        const std::optional<Hive> parsed = parse(text);
        ASSERT_TRUE(parsed) << text;
        ASSERT_EQ(*parsed, hive) << text;
        expect_parse_key_agrees(text);

        if (hive.keys.empty()) continue;
        const std::size_t index = random() % hive.keys.size();
        StoredKey& key = hive.keys[index];
        if (!key.values.empty() && random() % 2 == 0) key.values.erase(key.values.begin());
        key.set(bytes(12, false), types[random() % 8], bytes(90, false));
        ASSERT_TRUE(rewrite_section(hive, index, &text, &sections));
        Sections expected;
        ASSERT_EQ(text, serialize(hive, &expected));
        ASSERT_EQ(sections.size(), expected.size());
        for (std::size_t i = 0; i < sections.size(); ++i) {
            EXPECT_EQ(sections[i].begin, expected[i].begin) << i;
            EXPECT_EQ(sections[i].end, expected[i].end) << i;
        }
    }
}

}  // namespace
}  // namespace vantor::hive
