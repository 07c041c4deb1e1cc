// The fault sweep: an operation is run again and again, seam call number N
// failing in run N, until a run meets no failure. Each run starts from a
// fresh work folder, and after each run no file or socket handle may be left
// open (LeakSanitizer, in the asan preset, sees leaked memory at exit).
// Each N is then run once more with every call from N on failing, as on a
// system that stays broken; there the clean-up fails too, so only crashes,
// leaks and handles left open count, not the run's own checks.
#pragma once

#include <functional>
#include <sstream>
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

    // The figures of this process as one line of text ("operation failures
    // entry entry ..."), and the same line from a sweep run in a child
    // process added to them.
    static std::string figures(const std::string& operation);
    static void addFigures(const std::string& line);

    // Runs `run` for N = 1, 2, ... until a run meets no injected failure;
    // `run` prepares what it needs, calls the operation through injected()
    // and checks the outcome.
    void sweep(const std::string& operation, const std::function<void()>& run);

    // Calls `operation` with seam call N failing.
    template <class Fn>
    auto injected(Fn operation)
    {
        FaultInjector injector(failAt_, mode_);
        struct Record {
            FaultInjector& injector;
            FaultSweep& sweep;
            ~Record()
            {
                sweep.fired_ = injector.fired();
                sweep.failedEntry_ = injector.firstFailed();
            }
        } record{injector, *this};
        return operation();
    }

    // Whether the last injected() call met its failure.
    bool fired() const { return fired_; }
    // The entry whose failure it met ("area.entry"), empty when none.
    const std::string& failedEntry() const { return failedEntry_; }

    // Drive-form and native paths inside this run's work folder.
    std::string work(const std::string& relative) const { return sb.path("run/" + relative); }
    std::filesystem::path native(const std::string& relative) const { return sb.native("run/" + relative); }

    Sandbox sb;

private:
    void freshWorkFolder();
    void brokenFromThenOn(const std::function<void()>& run, long handlesBefore);

    MessageBoxRecorder boxes_;
    long failAt_ = 0;
    FaultInjector::Mode mode_ = FaultInjector::Mode::Once;
    bool fired_ = false;
    std::string failedEntry_;
};

}  // namespace test
}  // namespace ktu
