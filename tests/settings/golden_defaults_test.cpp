// The defaults, pinned by hand rather than taken from the value table that
// the library and the other tests share: the store CreateRegKeys makes, and
// the records a first read and a read after it fill, must match what is
// written here and in golden/defaults.reg, byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "hive/format.h"
#include "hive/model.h"
#include "support/store.h"
#include "vantor.h"

namespace {

namespace hive = vantor::hive;

// The records at their defaults, from records the host zeroed.
GameConfigSettings golden_game() {
    GameConfigSettings game;
    std::memset(&game, 0, sizeof game);
    std::strcpy(game.UserName, "Your Name Here");
    std::strcpy(game.SessionName, "Tanks");
    std::strcpy(game.Protocol, "Not Used");
    std::strcpy(game.LastMap, "Not Used");
    // The eight numbers: 0, as the host left them and as the defaults store them.
    return game;
}

const KeyConfigSettings kGoldenKeys = {38, 40, 37, 39, 65, 83, 68, 9, 32, 84, 82, 81};

hive::Hive golden_hive() {
    std::ifstream file(VANTOR_GOLDEN_DEFAULTS, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    const auto hive = hive::parse(text.str());
    return hive ? *hive : hive::Hive{};
}

// The registry lists a key's values in an order of its own; the hive file
// in the order they were first written.
void sort_values_on_windows(hive::Hive* hive) {
#ifdef _WIN32
    for (hive::StoredKey& key : hive->keys) {
        std::sort(key.values.begin(), key.values.end(),
                  [](const hive::Value& a, const hive::Value& b) { return a.name < b.name; });
    }
#else
    (void)hive;
#endif
}

void expect_store_is_golden(const char* after) {
    hive::Hive golden = golden_hive();
    ASSERT_EQ(golden.keys.size(), 4u) << "cannot read " << VANTOR_GOLDEN_DEFAULTS;
    auto stored = vantor::test::stored_keys(golden);
    ASSERT_TRUE(stored) << "cannot read the store " << after;
    sort_values_on_windows(&golden);
    sort_values_on_windows(&*stored);
    EXPECT_TRUE(*stored == golden) << "the store " << after << ":\n"
                                   << hive::serialize(*stored) << "expected:\n"
                                   << hive::serialize(golden);
}

void expect_golden_records() {
    GameConfigSettings game;
    KeyConfigSettings keys;
    std::memset(&game, 0, sizeof game);
    std::memset(&keys, 0, sizeof keys);
    EXPECT_EQ(GetKeyConfigSettings(&keys), 1);
    EXPECT_EQ(GetGameConfigSettings(&game), 1);
    const GameConfigSettings expected = golden_game();
    EXPECT_EQ(std::memcmp(&keys, &kGoldenKeys, sizeof keys), 0) << "key bindings";
    EXPECT_EQ(std::memcmp(&game, &expected, sizeof game), 0) << "game settings";
}

TEST(GoldenDefaults, CreateRegKeysStoresExactlyTheDefaults) {
    vantor::test::reset_store();
    ASSERT_EQ(CreateRegKeys(), 1);
    expect_store_is_golden("after CreateRegKeys");
    expect_golden_records();
}

TEST(GoldenDefaults, FirstReadsFillAndStoreExactlyTheDefaults) {
    vantor::test::reset_store();
    GameConfigSettings game;
    KeyConfigSettings keys;
    std::memset(&game, 0, sizeof game);
    std::memset(&keys, 0, sizeof keys);
    ASSERT_EQ(GetKeyConfigSettings(&keys), 0);
    ASSERT_EQ(GetGameConfigSettings(&game), 0);
    const GameConfigSettings expected = golden_game();
    EXPECT_EQ(std::memcmp(&keys, &kGoldenKeys, sizeof keys), 0) << "key bindings";
    EXPECT_EQ(std::memcmp(&game, &expected, sizeof game), 0) << "game settings";
    expect_store_is_golden("after the first reads");
    expect_golden_records();
}

}  // namespace
