// The five registry operations as the settings code uses them, checked
// against whichever registry this binary is linked with: the Windows
// registry, or the stand-in hive. Both must give the library the same
// results; where they may differ unnoticed, kQuirks says so.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "registry/registry.h"
#include "scratch.h"

namespace vantor::reg {
namespace {

using test::kQuirks;
using test::kScratchRoot;

constexpr unsigned char kUntouched = 0xEE;

std::string scratch(const std::string& below) { return std::string(kScratchRoot) + "\\" + below; }

// Bytes that stay the same through the ANSI code page: a, b, c, ...
std::vector<unsigned char> letters(std::size_t count) {
    std::vector<unsigned char> bytes(count);
    for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<unsigned char>('a' + i % 26);
    return bytes;
}

// A key closed at the end of the scope.
class OpenKey {
  public:
    OpenKey() = default;
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;
    ~OpenKey() { close(); }
    // The hive commits a handle's writes when it is closed.
    Status close() { return key_ != nullptr ? close_key(std::exchange(key_, nullptr)) : kSuccess; }
    Key** out() { return &key_; }
    Key* get() const { return key_; }

  private:
    Key* key_ = nullptr;
};

// What one query returned, read into a buffer of `capacity` bytes that was
// filled with kUntouched beforehand.
struct Read {
    Status status;
    std::uint32_t size;
    std::array<unsigned char, 300> buffer;

    bool untouched_from(std::size_t first, std::size_t end) const {
        for (std::size_t i = first; i < end; ++i) {
            if (buffer[i] != kUntouched) return false;
        }
        return true;
    }
};

Read query(Key* key, const char* name, std::uint32_t capacity) {
    Read read{};
    read.buffer.fill(kUntouched);
    read.size = capacity;
    read.status = query_value(key, name, read.buffer.data(), &read.size);
    return read;
}

// Stores exactly `data`. The byte after them in memory is not a NUL, so
// that a registry that takes a following NUL into a text stores none.
Status set_exact(Key* key, const char* name, std::uint32_t type,
                 const std::vector<unsigned char>& data) {
    std::vector<unsigned char> source(data);
    source.push_back('#');
    return set_value(key, name, type, source.data(), static_cast<std::uint32_t>(data.size()));
}

class RegistryConformance : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(test::clear_scratch()) << "no scratch registry"; }
    void TearDown() override { test::clear_scratch(); }

    // Creates (or opens) a key below the scratch key, failing the test if it cannot.
    void create(const std::string& below, OpenKey& key) {
        ASSERT_EQ(create_key(scratch(below).c_str(), key.out()), kSuccess) << below;
    }
};

// --- Keys -------------------------------------------------------------------

TEST_F(RegistryConformance, OpeningAMissingKeyFailsWithFileNotFoundAndCreatesNothing) {
    for (const Access access : {Access::kRead, Access::kAll}) {
        OpenKey key;
        EXPECT_EQ(open_key(scratch("Game").c_str(), access, key.out()), kFileNotFound);
    }
    OpenKey root;
    EXPECT_EQ(open_key(kScratchRoot, Access::kRead, root.out()), kFileNotFound);
}

TEST_F(RegistryConformance, CreateMakesEveryMissingKeyAlongThePath) {
    {
        OpenKey deepest;
        create("QUORIX\\Game", deepest);
    }
    for (const char* path : {"QUORIX", "QUORIX\\Game"}) {
        for (const Access access : {Access::kRead, Access::kAll}) {
            OpenKey key;
            EXPECT_EQ(open_key(scratch(path).c_str(), access, key.out()), kSuccess) << path;
        }
    }
}

TEST_F(RegistryConformance, CreateOpensAnExistingKeyWithItsValues) {
    const std::vector<unsigned char> lives{3, 0, 0, 0};
    {
        OpenKey key;
        create("Game", key);
        ASSERT_EQ(set_exact(key.get(), "Lives", kTypeDword, lives), kSuccess);
    }
    OpenKey again;
    create("Game", again);
    const Read read = query(again.get(), "Lives", 4);
    EXPECT_EQ(read.status, kSuccess);
    EXPECT_EQ(read.size, 4u);
    EXPECT_EQ(read.buffer[0], 3);
}

// The seeding's create: a missing key is made, one that is there (in any
// case) is neither opened nor touched.
TEST_F(RegistryConformance, CreateNewMakesOnlyAMissingKey) {
    {
        OpenKey made;
        ASSERT_EQ(create_new_key(scratch("Game").c_str(), made.out()), kSuccess);
        ASSERT_EQ(set_exact(made.get(), "Lives", kTypeDword, {3, 0, 0, 0}), kSuccess);
    }
    for (const char* path : {"Game", "GAME"}) {
        OpenKey again;
        EXPECT_EQ(create_new_key(scratch(path).c_str(), again.out()), kAlreadyExists) << path;
        EXPECT_EQ(again.get(), nullptr) << path;
    }
    OpenKey read;
    ASSERT_EQ(open_key(scratch("Game").c_str(), Access::kRead, read.out()), kSuccess);
    EXPECT_EQ(query(read.get(), "Lives", 4).buffer[0], 3);
}

TEST_F(RegistryConformance, KeyPathsIgnoreLetterCase) {
    OpenKey created;
    create("QUORIX\\Game", created);
    ASSERT_EQ(set_exact(created.get(), "Tank Type", kTypeDword, {7, 0, 0, 0}), kSuccess);
    ASSERT_EQ(created.close(), kSuccess);

    OpenKey opened;
    ASSERT_EQ(open_key((std::string(kScratchRoot) + "\\quorix\\GAME").c_str(), Access::kRead,
                       opened.out()),
              kSuccess);
    EXPECT_EQ(query(opened.get(), "Tank Type", 4).buffer[0], 7);

    // Creating under another spelling reaches the same key, too.
    OpenKey recreated;
    create("Quorix\\game", recreated);
    EXPECT_EQ(query(recreated.get(), "Tank Type", 4).buffer[0], 7);
}

TEST_F(RegistryConformance, KeyOpenedForReadingReadsEveryValue) {
    {
        OpenKey key;
        create("Keyboard", key);
        ASSERT_EQ(set_exact(key.get(), "Fire", kTypeDword, {32, 0, 0, 0}), kSuccess);
        ASSERT_EQ(set_exact(key.get(), "User Name", kTypeSz, letters(5)), kSuccess);
    }
    OpenKey reader;
    ASSERT_EQ(open_key(scratch("Keyboard").c_str(), Access::kRead, reader.out()), kSuccess);
    EXPECT_EQ(query(reader.get(), "Fire", 4).buffer[0], 32);
    EXPECT_EQ(query(reader.get(), "User Name", 256).size, 5u);
}

// --- Values -----------------------------------------------------------------

TEST_F(RegistryConformance, ReadingAMissingValueFailsWithFileNotFound) {
    OpenKey key;
    create("Game", key);
    const Read read = query(key.get(), "Lives", 4);
    EXPECT_EQ(read.status, kFileNotFound);
    EXPECT_TRUE(read.untouched_from(0, read.buffer.size()));
}

TEST_F(RegistryConformance, ValueNamesIgnoreLetterCase) {
    OpenKey key;
    create("Game", key);
    ASSERT_EQ(set_exact(key.get(), "MIDI Volume", kTypeDword, {1, 0, 0, 0}), kSuccess);
    EXPECT_EQ(query(key.get(), "midi volume", 4).buffer[0], 1);

    // A set under another spelling replaces the value rather than adding one.
    ASSERT_EQ(set_exact(key.get(), "Midi VOLUME", kTypeDword, {2, 0, 0, 0}), kSuccess);
    EXPECT_EQ(query(key.get(), "MIDI Volume", 4).buffer[0], 2);
}

TEST_F(RegistryConformance, SettingAValueReplacesItsDataAndType) {
    OpenKey key;
    create("Game", key);
    ASSERT_EQ(set_exact(key.get(), "Scenario", kTypeSz, letters(200)), kSuccess);
    ASSERT_EQ(set_exact(key.get(), "Scenario", kTypeDword, {9, 8, 7, 6}), kSuccess);
    const Read read = query(key.get(), "Scenario", 4);
    EXPECT_EQ(read.status, kSuccess);
    EXPECT_EQ(read.size, 4u);
    EXPECT_EQ(std::memcmp(read.buffer.data(), "\x09\x08\x07\x06", 4), 0);
}

TEST_F(RegistryConformance, DataLargerThanTheBufferFailWithMoreDataAndTouchNothing) {
    OpenKey key;
    create("Game", key);
    ASSERT_EQ(set_exact(key.get(), "Lives", kTypeDword, {1, 2, 3, 4}), kSuccess);
    ASSERT_EQ(set_exact(key.get(), "Blob", kTypeBinary, {1, 2, 3, 4, 5, 6}), kSuccess);
    ASSERT_EQ(set_exact(key.get(), "User Name", kTypeSz, letters(257)), kSuccess);

    struct Case {
        const char* name;
        std::uint32_t capacity;
        std::uint32_t stored;
    };
    for (const Case& c : {Case{"Lives", 3, 4}, Case{"Blob", 4, 6}, Case{"User Name", 256, 257}}) {
        const Read read = query(key.get(), c.name, c.capacity);
        EXPECT_EQ(read.status, kMoreData) << c.name;
        EXPECT_EQ(read.size, c.stored) << c.name;
        EXPECT_TRUE(read.untouched_from(0, read.buffer.size())) << c.name;
    }
}

TEST_F(RegistryConformance, EmptyTextReadsBackAsZeroBytes) {
    OpenKey key;
    create("Game", key);
    ASSERT_EQ(set_value(key.get(), "Last Map", kTypeSz, "", 0), kSuccess);
    for (const std::uint32_t capacity : {4u, 256u}) {
        const Read read = query(key.get(), "Last Map", capacity);
        EXPECT_EQ(read.status, kSuccess);
        EXPECT_EQ(read.size, 0u);
        EXPECT_TRUE(read.untouched_from(0, read.buffer.size()));
    }
}

TEST_F(RegistryConformance, TextKeepsEmbeddedNulsAndBytesAboveAscii) {
    OpenKey key;
    create("Game", key);
    const std::vector<unsigned char> embedded{'a', 'b', 0, 'c', 'd'};
    const std::vector<unsigned char> accented{'J', 0xE9, 'r', 0xF4, 'm', 0xE9, 0xC4, 0xFF};
    ASSERT_EQ(set_exact(key.get(), "Session Name", kTypeSz, embedded), kSuccess);
    ASSERT_EQ(set_exact(key.get(), "User Name", kTypeSz, accented), kSuccess);

    const std::pair<const char*, const std::vector<unsigned char>*> cases[] = {
        {"Session Name", &embedded}, {"User Name", &accented}};
    for (const auto& [name, expected] : cases) {
        const std::vector<unsigned char>& data = *expected;
        const Read read = query(key.get(), name, 256);
        ASSERT_EQ(read.status, kSuccess) << name;
        ASSERT_EQ(read.size, data.size()) << name;
        EXPECT_EQ(std::memcmp(read.buffer.data(), data.data(), data.size()), 0) << name;
    }
}

// The settings code reads a text field with a 256-byte buffer and a number
// field with a 4-byte one, whatever type the stored value has. Every type,
// at sizes around both limits, into both buffers: a read succeeds exactly
// when the data fit, returns the stored bytes and their count, and touches
// nothing past them (but for the text terminator that kQuirks allows).
TEST_F(RegistryConformance, EveryTypeReadsIntoFourAndTwoHundredFiftySixByteBuffers) {
    OpenKey key;
    create("Types", key);
    struct Type {
        std::uint32_t type;
        std::vector<std::size_t> sizes;
    };
    const std::vector<std::size_t> around_limits{0, 1, 2, 3, 4, 5, 6, 255, 256, 257};
    const Type types[] = {{kTypeNone, around_limits},
                          {kTypeSz, around_limits},
                          {kTypeBinary, around_limits},
                          {kTypeDword, {3, 4}}};
    for (const Type& type : types) {
        for (const std::size_t stored : type.sizes) {
            const std::vector<unsigned char> data = letters(stored);
            const std::string name =
                "type " + std::to_string(type.type) + " size " + std::to_string(stored);
            ASSERT_EQ(set_exact(key.get(), name.c_str(), type.type, data), kSuccess) << name;
            for (const std::uint32_t capacity : {4u, 256u}) {
                SCOPED_TRACE(name + " into " + std::to_string(capacity) + " bytes");
                const Read read = query(key.get(), name.c_str(), capacity);
                EXPECT_EQ(read.size, stored);
                if (stored > capacity) {
                    EXPECT_EQ(read.status, kMoreData);
                    EXPECT_TRUE(read.untouched_from(0, read.buffer.size()));
                    continue;
                }
                EXPECT_EQ(read.status, kSuccess);
                EXPECT_TRUE(std::equal(data.begin(), data.end(), read.buffer.begin()));
                std::size_t past = stored;
                if (type.type == kTypeSz && kQuirks.text_read_adds_nul && stored > 0 &&
                    stored < capacity) {
                    EXPECT_EQ(read.buffer[stored], 0);
                    ++past;
                }
                EXPECT_TRUE(read.untouched_from(past, read.buffer.size()));
            }
        }
    }
}

// How the settings code stores a text: its characters without the NUL that
// follows them in the record. Where the registry takes that NUL along, the
// value is one byte longer; read back as text it is the same text.
TEST_F(RegistryConformance, TextSetFromATerminatedFieldReadsBackAsTheSameText) {
    OpenKey key;
    create("Game", key);
    char field[256] = "Your Name Here";
    const auto length = static_cast<std::uint32_t>(std::strlen(field));
    ASSERT_EQ(set_value(key.get(), "User Name", kTypeSz, field, length), kSuccess);

    char longest[256];
    std::memset(longest, 'x', 255);
    longest[255] = '\0';
    ASSERT_EQ(set_value(key.get(), "Last Map", kTypeSz, longest, 255), kSuccess);

    const std::pair<const char*, const char*> cases[] = {{"User Name", field},
                                                         {"Last Map", longest}};
    for (const auto& [name, text] : cases) {
        const std::uint32_t expected = static_cast<std::uint32_t>(std::strlen(text)) +
                                       (kQuirks.text_set_takes_following_nul ? 1 : 0);
        const Read read = query(key.get(), name, 256);
        ASSERT_EQ(read.status, kSuccess) << name;
        EXPECT_EQ(read.size, expected) << name;
        EXPECT_EQ(std::memcmp(read.buffer.data(), text, std::strlen(text)), 0) << name;
    }
}

}  // namespace
}  // namespace vantor::reg
