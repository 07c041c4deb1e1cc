// Several writers at once, a full disk and signals: log lines stay whole,
// every setting answered true is stored, writes finish, and what a write
// could not replace survives byte for byte. The writers are forked children.
#if !defined(_WIN32)
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "KSUtilityClasses.h"
#include "ktuTestSupport.h"

namespace {

using ktu::test::Sandbox;

// The settings of the whole program live in its run folder, never in the user's store.
[[maybe_unused]] const bool g_privateStore =
    ::setenv("KTU_SETTINGS_DB", (ktu::test::runFolder() / "settings.db").c_str(), 1) == 0;

// Reads `fd` to its end.
std::string drain(int fd)
{
    std::string text;
    char chunk[4096];
    for (ssize_t n; (n = ::read(fd, chunk, sizeof chunk)) != 0;) {
        if (n > 0) text.append(chunk, static_cast<std::size_t>(n));
        else if (errno != EINTR) break;
    }
    return text;
}

// Runs body(i) in `count` child processes that start together; gives each
// child's report (what body returned).
std::vector<std::string> inChildren(int count, const std::function<std::string(int)>& body)
{
    int go[2];
    EXPECT_EQ(::pipe(go), 0);
    std::vector<int> reports;
    std::vector<pid_t> children;
    for (int i = 0; i < count; ++i) {
        int report[2];
        EXPECT_EQ(::pipe(report), 0);
        pid_t child = ::fork();
        if (child == 0) {
            ::close(go[1]);
            ::close(report[0]);
            drain(go[0]);  // the parent closes its end once every child is there
            std::string text = body(i);
            ::_exit(::write(report[1], text.data(), text.size()) == static_cast<ssize_t>(text.size()) ? 0 : 1);
        }
        ::close(report[1]);
        reports.push_back(report[0]);
        children.push_back(child);
    }
    ::close(go[0]);
    ::close(go[1]);
    std::vector<std::string> texts;
    for (int i = 0; i < count; ++i) {
        texts.push_back(drain(reports[i]));
        ::close(reports[i]);
        int status = 0;
        EXPECT_EQ(::waitpid(children[i], &status, 0), children[i]);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child " << i;
    }
    return texts;
}

TEST(SeveralWriters, LogLinesOfEveryLengthStayWhole)
{
    ktu::test::openGate();
    Sandbox sb;
    ASSERT_TRUE(ktuLogUtils::setLogsDir(sb.path("logs").c_str()));
    const int writers = 8;
    // Line j of writer i: its name, then a filler to `length`.
    auto lineText = [](int i, int j, std::size_t length) {
        std::string head = std::to_string(i) + "." + std::to_string(j) + ":";
        return head + std::string(length - head.size(), static_cast<char>('a' + (i * 7 + j) % 26));
    };
    struct Case { std::size_t length; int lines; };
    for (const Case& c : {Case{100, 300}, Case{4096, 100}, Case{65536, 12}}) {
        const std::string file = "lines" + std::to_string(c.length) + ".log";
        std::vector<std::string> expected;
        for (int i = 0; i < writers; ++i)
            for (int j = 0; j < c.lines; ++j) expected.push_back("Common-" + lineText(i, j, c.length));
        inChildren(writers, [&](int i) {
            for (int j = 0; j < c.lines; ++j) {
                ktuLogUtils::writeDebugLog(file.c_str(), "Common", lineText(i, j, c.length).c_str());
            }
            return std::string();
        });
        std::vector<std::string> texts = ktu::test::logTexts(sb.native("logs/" + file));
        std::sort(texts.begin(), texts.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_TRUE(texts == expected) << c.length << "-byte lines torn, lost or repeated";
    }
}

// 16 writers, four to a key, the keys made at the same time.
TEST(SeveralWriters, EverySettingAnsweredTrueIsStored)
{
    const int writers = 16, values = 25;
    auto key = [](int i) { return "ktu-reliability\\k" + std::to_string(i % 4); };
    auto name = [](int i, int j) { return "v" + std::to_string(j) + "p" + std::to_string(i); };
    auto value = [&](int i, int j) { return name(i, j) + std::string(64, 'x'); };
    // Each child reports "answer microseconds" per write.
    std::vector<std::string> reports = inChildren(writers, [&](int i) {
        std::string report;
        for (int j = 0; j < values; ++j) {
            auto start = std::chrono::steady_clock::now();
            bool answer = ktuRegistryUtils::addStringValueToRegistryKey(name(i, j).c_str(), value(i, j).c_str(),
                                                                        key(i).c_str());
            auto us = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
            report += std::to_string(answer) + " " + std::to_string(us.count()) + "\n";
        }
        return report;
    });
    long long slowest = 0, total = 0;
    int refused = 0;
    for (int i = 0; i < writers; ++i) {
        std::istringstream in(reports[i]);
        int j = 0, answer = 0;
        for (long long us = 0; in >> answer >> us; ++j) {
            slowest = std::max(slowest, us), total += us;
            char out[512] = "";
            bool read = ktuRegistryUtils::getStringValueFromRegistryKey(name(i, j).c_str(), out, key(i).c_str());
            refused += answer == 0;
            EXPECT_TRUE(answer == 0 || (read && out == value(i, j))) << "answered true, not stored: " << name(i, j);
        }
        EXPECT_EQ(j, values) << "writer " << i;
    }
    std::printf("[ settings ] %d writers x %d values: slowest call %.1f ms, mean %.1f ms, %d answered false\n",
                writers, values, slowest / 1000.0, total / 1000.0 / (writers * values), refused);
}

volatile sig_atomic_t g_alarms = 0;
void countAlarm(int) { ++g_alarms; }

// Messages sent while a 1 ms timer interrupts both ends (no SA_RESTART:
// interrupted calls return early) leave whole: the peer finds every byte in
// order and the stream ends after the last message.
TEST(Signals, MessagesUnderAMillisecondTimerArriveWhole)
{
    ktu::test::openGate();
    auto& net = ktu::platform::ops().socket;
    SOCKET listener = net.listenLoopback(0, 1);
    ASSERT_NE(listener, INVALID_SOCKET);
    SOCKET ends[2] = {net.connectTo("127.0.0.1", net.localPort(listener)), net.accept(listener)};
    net.close(listener);
    ASSERT_NE(ends[0], INVALID_SOCKET);
    ASSERT_NE(ends[1], INVALID_SOCKET);
    const int messages = 40;
    const unsigned size = 256 * 1024;
    auto message = [&](int k) {
        std::vector<char> m(size);
        for (std::size_t b = 0; b < size; ++b) m[b] = static_cast<char>((b * 131 + k * 7 + b / 4096) & 0xff);
        return m;
    };
    // Child 0 sends; child 1 reads slowly, which keeps the sender waiting in send.
    std::vector<std::string> reports = inChildren(2, [&](int child) {
        struct sigaction action {};
        action.sa_handler = countAlarm;
        sigemptyset(&action.sa_mask);
        itimerval every{{0, 1000}, {0, 1000}}, off{};
        ::sigaction(SIGALRM, &action, nullptr);
        ::setitimer(ITIMER_REAL, &every, nullptr);
        SOCKET own = ends[child];
        int wrong = 0;
        for (int k = 0; k < messages; ++k) {
            std::vector<char> sent = message(k), got(size);
            unsigned n = 0;
            if (child == 0) {
                wrong += ktuSocketUtils::writeMessageToSocket(&own, 0, sent.data(), size) != 1;
                continue;
            }
            for (timespec pause{0, 3000000}; ::nanosleep(&pause, &pause) != 0;) {
            }
            wrong += ktuSocketUtils::readMessageFromSocket(&own, got.data(), size, &n) != 1 || got != sent;
        }
        char extra;
        wrong += child == 0 ? net.shutdownSend(own) != 0 : net.recv(own, &extra, 1, 0) != 0;  // nothing more
        ::setitimer(ITIMER_REAL, &off, nullptr);
        return std::to_string(wrong) + " wrong" + (g_alarms == 0 ? ", no alarm" : "");
    });
    net.close(ends[0]);
    net.close(ends[1]);
    EXPECT_EQ(reports, std::vector<std::string>(2, "0 wrong")) << "messages cut or out of step";
}

// What a full disk must not destroy, in a child with a 1 MiB file system of
// its own (a private mount namespace: nothing of it is seen outside the
// child). Returns what went wrong, one line each.
std::string fullDiskScenario(const Sandbox& sb)
{
    std::string wrong;
    auto check = [&wrong](bool ok, const std::string& what) {
        if (!ok && wrong.find(what) == std::string::npos) wrong += what + "\n";
    };
    const std::string disk = sb.native("disk").string();
    ::setenv("KTU_SETTINGS_DB", (disk + "/settings.db").c_str(), 1);
    check(ktuLogUtils::setLogsDir(sb.path("disk/logs").c_str()), "setLogsDir");
    ktuLogUtils::writeLog("Common", "before", 0);
    const std::string bmp = sb.path("disk/pic.bmp");
    std::vector<unsigned char> pixels(64 * 64 * 3, 0x5a);
    check(ktuINIFileUtils::openFile(sb.path("disk/app.ini").c_str()) == 1 &&
              ktuINIFileUtils::setTagValue("s", "k", "old") == 1 &&
              ktuBMPUtils::saveAsBMP(4, 4, pixels.data(), bmp.c_str()) &&
              ktuRegistryUtils::addStringValueToRegistryKey("old", "kept", "ktu-full"),
          "set up");
    const std::string oldLog = sb.readFile("disk/logs/output.log"), oldIni = sb.readFile("disk/app.ini"),
                      oldBmp = sb.readFile("disk/pic.bmp");
    {  // fills the disk to the last byte
        int filler = ::open((disk + "/filler").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        std::vector<char> chunk(65536, 'f');
        for (std::size_t step : {std::size_t{65536}, std::size_t{1}})
            while (::write(filler, chunk.data(), step) == static_cast<ssize_t>(step)) {
            }
        ::close(filler);
    }
    // A long line finds room for a part of itself (in the log's last page).
    ktuLogUtils::writeLog("Common", ("cut" + std::string(65536, 'c')).c_str(), 0);
    check(sb.readFile("disk/logs/output.log") == oldLog, "log: a line that did not fit left a part of itself");
    check(ktuINIFileUtils::setTagValue("s", "k", "new value that needs room") != 1, "INI: a change answered 1");
    check(ktuINIFileUtils::setTagValue("s", "k2", std::string(8192, 'n').c_str()) != 1, "INI: a new key answered 1");
    check(sb.readFile("disk/app.ini") == oldIni, "INI: the old file changed");
    check(!ktuBMPUtils::saveAsBMP(64, 64, pixels.data(), bmp.c_str()), "BMP: a save answered true");
    check(sb.readFile("disk/pic.bmp") == oldBmp, "BMP: the old picture changed");
    // A key that finds no room answers false and is not there. A key that
    // was made answers true even when its value then finds no room (the
    // registry's answer): such a value is absent, never cut.
    int refusedAt = -1;
    char out[512] = "";
    for (int i = 0; i < 200 && refusedAt < 0; ++i) {
        std::string key = "ktu-full\\n" + std::to_string(i), value(400, static_cast<char>('a' + i % 26));
        if (!ktuRegistryUtils::addStringValueToRegistryKey("v", value.c_str(), key.c_str())) refusedAt = i;
        else if (ktuRegistryUtils::getStringValueFromRegistryKey("v", out, key.c_str()))
            check(out == value, "settings: a value was stored cut");
    }
    const std::string changed(400, 'n');
    ktuRegistryUtils::addStringValueToRegistryKey("old", changed.c_str(), "ktu-full");
    check(ktuRegistryUtils::getStringValueFromRegistryKey("old", out, "ktu-full") &&
              (out == changed || out == std::string("kept")),
          "settings: the old value was lost");

    // Room again: the next line starts a line of its own.
    ::unlink((disk + "/filler").c_str());
    ktuLogUtils::writeLog("Common", "after", 0);
    check(ktu::test::logTexts(disk + "/logs/output.log") == std::vector<std::string>({"Common-before", "Common-after"}),
          "log: not the two whole lines");
    check(refusedAt >= 0 && !ktuRegistryUtils::getStringValueFromRegistryKey(
                                "v", out, ("ktu-full\\n" + std::to_string(refusedAt)).c_str()),
          "settings: no key was refused, or a refused key is there");
    ktuINIFileUtils::closeFile();
    return wrong;
}

TEST(FullDisk, OldDataSurvivesAndRefusedWritesAnswerSo)
{
    ktu::test::openGate();
    Sandbox sb;
    sb.makeFolder("disk");
    const std::string disk = sb.native("disk").string(), skip = "skip: ";
    std::string text = inChildren(1, [&](int) {
        if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("none", disk.c_str(), "tmpfs", 0, "size=1m") != 0) {
            return skip + "mounting a small file system is not allowed here: " + std::strerror(errno);
        }
        std::string wrong = fullDiskScenario(sb);
        ::umount2(disk.c_str(), MNT_DETACH);
        return wrong;
    })[0];
    if (text.rfind(skip, 0) == 0) GTEST_SKIP() << text;
    EXPECT_EQ(text, "");
}

}  // namespace

#endif
