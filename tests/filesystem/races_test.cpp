// Tree walks while a second thread swaps an entry of the tree with a link to an outside folder (RENAME_EXCHANGE) or
// renames it away and back: nothing outside the tree (the removals' holding folder, the copy's source) may change.
#include <atomic>
#include <cstdlib>
#include <thread>

#include "KSUtilityClasses.h"
#include "treeState.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <stdio.h>

namespace {

namespace fs = std::filesystem;
using P = ktuFilePathUtils;

struct Case {
    const char* victim;  // the entry that moves
    const char* bait;    // what the link put in its place leads to; null: the entry is renamed away and back
};

class Races : public ktu::test::OutsideTest {
protected:
    // The tree of a round, "tree" for the removals or "dst" for the copies.
    void buildTree(bool forCopy) const
    {
        for (const char* gone : {"tree", "dst", "bait", "away"}) {
            fs::remove_all(sb.native(gone));  // never follows a link
        }
        if (forCopy) {
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
    // The case's rounds (500; 150 under AddressSanitizer; or KTU_RACE_ROUNDS), up to the first that changed anything.
    void race(const char* operation, const std::function<void()>& run, const Case& c)
    {
        const char* given = std::getenv("KTU_RACE_ROUNDS");
        const int rounds = given != nullptr ? std::atoi(given) : ktu::test::kAddressSanitizer ? 150 : 500;
        const std::string victim = sb.native(c.victim).string(), bait = sb.native("bait").string(),
                          away = sb.native("away").string();
        // One mover for all rounds, moving only while a round runs (a thread a round would cost more than the rounds).
        std::atomic<bool> armed{false}, moving{false}, stop{false};
        std::thread mover([&] {
            while (!stop.load()) {
                moving = true;
                if (!armed.load()) {
                    moving = false;
                    std::this_thread::yield();
                } else if (c.bait != nullptr) {
                    ::renameat2(AT_FDCWD, victim.c_str(), AT_FDCWD, bait.c_str(), RENAME_EXCHANGE);
                } else if (::rename(victim.c_str(), away.c_str()) == 0) {
                    ::rename(away.c_str(), victim.c_str());
                }
            }
            moving = false;
        });
        bool changed = false;
        for (int round = 0; round < rounds && !changed; ++round) {
            buildTree(c.victim[0] != 't');
            if (c.bait != nullptr) {
                fs::create_symlink(sb.native(c.bait), bait);
            }
            armed = true;
            run();
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
            const auto now = outside();
            changed = now != before_;
            EXPECT_FALSE(changed) << operation << ", " << c.victim << " moved to " << (c.bait ? c.bait : "away")
                                  << ": something outside the tree changed in round " << round;
            before_ = now;  // the next case is judged on its own
        }
        stop = true;
        mover.join();
    }
};

TEST_F(Races, WalksNeverLeaveTheirTree)
{
    const std::string tree = sb.path("tree"), dst = sb.path("dst"), src = sb.path("src"), out = sb.path("outside");
    const struct {
        const char* name;
        std::function<void()> run;
        std::vector<Case> cases;
    } operations[] = {
        {"deleteFolder", [&] { P::deleteFolder(tree.c_str(), out.c_str()); },
         {{"tree/sub", "outside"}, {"tree", "outside"}, {"tree", nullptr}, {"tree/ro.txt", "outside/o.txt"}}},
        {"deleteFilesInFolder", [&] { P::deleteFilesInFolder(tree.c_str()); },
         {{"tree", "outside"}, {"tree", nullptr}, {"tree/ro.txt", "outside/o.txt"}}},
        {"copyFolder", [&] { P::copyFolder(dst.c_str(), src.c_str()); },
         {{"dst/sub", "outside"}, {"dst", "outside"}, {"dst", "src"}, {"dst", nullptr}, {"src", "outside"},
          {"src/sub", "outside"}}},
        {"isEmptyDirectory", [&] { P::isEmptyDirectory(tree.c_str()); }, {{"tree", "outside"}}},
        {"checkOrCreateFolder, recreating", [&] { P::checkOrCreateFolder(sb.path().c_str(), "tree", true); },
         {{"tree/sub", "outside"}, {"tree", "outside"}, {"tree", nullptr}}},
    };
    for (const auto& operation : operations) {
        for (const Case& c : operation.cases) {
            race(operation.name, operation.run, c);
        }
    }
}

}  // namespace

#endif
