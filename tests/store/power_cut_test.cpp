// Power cut after each system call of a sequence of calls, on the in-memory
// file system: after the restart the hive is whole, every call that had
// returned success is there, and the call in flight left each key as it was
// before or as it made it, never in part.
#include <functional>
#include <string>
#include <vector>

#include "store/in_memory.h"

namespace vantor::test {
namespace {

struct Call {
    const char* what;
    std::function<bool()> run;  // true when it reports success
};

std::vector<Call> sequence() {
    return {
        {"CreateRegKeys on a new store", [] { return CreateRegKeys() == 1; }},
        {"SetGameConfigSettings, every value",
         [] {
             const GameConfigSettings game = game_record(1);
             return SetGameConfigSettings(&game, VANTOR_MASK_ALL) == 0;
         }},
        {"SetKeyConfigSettings, every value",
         [] {
             const KeyConfigSettings keys = key_record(1);
             return SetKeyConfigSettings(&keys, VANTOR_MASK_ALL) == 0;
         }},
        {"SetGameConfigSettings, three values",
         [] {
             const GameConfigSettings game = game_record(2);
             return SetGameConfigSettings(&game, VANTOR_GAME_USER_NAME | VANTOR_GAME_LIVES |
                                                     VANTOR_GAME_VIDEO_MODE) == 0;
         }},
        {"SetAllDefaults", [] { return SetAllDefaults() == 0; }},
    };
}

// The key at `path` in `hive`, or nothing.
std::optional<hive::StoredKey> key_in(const std::optional<hive::Hive>& hive, const char* path) {
    if (!hive) return std::nullopt;
    const hive::StoredKey* key = hive->find(path);
    return key != nullptr ? std::optional<hive::StoredKey>(*key) : std::nullopt;
}

using PowerCut = InMemory;
using Commits = InMemory;

// The hive replaces (renames over it) that `call` makes.
int replaces(const std::function<void()>& call) {
    memfs::clear_log();
    call();
    int renames = 0;
    for (const std::string& name : memfs::log()) renames += name == "rename";
    return renames;
}

// One durable replace per key a call changes, none for a call that changes
// nothing.
TEST_F(Commits, EachCallReplacesTheHiveOncePerKeyItChanges) {
    EXPECT_EQ(replaces([] { EXPECT_EQ(CreateRegKeys(), 1); }), 2);
    const GameConfigSettings game = game_record(1);
    EXPECT_EQ(replaces([&] { EXPECT_EQ(SetGameConfigSettings(&game, VANTOR_MASK_ALL), 0); }), 1);
    EXPECT_EQ(replaces([&] { EXPECT_EQ(SetGameConfigSettings(&game, VANTOR_MASK_ALL), 0); }), 0);
    EXPECT_EQ(replaces([] { EXPECT_EQ(SetAllDefaults(), 0); }), 1);  // the keys were at theirs
    memfs::reset();
    GameConfigSettings read = game_record(2);  // its numbers are not the defaults
    EXPECT_EQ(replaces([&] { EXPECT_EQ(GetGameConfigSettings(&read), 0); }), 1);  // seeds the key
    EXPECT_EQ(replaces([] { EXPECT_EQ(SetAllDefaults(), 0); }), 2);
    EXPECT_EQ(leftovers(), std::vector<std::string>{});
}

TEST_F(PowerCut, EveryCutLeavesAWholeHiveWithEverySuccessAndTheCallInFlightOldOrNew) {
    // The hive after each call, and how many system calls the whole takes.
    const std::vector<Call> calls = sequence();
    std::vector<std::optional<hive::Hive>> after{std::nullopt};
    for (const Call& call : calls) {
        ASSERT_TRUE(call.run()) << call.what;
        after.push_back(hive_now());
    }
    const std::uint64_t total = memfs::calls();

    for (std::uint64_t cut = 1; cut < total; ++cut) {
        for (const unsigned seed : {1U, 2U}) {
            memfs::reset();
            memfs::cut_power_after(cut);
            std::size_t in_flight = 0;
            bool succeeded = false;
            for (; in_flight < calls.size(); ++in_flight) {
                succeeded = calls[in_flight].run();
                if (!memfs::powered()) break;
                ASSERT_TRUE(succeeded) << calls[in_flight].what;
            }
            ASSERT_LT(in_flight, calls.size()) << "the power was never cut";
            memfs::restart(seed * 7919 + static_cast<unsigned>(cut));
            SCOPED_TRACE(std::string("power cut after system call ") + std::to_string(cut) +
                         " (seed " + std::to_string(seed) + "), in " + calls[in_flight].what +
                         (succeeded ? ", which reported success" : ""));

            const std::optional<hive::Hive> found = hive_now();
            const std::optional<hive::Hive>& old = after[in_flight];
            const std::optional<hive::Hive>& made = after[in_flight + 1];
            if (succeeded) {
                EXPECT_TRUE(found == made);
            }
            for (const char* path : {kGameKey, kKeysKey}) {
                const std::optional<hive::StoredKey> key = key_in(found, path);
                EXPECT_TRUE(key == key_in(old, path) || key == key_in(made, path)) << path;
            }
            // The store goes on: the next write succeeds and sweeps up.
            const GameConfigSettings game = game_record(3);
            EXPECT_EQ(SetGameConfigSettings(&game, VANTOR_MASK_ALL), 0);
            EXPECT_EQ(leftovers(), std::vector<std::string>{});
            if (HasFailure()) return;
        }
    }
}

}  // namespace
}  // namespace vantor::test
