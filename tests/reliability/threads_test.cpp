// Many threads of one process calling all eight functions at once. Built in
// every preset; the tsan preset runs it under ThreadSanitizer. The threads
// only call the library and count what they find wrong; the checks run once
// they are joined.
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "reliability/reliability.h"
#include "support/clock.h"
#include "support/defaults.h"
#include "vantor.h"

namespace vantor::test {
namespace {

constexpr int kThreads = 8;
constexpr int kRounds = 6;

const KeyConfigSettings kKeyDefaults = key_defaults();
const GameConfigSettings kGameDefaults = game_defaults();
// The mask bit of each key binding, in field order.
const std::uint32_t kKeyBits[12] = {VANTOR_KEY_MOVE_FORWARD,
                                    VANTOR_KEY_MOVE_BACKWARD,
                                    VANTOR_KEY_TURN_LEFT,
                                    VANTOR_KEY_TURN_RIGHT,
                                    VANTOR_KEY_ROTATE_TURRET_LEFT,
                                    VANTOR_KEY_ROTATE_TURRET_RIGHT,
                                    VANTOR_KEY_BRAKES,
                                    VANTOR_KEY_WEAPONS,
                                    VANTOR_KEY_FIRE,
                                    VANTOR_KEY_TURBO,
                                    VANTOR_KEY_REPAIR,
                                    VANTOR_KEY_TARGETING};

// Thread t writes (t + 1) << 8 | round into "Computer Players" and into
// its own key binding (binding t % 12); the defaults functions write the
// defaults. Any other number read is a fault.
std::uint32_t number_of(int t, int round) {
    return static_cast<std::uint32_t>(t + 1) << 8 | static_cast<std::uint32_t>(round);
}

bool written_number(std::uint32_t value) {
    const std::uint32_t t = (value >> 8) - 1;
    return t < kThreads && (value & 0xFF) < kRounds && value >> 8 != 0;
}

struct Faults {
    int statuses = 0;  // a call that did not succeed
    int values = 0;    // a value no one wrote
};

void calls(int t, Faults* faults) {
    std::uint32_t keys_fields[12];
    for (int round = 0; round < kRounds; ++round) {
        GameConfigSettings game;
        KeyConfigSettings keys;
        // Only a first read may find no key (and seed it, as a concurrent
        // seeding or write by another thread may also do).
        const int32_t least = round == 0 ? 0 : 1;
        if (GetGameConfigSettings(&game) < least) ++faults->statuses;
        if (GetKeyConfigSettings(&keys) < least) ++faults->statuses;
        if (std::strcmp(game.UserName, kGameDefaults.UserName) != 0 && game.UserName[0] != 't') {
            ++faults->values;
        }
        if (game.ComputerPlayers != 0 && !written_number(game.ComputerPlayers)) ++faults->values;
        std::memcpy(keys_fields, &keys, sizeof keys);
        std::uint32_t defaults[12];
        std::memcpy(defaults, &kKeyDefaults, sizeof defaults);
        for (int k = 0; k < 12; ++k) {
            if (keys_fields[k] != defaults[k] && !written_number(keys_fields[k])) ++faults->values;
        }

        std::strcpy(game.UserName, ("t" + std::to_string(t)).c_str());
        game.ComputerPlayers = number_of(t, round);
        keys_fields[t % 12] = number_of(t, round);
        std::memcpy(&keys, keys_fields, sizeof keys);
        const std::uint32_t key_bit = kKeyBits[t % 12];
        if (SetGameConfigSettings(&game, VANTOR_GAME_USER_NAME | VANTOR_GAME_COMPUTER_PLAYERS) !=
            0) {
            ++faults->statuses;
        }
        if (SetKeyConfigSettings(&keys, key_bit) != 0) ++faults->statuses;
        switch ((t + round) % 4) {
            case 0:
                faults->statuses += SetDefaultGameSettings() != 0;
                break;
            case 1:
                faults->statuses += SetDefaultKeySettings() != 0;
                break;
            case 2:
                faults->statuses += SetAllDefaults() != 0;
                break;
            default:
                faults->statuses += CreateRegKeys() != 1;
                break;
        }
    }
}

using Threads = HiveFolder;

TEST_F(Threads, AllEightFunctionsAtOnce) {
    ::alarm(120);  // ends the test program should the threads deadlock
    std::vector<Faults> faults(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back(calls, t, &faults[static_cast<std::size_t>(t)]);
    for (std::thread& thread : threads) thread.join();
    ::alarm(0);

    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(faults[static_cast<std::size_t>(t)].statuses, 0) << "thread " << t;
        EXPECT_EQ(faults[static_cast<std::size_t>(t)].values, 0) << "thread " << t;
    }
    EXPECT_TRUE(hive_parses());
    EXPECT_EQ(temp_files(), 0);
}

// Children forked while threads read the kept hive read it too: whatever
// the threads held at the fork, a child neither waits for it nor sees
// anything but the hive.
TEST_F(Threads, ChildrenForkedWhileThreadsReadReadTheHive) {
    ::alarm(120);
    GameConfigSettings stored{};
    std::strcpy(stored.UserName, "Forked");
    ASSERT_EQ(SetGameConfigSettings(&stored, VANTOR_MASK_ALL), 0);
    set_clock_ahead(10);  // settled: readers keep it
    std::atomic<bool> stop{false};
    std::atomic<int> wrong{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < 4; ++t) {
        readers.emplace_back([&] {
            while (!stop) {
                GameConfigSettings game{};
                if (GetGameConfigSettings(&game) != 1 || std::strcmp(game.UserName, "Forked") != 0) {
                    ++wrong;
                }
            }
        });
    }
    for (int child = 0; child < 20; ++child) {
        EXPECT_EQ(run_child(
                      [] {
                          GameConfigSettings game{};
                          return GetGameConfigSettings(&game) == 1 &&
                                         std::strcmp(game.UserName, "Forked") == 0
                                     ? 0
                                     : 1;
                      },
                      20),
                  0)
            << "child " << child;
    }
    stop = true;
    for (std::thread& reader : readers) reader.join();
    set_clock_ahead(0);
    ::alarm(0);
    EXPECT_EQ(wrong, 0);
}

// A host that forks without exec while another thread writes: the children
// get copies of whatever the writer held, the writers' lock too, and wait.
// None of them holds the lock up: the parent's next write goes through at
// once (it used to wait for the children, then fail with 33).
TEST_F(Threads, ChildrenForkedWhileAThreadWritesDoNotHoldTheLock) {
    ::alarm(120);
    int gate[2];
    ASSERT_EQ(::pipe(gate), 0);
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        GameConfigSettings game{};
        for (std::uint32_t n = 0; !stop; ++n) {
            game.ComputerPlayers = n;
            SetGameConfigSettings(&game, VANTOR_GAME_COMPUTER_PLAYERS);
        }
    });
    std::vector<pid_t> children;
    for (int child = 0; child < 20; ++child) {
        children.push_back(start_child([&] {
            ::close(gate[1]);
            char byte = 0;
            return static_cast<int>(::read(gate[0], &byte, 1));  // until the parent closes it
        }));
        ::usleep(500);
    }
    stop = true;
    writer.join();
    EXPECT_EQ(SetDefaultGameSettings(), 0);
    ::close(gate[1]);
    for (const pid_t child : children) EXPECT_EQ(wait_child(child), 0);
    ::close(gate[0]);
    ::alarm(0);
}

}  // namespace
}  // namespace vantor::test
