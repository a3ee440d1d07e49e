#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

#include "hive/charset.h"
#include "hive/document.h"
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

// read_one_key() must agree with parse() on a REGEDIT4 `text`, and with
// Document::parse() on its report: the same verdict, and for every key
// (asked for in any case) the same key, for a key the hive lacks none.
void expect_parse_key_agrees(const std::string& text) {
    ParseError whole_error;
    const std::optional<Hive> whole = parse(text);
    EXPECT_EQ(Document::parse(text, &whole_error).has_value(), whole.has_value()) << text;
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
        ASSERT_EQ(read_one_key(text, path, &key, &error), whole.has_value()) << path << "\n"
                                                                             << text;
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

// Two hives hold the same keys, values and bytes, whatever the order of
// their keys (a Document adds keys at the end of its model, wherever their
// lines go).
void expect_same_keys(const Hive& actual, const Hive& expected) {
    ASSERT_EQ(actual.keys.size(), expected.keys.size());
    for (const StoredKey& key : expected.keys) {
        const StoredKey* found = actual.find(key.path);
        ASSERT_NE(found, nullptr) << key.path;
        EXPECT_EQ(*found, key) << key.path;
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
// text gives what writing the whole hive again gives. A Document that makes
// the same hive from nothing, and then edits it the same way, writes the
// same text.
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
        Document document;
        for (std::uint32_t k = random() % 4; k > 0; --k) {
            std::string path = bytes(8, true);
            for (std::uint32_t depth = random() % 3; depth > 0; --depth) {
                path += "\\" + bytes(8, true);
            }
            StoredKey& key = hive.ensure(path);
            document.add_key(path);
            for (std::uint32_t v = random() % 5; v > 0; --v) {
                std::string data = bytes(90, false);
                if (random() % 4 == 0) data[random() % data.size()] = '\0';
                if (random() % 4 == 0) data.resize(4);
                const std::string name = random() % 8 == 0 ? "" : bytes(12, false);
                const std::uint32_t type = types[random() % 8];
                key.set(name, type, data);
                document.set_value(key.path, name, type, data);
            }
        }
        std::string text = serialize(hive);
        document.commit();
        ASSERT_EQ(document.text(), text);
        const std::optional<Hive> parsed = parse(text);
        ASSERT_TRUE(parsed) << text;
        ASSERT_EQ(*parsed, hive) << text;
        expect_parse_key_agrees(text);

        if (hive.keys.empty()) continue;
        const std::size_t index = random() % hive.keys.size();
        StoredKey& key = hive.keys[index];
        if (!key.values.empty() && random() % 2 == 0) {
            document.delete_value(key.path, key.values.front().name);
            key.values.erase(key.values.begin());
        }
        const std::string name = bytes(12, false);
        const std::uint32_t type = types[random() % 8];
        const std::string data = bytes(90, false);
        key.set(name, type, data);
        document.set_value(key.path, name, type, data);
        document.commit();
        ASSERT_EQ(document.text(), serialize(hive));
    }
}

}  // namespace
}  // namespace vantor::hive

namespace vantor::hive {
namespace {

// The edits of the golden files *-edited.reg: a value changed, one set to
// what it holds, one added, one deleted, a key deleted, keys added.
void edit_regedit4(Document& document) {
    document.set_value("Software\\QUORIX\\Game", "user name", 1, "Cmdr \"Ace\"");
    document.set_value("Software\\QUORIX\\Game", "Tank Type", 4, dword(2));
    document.set_value("Software\\QUORIX\\Game", "Computer Players", 4, dword(3));
    document.delete_value("Software\\QUORIX\\Game", "Scenario");
    document.set_value("Software\\QUORIX\\Keyboard", "Turbo", 4, dword(0x55));
    document.delete_key("Software\\QUORIX\\Old");
    document.set_value("Software\\QUORIX\\Game\\Extra", "Level", 3, std::string("\1\2", 2));
    document.set_value("Software\\QUORIX", "", 1, "Tank game settings");
}

void edit_wine(Document& document) {
    const std::string game = "Software\\Wow6432Node\\QUORIX\\Game";
    document.set_value(game, "User Name", 1, ansi_string_data("Ace", true));
    document.set_value(game, "Fire", 4, dword(32));
    document.delete_value(game, "Path");
    document.set_value("Software\\Wow6432Node\\QUORIX\\Keyboard", "Turbo", 4, dword(84));
    document.set_value("Software\\Classes\\.bmp", "", 1, ansi_string_data("Paint.Picture", true));
    document.delete_key("Software\\Classes\\Wow6432Node");
}

constexpr std::uint64_t kEditTime = 0x1dd8800a0000000;  // a FILETIME

// Of a text others wrote, in either dialect, a write changes only the lines
// of what it changes: comments, blank lines, CRLF line ends, other
// spellings and the order stay byte for byte; new lines follow the
// dialect's form (golden files). A text read and written back unchanged is
// the same bytes, and a Document committed is ready for the next edit, as
// if it had read its own text afresh.
TEST(HiveDocument, KeepsEveryLineAnEditDoesNotChange) {
    const struct {
        const char* before;
        const char* after;
        Dialect dialect;
        void (*edit)(Document&);
    } cases[] = {
        {"others.reg", "others-edited.reg", Dialect::kRegedit4, edit_regedit4},
        {"wine.reg", "wine-edited.reg", Dialect::kWine, edit_wine},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.before);
        const std::string before = read_golden(c.before);
        ParseError error;
        std::optional<Document> document = Document::parse(before, &error);
        ASSERT_TRUE(document) << error.line << ": " << error.message;
        EXPECT_EQ(document->dialect(), c.dialect);
        document->commit(kEditTime);
        EXPECT_EQ(document->text(), before);

        c.edit(*document);
        EXPECT_TRUE(document->changed());
        document->commit(kEditTime);
        EXPECT_FALSE(document->changed());
        EXPECT_EQ(document->text(), read_golden(c.after));
        std::optional<Document> again = Document::parse(document->text());
        ASSERT_TRUE(again);
        expect_same_keys(document->hive(), again->hive());

        // The next write, on the committed Document and on one read afresh.
        const std::string last = document->hive().keys.back().path;
        const StoredKey& third = document->hive().keys[2];
        const std::string third_path = third.path;
        const std::string third_value = third.values.at(0).name;
        for (Document* next : {&*document, &*again}) {
            next->set_value(last, "Next", 1, std::string("\0\0", 2));
            next->delete_value(third_path, third_value);
            next->commit(kEditTime);
        }
        EXPECT_EQ(document->text(), again->text());
        expect_same_keys(document->hive(), Document::parse(document->text())->hive());

        // Writes to the last key alone, growing and shrinking its value (the
        // text before it stays in place): each reads back as the model.
        for (const char* data : {"a much longer text than before", "x"}) {
            const std::string previous = document->text();
            document->set_value(last, "Next", 1, std::string(data) + '\0');
            document->commit(kEditTime);
            const std::size_t head = previous.rfind(last.substr(last.rfind('\\') + 1));
            EXPECT_EQ(document->text().compare(0, head, previous, 0, head), 0);
            std::optional<Document> reread = Document::parse(document->text());
            ASSERT_TRUE(reread);
            expect_same_keys(document->hive(), reread->hive());
        }
    }
}

// What Wine holds is what the model holds: string data as UTF-16LE with
// their terminating NUL (or as hex when they have none), names and paths as
// UTF-8 from Wine's escapes, the prefix's architecture.
TEST(HiveDocument, ReadsWhatWineHolds) {
    const std::string text = read_golden("wine.reg");
    const std::optional<Document> document = Document::parse(text);
    ASSERT_TRUE(document);
    EXPECT_EQ(document->arch(), "win64");
    const StoredKey* game = document->find("SOFTWARE\\wow6432node\\quorix\\GAME");
    ASSERT_NE(game, nullptr);
    ASSERT_NE(game->find("user name"), nullptr);
    EXPECT_EQ(game->find("user name")->data, ansi_string_data("Caf\xe9 \"x\" \\ y", true));
    EXPECT_EQ(ansi_string_query(game->find("User Name")->data),
              std::string("Caf\xe9 \"x\" \\ y\0", 13));
    EXPECT_EQ(*game->find("Last Map"), (Value{"Last Map", 1, std::string("D\0e\0", 4)}));
    EXPECT_EQ(game->find("Maps")->data,
              windows1252_to_utf16le(std::string("Desert\0Arctic\0\0", 15)));
    EXPECT_EQ(game->find("Path")->type, 2u);
    const std::string odd = "Software\\Wow6432Node\\QUORIX\\Odd [1] \u4e2d \"q\"";
    ASSERT_NE(document->find(odd), nullptr);
    EXPECT_EQ(document->find(odd)->values[1], (Value{"n\u00e9 [1] \\ \"=\a", 1,
                                                     std::string("\1\0\2\0"
                                                                 "3\0\xe9\0"
                                                                 "a\0\0\0",
                                                                 12)}));
    EXPECT_NE(document->find("Software\\Wow6432Node\\QUORIX"), nullptr);  // no line of its own

    for (const StoredKey& key : document->hive().keys) {
        std::optional<StoredKey> one;
        ASSERT_TRUE(read_one_key(text, key.path, &one));
        ASSERT_TRUE(one);
        EXPECT_EQ(*one, key);
    }
}

// Keys nested deeper than the platform allows, and names longer than it
// allows, make a hive corrupt, in both dialects and however deep: a hive
// nested 2,000 keys deep is refused at its 513th level, not written back
// with every parent.
TEST(HiveDocument, RefusesKeysBeyondThePlatformsLimits) {
    const auto nested = [](std::size_t depth, const std::string& name) {
        std::string path = name;
        for (std::size_t i = 1; i < depth; ++i) path += "\\" + name;
        return path;
    };
    const auto regedit4 = [](const std::string& key, const std::string& value_name) {
        return "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\" + key + "]\n\"" + value_name + "\"=dword:1\n";
    };
    // Wine's key lines separate names with two backslashes.
    const auto wine = [](const std::string& key, const std::string& value_name) {
        return "WINE REGISTRY Version 2\n\n[" + key + "] 0\n\"" + value_name + "\"=dword:1\n";
    };
    const auto wine_nested = [](std::size_t depth, const std::string& name) {
        std::string path = name;
        for (std::size_t i = 1; i < depth; ++i) path += "\\\\" + name;
        return path;
    };
    const std::string e_acute = "\\xe9";  // one character in Wine's files
    const auto repeated = [](const std::string& text, std::size_t count) {
        std::string out;
        for (std::size_t i = 0; i < count; ++i) out += text;
        return out;
    };
    const struct {
        std::string text;
        const char* refusal;  // null: accepted
        std::size_t line;     // of the refusal
    } cases[] = {
        {regedit4(nested(512, "k"), "v"), nullptr, 0},
        {regedit4(nested(513, "k"), "v"), "key nested deeper than 512 levels", 3},
        {regedit4(nested(2000, "k"), "v"), "key nested deeper than 512 levels", 3},
        {regedit4(std::string(256, 'k'), "v"), nullptr, 0},
        {regedit4("a\\" + std::string(257, 'k'), "v"), "key name longer than 256 characters", 3},
        {regedit4("a", std::string(16383, 'v')), nullptr, 0},
        {regedit4("a", std::string(16384, 'v')), "value name longer than 16383 characters", 4},
        {wine(wine_nested(512, "k"), "v"), nullptr, 0},
        {wine(wine_nested(2000, "k"), "v"), "key nested deeper than 512 levels", 3},
        {wine(repeated(e_acute, 256), "v"), nullptr, 0},
        {wine(std::string(257, 'k'), "v"), "key name longer than 256 characters", 3},
        {wine("a", repeated(e_acute, 16383)), nullptr, 0},
        {wine("a", std::string(16384, 'v')), "value name longer than 16383 characters", 4},
    };
    for (const auto& c : cases) {
        ParseError error;
        const std::optional<Document> document = Document::parse(c.text, &error);
        EXPECT_EQ(document.has_value(), c.refusal == nullptr) << c.text.substr(0, 80);
        if (c.refusal != nullptr) {
            EXPECT_EQ(error.line, c.line);
            EXPECT_EQ(error.message, c.refusal);
        }
        if (c.text[0] == 'R') {
            EXPECT_EQ(parse(c.text).has_value(), c.refusal == nullptr);
        }
    }
    // The paths a deep key implies, parents without a line of their own
    // included, are bounded by the size of the text.
    std::string deep = "REGEDIT4\n";
    for (int i = 0; i < 300; ++i)
        deep += "[HKEY_LOCAL_MACHINE\\" + std::to_string(i) + "\\" + nested(511, "k") + "]\n";
    ParseError error;
    EXPECT_FALSE(Document::parse(deep, &error));
    EXPECT_EQ(error.message, "key paths too long in all");

    EXPECT_TRUE(valid_key_path(nested(512, std::string(256, 'k'))));
    EXPECT_FALSE(valid_key_path(nested(513, "k")));
    EXPECT_FALSE(valid_key_path("a\\" + std::string(257, 'k')));
    EXPECT_FALSE(valid_value_name(std::string(16384, 'v')));

    // Nor does an edit make such a hive: it changes nothing.
    for (const Dialect dialect : {Dialect::kRegedit4, Dialect::kWine}) {
        Document document(dialect);
        const std::string before = document.text();
        EXPECT_FALSE(document.add_key(nested(513, "k")));
        EXPECT_FALSE(document.set_value("a\\" + std::string(257, 'k'), "v", 4, dword(1)));
        EXPECT_FALSE(document.set_value("a", std::string(16384, 'v'), 4, dword(1)));
        EXPECT_FALSE(document.set_value("a", std::string("n\0ul", 4), 4, dword(1)));
        EXPECT_FALSE(document.changed());
        EXPECT_TRUE(document.set_value(nested(512, "k"), std::string(16383, 'v'), 4, dword(1)));
        document.commit(kEditTime);
        EXPECT_TRUE(Document::parse(document.text()));
    }
}

}  // namespace
}  // namespace vantor::hive
