// Several writers at once, a full disk and signals: log lines stay whole,
// every setting answered true is stored, writes finish, and what a write
// could not replace survives byte for byte.
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
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "KSUtilityClasses.h"
#include "ktuTestSupport.h"

namespace {

using ktu::test::Sandbox;
using Clock = std::chrono::steady_clock;

// Sets an environment variable for the life of the object.
struct ScopedEnv {
    ScopedEnv(const char* name, const std::string& value) : name_(name)
    {
        if (const char* old = std::getenv(name)) saved_ = old, had_ = true;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() { had_ ? (void)::setenv(name_, saved_.c_str(), 1) : (void)::unsetenv(name_); }
    const char* name_;
    std::string saved_;
    bool had_ = false;
};

std::string bytesOf(const std::string& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

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
            bool sent = ::write(report[1], text.data(), text.size()) == static_cast<ssize_t>(text.size());
            ::_exit(sent ? 0 : 1);
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

// The text of line `j` of writer `i`: its name, then a filler to `length`.
std::string lineText(int i, int j, std::size_t length)
{
    std::string head = std::to_string(i) + "." + std::to_string(j) + ":";
    return head + std::string(length > head.size() ? length - head.size() : 0, static_cast<char>('a' + (i * 7 + j) % 26));
}

TEST(SeveralWriters, LogLinesOfEveryLengthStayWhole)
{
    ktu::test::openGate();
    Sandbox sb;
    ASSERT_TRUE(ktuLogUtils::setLogsDir(sb.path("logs").c_str()));
    const int writers = 8;
    struct Case { std::size_t length; int lines; };
    for (const Case& c : {Case{100, 300}, Case{4096, 100}, Case{65536, 12}}) {
        const std::string file = "lines" + std::to_string(c.length) + ".log";
        inChildren(writers, [&](int i) {
            for (int j = 0; j < c.lines; ++j) {
                ktuLogUtils::writeDebugLog(file.c_str(), "Common", lineText(i, j, c.length).c_str());
            }
            return std::string();
        });
        std::set<std::string> expected, seen;
        for (int i = 0; i < writers; ++i)
            for (int j = 0; j < c.lines; ++j) expected.insert("Common-" + lineText(i, j, c.length));
        std::istringstream log(bytesOf(sb.native("logs/" + file).string()));
        int torn = 0;
        for (std::string line; std::getline(log, line);) {
            std::size_t at = line.find(" : ");
            std::string text = at == std::string::npos ? line : line.substr(at + 3);
            (expected.count(text) != 0 && seen.insert(text).second) ? void() : void(++torn);
        }
        EXPECT_EQ(torn, 0) << c.length;
        EXPECT_EQ(seen.size(), expected.size()) << c.length;
    }
}

TEST(SeveralWriters, EverySettingAnsweredTrueIsStored)
{
    Sandbox sb;
    ScopedEnv store("KTU_SETTINGS_DB", sb.native("settings.db").string());
    const int writers = 16, values = 25;
    auto key = [](int i) { return "ktu-reliability\\k" + std::to_string(i % 4); };  // four writers a key
    auto value = [](int i, int j) { return "p" + std::to_string(i) + "v" + std::to_string(j) + std::string(64, 'x'); };
    // Each child reports "answer microseconds" per write.
    std::vector<std::string> reports = inChildren(writers, [&](int i) {
        std::string report;
        for (int j = 0; j < values; ++j) {
            auto start = Clock::now();
            bool answer = ktuRegistryUtils::addStringValueToRegistryKey(("v" + std::to_string(j) + "p" + std::to_string(i)).c_str(),
                                                                      value(i, j).c_str(), key(i).c_str());
            auto us = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
            report += std::to_string(answer) + " " + std::to_string(us) + "\n";
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
            bool read = ktuRegistryUtils::getStringValueFromRegistryKey(("v" + std::to_string(j) + "p" + std::to_string(i)).c_str(),
                                                                        out, key(i).c_str());
            if (answer == 0) ++refused;
            else EXPECT_TRUE(read && out == value(i, j)) << "answered true but not stored: writer " << i << " value " << j;
        }
        EXPECT_EQ(j, values) << "writer " << i;
    }
    std::printf("[ settings ] %d writers x %d values: slowest call %.1f ms, mean %.1f ms, %d answered false\n", writers,
                values, slowest / 1000.0, total / 1000.0 / (writers * values), refused);
}

volatile sig_atomic_t g_alarms = 0;
void countAlarm(int) { ++g_alarms; }

// Messages sent while a 1 ms timer interrupts the sender leave whole: the
// peer (another process) finds every byte in order and the stream ends after
// the last message.
TEST(Signals, MessagesUnderAMillisecondTimerArriveWhole)
{
    ktu::test::openGate();
    auto& net = ktu::platform::ops().socket;
    SOCKET listener = net.listenLoopback(0, 1);
    ASSERT_NE(listener, INVALID_SOCKET);
    SOCKET client = net.connectTo("127.0.0.1", net.localPort(listener));
    SOCKET server = net.accept(listener);
    net.close(listener);
    ASSERT_NE(client, INVALID_SOCKET);
    ASSERT_NE(server, INVALID_SOCKET);
    const int messages = 40;
    const unsigned size = 256 * 1024;
    auto fill = [](std::vector<char>& m, int k) {
        for (std::size_t b = 0; b < m.size(); ++b) m[b] = static_cast<char>((b * 131 + k * 7 + b / 4096) & 0xff);
    };
    // Both ends run under the timer: the sender's sends and the reader's
    // receives are interrupted over and over.
    struct sigaction action {}, saved {};
    action.sa_handler = countAlarm;  // no SA_RESTART: interrupted calls return early
    sigemptyset(&action.sa_mask);
    ASSERT_EQ(::sigaction(SIGALRM, &action, &saved), 0);
    itimerval every{{0, 1000}, {0, 1000}}, off{};
    pid_t reader = ::fork();
    if (reader == 0) {
        ::setitimer(ITIMER_REAL, &every, nullptr);
        net.close(client);
        std::vector<char> got(size), want(size);
        int bad = 0;
        for (int k = 0; k < messages; ++k) {
            timespec pause{0, 3000000};
            while (::nanosleep(&pause, &pause) != 0) {  // a slow reader keeps the sender waiting in send
            }
            unsigned n = 0;
            fill(want, k);
            bad += ktuSocketUtils::readMessageFromSocket(&server, got.data(), size, &n) != 1 || got != want;
        }
        char extra;
        bad += net.recv(server, &extra, 1, 0) != 0;  // nothing beyond the last message
        ::_exit(bad + (g_alarms == 0 ? 100 : 0));
    }
    net.close(server);
    ::setitimer(ITIMER_REAL, &every, nullptr);
    std::vector<char> message(size);
    int answered = 0;
    for (int k = 0; k < messages; ++k) {
        fill(message, k);
        answered += ktuSocketUtils::writeMessageToSocket(&client, 0, message.data(), size) == 1;
    }
    ::setitimer(ITIMER_REAL, &off, nullptr);
    ::sigaction(SIGALRM, &saved, nullptr);
    net.close(client);
    int status = 0;
    while (::waitpid(reader, &status, 0) < 0 && errno == EINTR) {
    }
    EXPECT_EQ(answered, messages);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "messages cut or out of step: " << status;
    EXPECT_GT(g_alarms, 0);
    std::printf("[ signals ] %d alarms while %d messages of %u bytes went out\n", static_cast<int>(g_alarms), messages, size);
}

// What a full disk must not destroy, checked in a child process with a
// small file system of its own (a private mount namespace, so nothing of it
// is seen outside the child). Returns what went wrong, one line each.
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
    const std::string ini = sb.path("disk/app.ini"), bmp = sb.path("disk/pic.bmp");
    std::vector<unsigned char> pixels(64 * 64 * 3, 0x5a);
    check(ktuINIFileUtils::openFile(ini.c_str()) == 1 && ktuINIFileUtils::setTagValue("s", "k", "old") == 1, "INI set up");
    check(ktuBMPUtils::saveAsBMP(4, 4, pixels.data(), bmp.c_str()), "BMP set up");
    check(ktuRegistryUtils::addStringValueToRegistryKey("old", "kept", "ktu-full"), "setting set up");
    const std::string log = disk + "/logs/output.log";
    const std::string oldLog = bytesOf(log), oldIni = bytesOf(disk + "/app.ini"), oldBmp = bytesOf(disk + "/pic.bmp");

    // Fill the disk to the last byte.
    {
        int filler = ::open((disk + "/filler").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        std::vector<char> chunk(65536, 'f');
        for (std::size_t step : {std::size_t{65536}, std::size_t{1}})
            while (::write(filler, chunk.data(), step) == static_cast<ssize_t>(step)) {
            }
        ::close(filler);
    }
    // A long line finds room for a part of itself (in the log's last page).
    ktuLogUtils::writeLog("Common", ("cut" + std::string(65536, 'c')).c_str(), 0);
    check(bytesOf(log) == oldLog, "log: a line that did not fit left a part of itself");
    check(ktuINIFileUtils::setTagValue("s", "k", "new value that needs room") != 1, "INI: a write on a full disk answered 1");
    check(ktuINIFileUtils::setTagValue("s", "k2", std::string(8192, 'n').c_str()) != 1, "INI: a new key on a full disk answered 1");
    check(bytesOf(disk + "/app.ini") == oldIni, "INI: the old file changed");
    check(!ktuBMPUtils::saveAsBMP(64, 64, pixels.data(), bmp.c_str()), "BMP: a save on a full disk answered true");
    check(bytesOf(disk + "/pic.bmp") == oldBmp, "BMP: the old picture changed");
    // A key that finds no room answers false and is not there. A key that
    // was made answers true even when its value then finds no room (the
    // registry's answer): such a value is absent, never cut.
    int refusedAt = -1;
    for (int i = 0; i < 200 && refusedAt < 0; ++i) {
        std::string key = "ktu-full\\n" + std::to_string(i), value(400, static_cast<char>('a' + i % 26));
        char out[512] = "";
        if (!ktuRegistryUtils::addStringValueToRegistryKey("v", value.c_str(), key.c_str())) refusedAt = i;
        else if (ktuRegistryUtils::getStringValueFromRegistryKey("v", out, key.c_str()))
            check(out == value, "settings: a value on a full disk was stored cut");
    }
    check(refusedAt >= 0, "settings: no key was refused on a full disk");
    const std::string changed(400, 'n');
    ktuRegistryUtils::addStringValueToRegistryKey("old", changed.c_str(), "ktu-full");
    std::string oldValue;
    {
        char out[512] = "";
        check(ktuRegistryUtils::getStringValueFromRegistryKey("old", out, "ktu-full") && (out == changed || out == std::string("kept")),
              "settings: the old value was lost");
        oldValue = out;
    }

    // Room again: the old data is intact and the next line starts a line.
    ::unlink((disk + "/filler").c_str());
    ktuLogUtils::writeLog("Common", "after", 0);
    std::vector<std::string> texts = ktu::test::logTexts(log);
    check(texts == std::vector<std::string>({"Common-before", "Common-after"}), "log: not the two whole lines");
    char out[512] = "";
    check(ktuRegistryUtils::getStringValueFromRegistryKey("old", out, "ktu-full") && out == oldValue,
          "settings: the value changed after room came back");
    check(!ktuRegistryUtils::getStringValueFromRegistryKey("v", out, ("ktu-full\\n" + std::to_string(refusedAt)).c_str()),
          "settings: a refused key is there");
    check(bytesOf(disk + "/app.ini") == oldIni, "INI: changed after room came back");
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
    if (text.rfind(skip, 0) == 0) {
        GTEST_SKIP() << text;
    }
    EXPECT_EQ(text, "");
}

}  // namespace

#endif
