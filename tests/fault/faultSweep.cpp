#include "faultSweep.h"

#include <gtest/gtest-spi.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <sstream>

namespace fs = std::filesystem;

namespace ktu {
namespace test {

namespace {

constexpr long kMaxRuns = 5000;  // far above the runs any operation needs

// Failures survived per operation and the seam entries met, printed at the end.
std::map<std::string, long> g_tally;
std::set<std::string> g_entriesMet;

struct TallyPrinter : ::testing::Environment {
    void TearDown() override
    {
        long failures = 0;
        for (const auto& [operation, count] : g_tally) {
            std::printf("  %-58s %5ld\n", operation.c_str(), count);
            failures += count;
        }
        for (const auto& name : std::getenv("KTU_FAULT_ENTRIES") ? g_entriesMet : std::set<std::string>{}) {
            std::printf("  met: %s\n", name.c_str());
        }
        std::printf("fault sweep: %zu operations, %ld injected failures survived (each as a single failure and "
                    "as a failure of every call from there on); %zu of the %d failable seam entries failed\n",
                    g_tally.size(), failures, g_entriesMet.size(), FaultInjector::failableEntries());
    }
};

[[maybe_unused]] ::testing::Environment* const g_printer = ::testing::AddGlobalTestEnvironment(new TallyPrinter);

// Open descriptors of the process (sockets, streams, the settings store); -1
// where they cannot be counted.
long openHandles()
{
#if defined(__linux__)
    std::error_code error;
    long count = 0;
    for (fs::directory_iterator it("/proc/self/fd", error), end; !error && it != end; it.increment(error)) {
        ++count;
    }
    return error ? -1 : count;
#else
    return -1;
#endif
}

void noExit(int) {}

}  // namespace

void FaultSweep::SetUp()
{
    openGate();
#if !defined(_WIN32)
    ::setenv("KTU_SETTINGS_DB", sb.native("settings.db").c_str(), 1);
#endif
    if (chooseLogFolder()) {
        ASSERT_TRUE(ktuLogUtils::setLogsDir(sb.path("logs").c_str()));
    }
}

void FaultSweep::TearDown()
{
#if !defined(_WIN32)
    ::unsetenv("KTU_SETTINGS_DB");
#endif
}

std::string FaultSweep::figures(const std::string& operation)
{
    std::string line = operation + ' ' + std::to_string(g_tally.count(operation) != 0 ? g_tally[operation] : -1);
    for (const auto& entry : g_entriesMet) {
        line += ' ' + entry;
    }
    return line;
}

void FaultSweep::addFigures(const std::string& line)
{
    std::istringstream in(line);
    std::string operation;
    long failures = -1;
    ASSERT_TRUE(in >> operation >> failures && failures > 0) << line;
    g_tally[operation] = failures;
    for (std::string entry; in >> entry;) {
        g_entriesMet.insert(entry);
    }
}

void FaultSweep::freshWorkFolder()
{
    std::error_code ignored;
    fs::current_path(sb.native(), ignored);  // the last run may have left it inside
    fs::remove_all(sb.native("run"), ignored);
    fs::create_directories(sb.native("run"));
}

void FaultSweep::sweep(const std::string& operation, const std::function<void()>& run)
{
    // A failed log line may be a fatal one: its end of the process is not carried out here.
    ScopedOverride exitStays(platform::ops().ui.exitProcess, &noExit);
    const bool failedBefore = HasFailure();
    for (failAt_ = 1; failAt_ <= kMaxRuns; ++failAt_) {
        freshWorkFolder();
        const long handlesBefore = openHandles();
        failedEntry_.clear();
        run();
        const std::string met = failedEntry_;
        EXPECT_EQ(openHandles(), handlesBefore) << "a handle was left open";
        if (!failedBefore && HasFailure()) {
            ADD_FAILURE() << operation << ": the checks above failed when seam call " << failAt_ << " ("
                          << (met.empty() ? "none" : met) << ") failed";
            return;
        }
        if (met.empty()) {
            g_tally[operation] = failAt_ - 1;
            return;
        }
        g_entriesMet.insert(met);
        freshWorkFolder();
        {
            ::testing::TestPartResultArray notCounted;
            ::testing::ScopedFakeTestPartResultReporter quiet(
                ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &notCounted);
            mode_ = FaultInjector::Mode::FromThenOn;
            run();
            mode_ = FaultInjector::Mode::Once;
        }
        EXPECT_EQ(openHandles(), handlesBefore)
            << operation << ": a handle was left open when every seam call from " << failAt_ << " on failed";
        if (!failedBefore && HasFailure()) {
            return;
        }
    }
    ADD_FAILURE() << operation << " kept meeting failures";
}

}  // namespace test
}  // namespace ktu
