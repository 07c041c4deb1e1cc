// Tree walks while the tree moves: a second thread exchanges an entry of the
// tree with a link to an outside folder (renameat2 with RENAME_EXCHANGE), or
// renames the tree away and back, again and again while the operation runs.
// Whatever it catches, nothing outside the tree may change: not a name, not
// a byte, not a mode. The holding folder of every removal is the outside
// folder itself, and the copy's source is checked as well.
#include <atomic>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

#include "KSUtilityClasses.h"
#include "ktuTestSupport.h"
#include "treeState.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <stdio.h>
#endif

namespace {

#if defined(_WIN32)

TEST(Races, NeedLinksAndAtomicExchange)
{
    GTEST_SKIP() << "the races use links and renameat2 exchanges: Linux only";
}

#else

namespace fs = std::filesystem;
using P = ktuFilePathUtils;

// 500 rounds for each case; fewer under AddressSanitizer, or as KTU_RACE_ROUNDS says.
int rounds()
{
    if (const char* given = std::getenv("KTU_RACE_ROUNDS")) {
        return std::atoi(given);
    }
#if defined(__SANITIZE_ADDRESS__)
    return 150;
#else
    return 500;
#endif
}

enum class Move { Exchange, Away };

struct Case {
    const char* name;
    const char* victim;  // the entry that moves
    const char* bait;    // what the link put in its place leads to
    Move move;
    std::function<void()> run;
};

class Races : public ::testing::Test {
protected:
    void SetUp() override
    {
        ktu::test::openGate();
        ASSERT_TRUE(ktuLogUtils::setLogsDir(sb.path("logs").c_str()));
    }
    // What must stay as it is, made afresh for every case.
    void buildGuarded()
    {
        fs::remove_all(sb.native("outside"));
        fs::remove_all(sb.native("src"));
        sb.writeFile("outside/o.txt", "outside");
        sb.writeFile("outside/w.txt", "writable");
        sb.writeFile("outside/inner/deep.txt", "deep");
        sb.writeFile("src/a.txt", "a");
        sb.writeFile("src/sub/b.txt", "b");
        sb.writeFile("src/sub/deeper/c.txt", "c");
        fs::permissions(sb.native("outside/o.txt"), fs::perms::owner_read | fs::perms::group_read);
        before_ = ktu::test::treeState(sb.native(), {"outside", "src"});
    }
    // The tree of the round: "tree" for the removals, "dst" for the copies.
    void buildTree(const std::string& top) const
    {
        for (const char* gone : {"tree", "dst", "bait", "away"}) {
            fs::remove_all(sb.native(gone));  // never follows a link
        }
        if (top == "dst") {
            sb.writeFile("dst/x.txt", "x");
            sb.writeFile("dst/sub/y.txt", "y");
            return;
        }
        sb.writeFile("tree/a.txt", "a");
        sb.writeFile("tree/ro.txt", "ro");
        fs::permissions(sb.native("tree/ro.txt"), fs::perms::owner_read);
        sb.writeFile("tree/sub/b.txt", "b");
        sb.writeFile("tree/sub/deeper/c.txt", "c");
    }
    // Runs the case's rounds, up to the first round that changed anything.
    void race(const Case& c)
    {
        buildGuarded();
        const std::string victim = sb.native(c.victim).string();
        const std::string bait = sb.native("bait").string();
        const std::string away = sb.native("away").string();
        // One mover for all rounds, moving only while a round runs: waking a
        // thread for every round would cost more than the rounds.
        std::atomic<bool> armed{false};
        std::atomic<bool> moving{false};
        std::atomic<bool> stop{false};
        std::thread mover([&] {
            while (!stop.load()) {
                moving = true;
                if (!armed.load()) {
                    moving = false;
                    std::this_thread::yield();
                } else if (c.move == Move::Exchange) {
                    ::renameat2(AT_FDCWD, victim.c_str(), AT_FDCWD, bait.c_str(), RENAME_EXCHANGE);
                } else if (::rename(victim.c_str(), away.c_str()) == 0) {
                    ::rename(away.c_str(), victim.c_str());
                }
            }
            moving = false;
        });
        bool changed = false;
        for (int round = 0; round < rounds() && !changed; ++round) {
            buildTree(c.victim[0] == 't' ? "tree" : "dst");
            fs::create_symlink(sb.native(c.bait), bait);
            armed = true;
            c.run();
            armed = false;
            while (moving.load()) {
                std::this_thread::yield();
            }
            // Every entry back in its place (the source is one of them).
            if (fs::is_symlink(victim) && !fs::is_symlink(bait)) {
                ::renameat2(AT_FDCWD, victim.c_str(), AT_FDCWD, bait.c_str(), RENAME_EXCHANGE);
            }
            if (fs::exists(away)) {
                ::rename(away.c_str(), victim.c_str());
            }
            changed = ktu::test::treeState(sb.native(), {"outside", "src"}) != before_;
            EXPECT_FALSE(changed) << c.name << ": something outside the tree changed in round " << round;
        }
        stop = true;
        mover.join();
    }

    ktu::test::Sandbox sb;
    std::map<std::string, std::string> before_;
};

TEST_F(Races, WalksNeverLeaveTheirTree)
{
    const std::string tree = sb.path("tree"), dst = sb.path("dst"), src = sb.path("src"), out = sb.path("outside");
    auto removeTree = [&] { P::deleteFolder(tree.c_str(), out.c_str()); };
    auto removeFiles = [&] { P::deleteFilesInFolder(tree.c_str()); };
    auto copy = [&] { P::copyFolder(dst.c_str(), src.c_str()); };
    auto empty = [&] { P::isEmptyDirectory(tree.c_str()); };
    auto recreate = [&] { P::checkOrCreateFolder(sb.path().c_str(), "tree", true); };
    const Case cases[] = {
        {"deleteFolder, sub-folder", "tree/sub", "outside", Move::Exchange, removeTree},
        {"deleteFolder, folder argument", "tree", "outside", Move::Exchange, removeTree},
        {"deleteFolder, tree renamed", "tree", "outside", Move::Away, removeTree},
        {"deleteFolder, attributes of a file", "tree/ro.txt", "outside/o.txt", Move::Exchange, removeTree},
        {"deleteFilesInFolder, folder argument", "tree", "outside", Move::Exchange, removeFiles},
        {"deleteFilesInFolder, tree renamed", "tree", "outside", Move::Away, removeFiles},
        {"deleteFilesInFolder, attributes of a file", "tree/ro.txt", "outside/o.txt", Move::Exchange, removeFiles},
        {"copyFolder, destination sub-folder", "dst/sub", "outside", Move::Exchange, copy},
        {"copyFolder, destination", "dst", "outside", Move::Exchange, copy},
        {"copyFolder, destination to its source", "dst", "src", Move::Exchange, copy},
        {"copyFolder, destination renamed", "dst", "outside", Move::Away, copy},
        {"copyFolder, source argument", "src", "outside", Move::Exchange, copy},
        {"copyFolder, source sub-folder", "src/sub", "outside", Move::Exchange, copy},
        {"isEmptyDirectory, folder argument", "tree", "outside", Move::Exchange, empty},
        {"recreate, sub-folder", "tree/sub", "outside", Move::Exchange, recreate},
        {"recreate, folder", "tree", "outside", Move::Exchange, recreate},
        {"recreate, tree renamed", "tree", "outside", Move::Away, recreate},
    };
    for (const auto& c : cases) {
        race(c);
    }
}

#endif

}  // namespace
