// The fault sweep: an operation runs again and again, seam call N failing in
// run N, until a run meets no failure; each run starts from a fresh work
// folder and may leave no handle open (LeakSanitizer sees leaked memory).
// Each N runs once more with every call from N on failing, as on a system
// that stays broken: there only crashes, leaks and open handles count.
#pragma once

#include <functional>
#include <string>

#include "KSUtilityClasses.h"
#include "ktuFaultInjector.h"
#include "ktuTestSupport.h"

namespace ktu {
namespace test {

class FaultSweep : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Whether SetUp sends the log to the sandbox's "logs" folder.
    virtual bool chooseLogFolder() const { return true; }

    // The figures of `operation` as one line of text, written by a sweep in a
    // child process and added here by its parent.
    static std::string figures(const std::string& operation);
    static void addFigures(const std::string& line);

    // Runs `run` (it prepares, calls the operation through injected() and
    // checks the outcome) for N = 1, 2, ... until it meets no failure.
    void sweep(const std::string& operation, const std::function<void()>& run);

    // Calls `operation` with seam call N failing.
    template <class Fn>
    auto injected(Fn operation)
    {
        FaultInjector injector(failAt_, mode_, failedEntry_);
        return operation();
    }

    // Whether the last injected() call met its failure, and its entry ("area.entry").
    bool fired() const { return !failedEntry_.empty(); }
    const std::string& failedEntry() const { return failedEntry_; }

    // Calls `operation` through injected(): its answer must be `success`, or
    // `failure` when the failure was met. Whether it succeeded.
    template <class Fn>
    bool succeeds(Fn operation, long success = 1, long failure = 0)
    {
        const long result = injected(operation);
        EXPECT_TRUE(result == success || (result == failure && fired())) << result;
        return result == success;
    }

    // Drive-form and native paths inside this run's work folder.
    std::string work(const std::string& relative) const { return sb.path("run/" + relative); }
    std::filesystem::path native(const std::string& relative) const { return sb.native("run/" + relative); }

    Sandbox sb;

private:
    void freshWorkFolder();

    MessageBoxRecorder boxes_;
    long failAt_ = 0;
    FaultInjector::Mode mode_ = FaultInjector::Mode::Once;
    std::string failedEntry_;
};

}  // namespace test
}  // namespace ktu
