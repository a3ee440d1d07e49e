// A writer killed with SIGKILL at random moments, over and over: after each
// kill the hive is whole, every value holds an old or a new write, the next
// write succeeds (no stale lock) and temporary files do not pile up.
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "reliability/reliability.h"
#include "vantor.h"

namespace vantor::test {
namespace {

constexpr int kRounds = 100;
// Kills land up to this long after the writer starts, or up to three times
// one generation's write where that takes longer (a slow disk, a sanitizer):
// enough kills must come after a whole write for the test to mean anything.
constexpr int kMaxDelayMicroseconds = 8000;

// Generation g of both records: every value tells its generation and which
// value it is, and the texts change length from one generation to the next.
struct Records {
    GameConfigSettings game;
    KeyConfigSettings keys;
};

std::uint32_t* game_numbers(GameConfigSettings& game) { return &game.TankType; }  // eight in a row
char* game_text(GameConfigSettings& game, int i) { return game.UserName + 256 * i; }

std::string text_of(std::uint32_t g, int i) {
    return "g" + std::to_string(g) + "/" + std::to_string(i) + std::string((g * 7 + i) % 100, 'x');
}

// The 20 numbers of both records, game first: number n of generation g is
// g << 5 | n.
void put_numbers(Records& records, const std::uint32_t (&numbers)[20]) {
    std::memcpy(game_numbers(records.game), numbers, 8 * sizeof(std::uint32_t));
    std::memcpy(&records.keys, numbers + 8, sizeof records.keys);
}

void get_numbers(Records& records, std::uint32_t (&numbers)[20]) {
    std::memcpy(numbers, game_numbers(records.game), 8 * sizeof(std::uint32_t));
    std::memcpy(numbers + 8, &records.keys, sizeof records.keys);
}

Records generation(std::uint32_t g) {
    Records records{};
    for (int i = 0; i < 4; ++i) std::strcpy(game_text(records.game, i), text_of(g, i).c_str());
    std::uint32_t numbers[20];
    for (std::uint32_t n = 0; n < 20; ++n) numbers[n] = g << 5 | n;
    put_numbers(records, numbers);
    return records;
}

// The generation of each of the 24 values as read, or -1 for a value that
// belongs to no generation; nothing when a record could not be read.
std::vector<long> generations_read() {
    Records read{};
    if (GetGameConfigSettings(&read.game) != 1 || GetKeyConfigSettings(&read.keys) != 1) return {};
    std::vector<long> found;
    for (int i = 0; i < 4; ++i) {
        const std::string text = game_text(read.game, i);
        const long g = text.size() > 1 ? std::atol(text.c_str() + 1) : -1;
        found.push_back(g >= 0 && text == text_of(static_cast<std::uint32_t>(g), i) ? g : -1);
    }
    std::uint32_t numbers[20];
    get_numbers(read, numbers);
    for (std::uint32_t n = 0; n < 20; ++n) {
        found.push_back((numbers[n] & 31) == n ? static_cast<long>(numbers[n] >> 5) : -1);
    }
    return found;
}

int32_t write_generation(std::uint32_t g) {
    const Records records = generation(g);
    const int32_t game = SetGameConfigSettings(&records.game, VANTOR_MASK_ALL);
    const int32_t keys = SetKeyConfigSettings(&records.keys, VANTOR_MASK_ALL);
    return game != 0 ? game : keys;
}

using Crashes = HiveFolder;

TEST_F(Crashes, WriterKilledAtRandomMomentsLeavesEveryValueOldOrNew) {
    const unsigned seed = std::random_device()();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    ::alarm(120);  // ends the test program should a write block on a stale lock

    std::uint32_t base = 1;
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(write_generation(base), 0);
    const auto one_write = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - started);
    std::uniform_int_distribution<int> delay(
        0, std::max(kMaxDelayMicroseconds, static_cast<int>(3 * one_write.count())));
    int progressed = 0;
    int temps_left = 0;
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const pid_t pid = start_child([base] {
            for (std::uint32_t g = base + 1;; ++g) {
                if (write_generation(g) != 0) return 1;
            }
        });
        ::usleep(static_cast<useconds_t>(delay(random)));
        ::kill(pid, SIGKILL);
        ASSERT_EQ(wait_child(pid), 128 + SIGKILL) << "the writer failed before it was killed";

        // Whole, and each value old or new: at most two generations, each at
        // least the one written before the writer started.
        ASSERT_TRUE(hive_parses());
        const std::vector<long> found = generations_read();
        ASSERT_EQ(found.size(), 24U);
        const auto [low, high] = std::minmax_element(found.begin(), found.end());
        ASSERT_GE(*low, static_cast<long>(base)) << "a value was lost or torn";
        ASSERT_LE(*high - *low, 1) << "values of more than two generations";
        progressed += *high > static_cast<long>(base);
        const int temps = temp_files();
        ASSERT_LE(temps, 1) << "temporary files pile up";
        temps_left += temps;

        // The next write succeeds, and sweeps what the killed writer left.
        base = static_cast<std::uint32_t>(*high) + 1;
        ASSERT_EQ(write_generation(base), 0);
        ASSERT_EQ(temp_files(), 0);
        const std::vector<long> now = generations_read();
        ASSERT_EQ(now, std::vector<long>(24, base));
    }
    ::alarm(0);
    RecordProperty("rounds_with_progress", progressed);
    RecordProperty("temporary_files_left_by_kills", temps_left);
    EXPECT_GT(progressed, 0) << "no kill landed after a write";
}

}  // namespace
}  // namespace vantor::test
