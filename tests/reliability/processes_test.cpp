// Several processes on one hive at once: writers that each own a value,
// writers that share one, and readers. Every child checks what it can see
// for itself and exits non-zero (saying why on stderr) on the first fault.
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "reliability/reliability.h"
#include "support/defaults.h"
#include "vantor.h"

namespace vantor::test {
namespace {

constexpr int kOwners = 4;   // writers of a value each, per record
constexpr int kSharers = 2;  // writers of the same values
constexpr int kReaders = 2;
constexpr std::uint32_t kWrites = 50;  // per writer and record

// Owner w writes the w-th text of the game record and the w-th key binding.
const std::uint32_t kOwnedGameBits[kOwners] = {VANTOR_GAME_USER_NAME, VANTOR_GAME_SESSION_NAME,
                                               VANTOR_GAME_PROTOCOL, VANTOR_GAME_LAST_MAP};
const std::uint32_t kOwnedKeyBits[kOwners] = {VANTOR_KEY_MOVE_FORWARD, VANTOR_KEY_MOVE_BACKWARD,
                                              VANTOR_KEY_TURN_LEFT, VANTOR_KEY_TURN_RIGHT};
GameConfigSettings kGameDefaults = game_defaults();
KeyConfigSettings kKeyDefaults = key_defaults();

char* owned_text(GameConfigSettings& game, int w) {
    char* const texts[kOwners] = {game.UserName, game.SessionName, game.Protocol, game.LastMap};
    return texts[w];
}

std::uint32_t& owned_key(KeyConfigSettings& keys, int w) {
    std::uint32_t* const fields[kOwners] = {&keys.MoveForward, &keys.MoveBackward, &keys.TurnLeft,
                                            &keys.TurnRight};
    return *fields[w];
}

// The text owner w writes in its write `seq`: of varying length, so that
// the hive's size changes from write to write.
std::string text_of(int w, std::uint32_t seq) {
    return "w" + std::to_string(w) + "-" + std::to_string(seq) + std::string(seq % 40, 'x');
}

// The number writer `id` (owner or sharer) writes in its write `seq`.
std::uint32_t number_of(int id, std::uint32_t seq) {
    return static_cast<std::uint32_t>(id + 1) << 16 | seq;
}

int fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "%s: %s\n", what, detail.c_str());
    return 1;
}

int owner(int w) {
    GameConfigSettings game{};
    KeyConfigSettings keys{};
    for (std::uint32_t seq = 0; seq < kWrites; ++seq) {
        std::strcpy(owned_text(game, w), text_of(w, seq).c_str());
        owned_key(keys, w) = number_of(w, seq);
        const int32_t game_status = SetGameConfigSettings(&game, kOwnedGameBits[w]);
        const int32_t key_status = SetKeyConfigSettings(&keys, kOwnedKeyBits[w]);
        if (game_status != 0 || key_status != 0) {
            return fail("owner write failed",
                        std::to_string(game_status) + " " + std::to_string(key_status));
        }
    }
    return 0;
}

int sharer(int id) {
    GameConfigSettings game{};
    KeyConfigSettings keys{};
    for (std::uint32_t seq = 0; seq < kWrites; ++seq) {
        game.MidiVolume = keys.Fire = number_of(id, seq);
        const int32_t game_status = SetGameConfigSettings(&game, VANTOR_GAME_MIDI_VOLUME);
        const int32_t key_status = SetKeyConfigSettings(&keys, VANTOR_KEY_FIRE);
        if (game_status != 0 || key_status != 0) {
            return fail("sharer write failed",
                        std::to_string(game_status) + " " + std::to_string(key_status));
        }
    }
    return 0;
}

// What a reader last saw of one value: the write (seq) of each writer, -1
// for none yet. A later read may never show an earlier write of the same
// writer: that would be an update seen and then lost.
struct Seen {
    long last[kOwners] = {-1, -1, -1, -1};

    bool advance(int id, std::uint32_t seq) {
        if (static_cast<long>(seq) < last[id]) return false;
        last[id] = seq;
        return true;
    }
};

// Checks a number value: the default, or a write of one of `ids`.
bool check_number(std::uint32_t value, std::uint32_t fallback, int first_id, int ids, Seen* seen) {
    if (value == fallback) {
        for (int id = first_id; id < first_id + ids; ++id) {
            if (seen->last[id] >= 0) return false;  // nobody writes the default
        }
        return true;
    }
    const int id = static_cast<int>(value >> 16) - 1;
    const std::uint32_t seq = value & 0xFFFF;
    if (id < first_id || id >= first_id + ids || seq >= kWrites) return false;
    return seen->advance(id, seq);
}

int reader(const std::string& stop) {
    Seen texts[kOwners], keys_seen[kOwners], midi, fire;
    long rounds = 0;
    for (; ::access(stop.c_str(), F_OK) != 0; ++rounds) {
        GameConfigSettings game{};
        KeyConfigSettings keys{};
        if (GetGameConfigSettings(&game) != 1 || GetKeyConfigSettings(&keys) != 1) {
            return fail("a reader found no key", std::to_string(rounds));
        }
        for (int w = 0; w < kOwners; ++w) {
            const std::string text = owned_text(game, w);
            bool known = text == owned_text(kGameDefaults, w) && texts[w].last[w] < 0;
            const std::string prefix = "w" + std::to_string(w) + "-";
            if (!known && text.rfind(prefix, 0) == 0) {
                const auto seq =
                    static_cast<std::uint32_t>(std::atoi(text.c_str() + prefix.size()));
                known = seq < kWrites && text == text_of(w, seq) && texts[w].advance(w, seq);
            }
            if (!known) return fail("a reader saw a text never written or lost", text);
            if (!check_number(owned_key(keys, w), owned_key(kKeyDefaults, w), w, 1, &keys_seen[w])) {
                return fail("a reader saw a key never written or lost",
                            std::to_string(owned_key(keys, w)));
            }
        }
        if (!check_number(game.MidiVolume, VANTOR_DEFAULT_MIDI_VOLUME, 0, kSharers, &midi) ||
            !check_number(keys.Fire, kKeyDefaults.Fire, 0, kSharers, &fire)) {
            return fail("a reader saw a shared value never written or lost",
                        std::to_string(game.MidiVolume) + " " + std::to_string(keys.Fire));
        }
    }
    return rounds > 0 ? 0 : fail("a reader never read", "");
}

using Processes = HiveFolder;

TEST_F(Processes, WritersAndReadersLoseAndTearNoValue) {
    ASSERT_EQ(CreateRegKeys(), 1);
    const std::string stop = folder_ + "/stop";  // made once the writers are done
    std::vector<pid_t> writers;
    std::vector<pid_t> readers;
    for (int r = 0; r < kReaders; ++r) readers.push_back(start_child([&] { return reader(stop); }));
    for (int w = 0; w < kOwners; ++w) writers.push_back(start_child([w] { return owner(w); }));
    for (int s = 0; s < kSharers; ++s) writers.push_back(start_child([s] { return sharer(s); }));

    for (const pid_t pid : writers) EXPECT_EQ(wait_child(pid), 0) << "a writer failed";
    spit(stop, "");
    for (const pid_t pid : readers) EXPECT_EQ(wait_child(pid), 0) << "a reader failed";
    std::filesystem::remove(stop);

    // Each owned value holds its writer's last write; a shared one the last
    // write of one of its writers.
    GameConfigSettings game{};
    KeyConfigSettings keys{};
    ASSERT_EQ(GetGameConfigSettings(&game), 1);
    ASSERT_EQ(GetKeyConfigSettings(&keys), 1);
    for (int w = 0; w < kOwners; ++w) {
        EXPECT_EQ(owned_text(game, w), text_of(w, kWrites - 1));
        EXPECT_EQ(owned_key(keys, w), number_of(w, kWrites - 1));
    }
    EXPECT_TRUE(game.MidiVolume == number_of(0, kWrites - 1) ||
                game.MidiVolume == number_of(1, kWrites - 1))
        << game.MidiVolume;
    EXPECT_TRUE(keys.Fire == number_of(0, kWrites - 1) || keys.Fire == number_of(1, kWrites - 1))
        << keys.Fire;
    EXPECT_TRUE(hive_parses());
    EXPECT_EQ(temp_files(), 0);
}

}  // namespace
}  // namespace vantor::test
