// What the tests on the in-memory file system share: a fresh file system
// per test with the hive named by VANTOR_REGISTRY, two records to store, and
// the hive read back as a model.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "../bench/records.h"  // two records that differ in every value
#include "hive/format.h"
#include "support/memfs.h"
#include "vantor.h"

namespace vantor::test {

inline constexpr const char* kFolder = "/var/lib/vantor";
inline constexpr const char* kHive = "/var/lib/vantor/system.reg";
inline constexpr const char* kGameKey = "Software\\QUORIX\\Game";
inline constexpr const char* kKeysKey = "Software\\QUORIX\\Keyboard";

// The hive as the in-memory disk holds it: nothing when there is no file,
// and a parse failure is a test failure.
inline std::optional<hive::Hive> hive_now() {
    const std::optional<std::string> text = memfs::file(kHive);
    if (!text) return std::nullopt;
    std::optional<hive::Hive> parsed = hive::parse(*text);
    EXPECT_TRUE(parsed.has_value()) << "a hive that is not whole:\n" << *text;
    return parsed;
}

// The hive's text holding records `n`, written on a fresh disk (records of
// either number serialize to the same size).
inline std::string hive_holding(int n) {
    memfs::reset();
    const GameConfigSettings game = game_record(n);
    const KeyConfigSettings keys = key_record(n);
    EXPECT_EQ(SetGameConfigSettings(&game, VANTOR_MASK_ALL), 0);
    EXPECT_EQ(SetKeyConfigSettings(&keys, VANTOR_MASK_ALL), 0);
    return memfs::file(kHive).value_or("");
}

// Files the writers left in the hive's folder besides the hive and its lock.
inline std::vector<std::string> leftovers() {
    std::vector<std::string> left;
    for (const std::string& name : memfs::names(kFolder)) {
        if (name != "system.reg" && name != "system.reg.lock") left.push_back(name);
    }
    return left;
}

class InMemory : public ::testing::Test {
  protected:
    void SetUp() override {
        memfs::reset();
        ::setenv("VANTOR_REGISTRY", kHive, 1);
    }
    void TearDown() override {
        ::unsetenv("VANTOR_REGISTRY");
        ::unsetenv("VANTOR_USER_REGISTRY");
    }
};

}  // namespace vantor::test
