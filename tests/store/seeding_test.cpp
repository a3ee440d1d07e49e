// A reader that finds no key seeds it, and only then: never over a hive it
// could not read, nor over a key someone else made meanwhile. Another
// process's moves come in between the library's system calls (memfs.h).
#include <string>

#include "store/in_memory.h"

namespace vantor::test {
namespace {

using Seeding = InMemory;

// A hive copied over in place (cp good.reg system.reg) while a host reads:
// the reader finds half of it, which does not parse, and the copy is done
// before a seeding would read it again. Nothing is seeded over it.
TEST_F(Seeding, ReaderThatMeetsAHiveHalfCopiedSeedsNothing) {
    const std::string good = hive_holding(1);
    const std::string half = good.substr(0, good.find("Commander 1") + 3);
    memfs::overwrite(kHive, half);
    memfs::before("stat", 2, [&] { memfs::overwrite(kHive, good); });  // the copy ends
    GameConfigSettings game = game_record(5);
    EXPECT_EQ(GetGameConfigSettings(&game), 0);
    const std::string now = memfs::file(kHive).value_or("");
    EXPECT_TRUE(now == half || now == good) << now;
    memfs::overwrite(kHive, good);
    ASSERT_EQ(GetGameConfigSettings(&game), 1);
    EXPECT_STREQ(game.UserName, "Commander 1");
    EXPECT_EQ(game.Lives, game_record(1).Lives);
}

// The first run of two programs at once: the other one's key lands between
// this reader's failed open and its seeding's commit. It is kept, and read.
TEST_F(Seeding, KeyMadeAfterTheFailedOpenIsReadNotOverwritten) {
    const std::string other = hive_holding(2);
    memfs::reset();
    memfs::before("flock", 1, [&] { memfs::put_file(kHive, other); });
    GameConfigSettings game = game_record(5);
    EXPECT_EQ(GetGameConfigSettings(&game), 1);
    EXPECT_STREQ(game.UserName, "Commander 2");
    EXPECT_EQ(game.Lives, game_record(2).Lives);
    EXPECT_EQ(memfs::file(kHive), other);
}

}  // namespace
}  // namespace vantor::test
