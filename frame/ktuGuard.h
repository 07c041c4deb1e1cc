// The catch-all guard and the handshake gate that every operation runs behind.
//
//   return ktu::enter(kSite, false, [&] { ...body... });
//
// (ktu::guarded alone serves the few operations that do not ask the gate.)
//
// A guard site names the module and operation texts of the one log line that
// a caught fault costs, and whether the fault is passed on to the caller after
// the line is written. The fallback is either a value or a callable that
// produces the value (to return a result "as it stood"). Faults the library
// defines itself (a null pointer where the operation would have used it) are
// raised with ktu::raiseFault so that the guard answers them like any other.
#pragma once

#include <exception>
#include <type_traits>
#include <utility>

#include "ktuLibVersionManagerUtils.h"
#include "ktuLogUtils.h"

namespace ktu {

struct GuardSite {
    const char* module;     // null: the fault is absorbed without a log line
    const char* operation;  // the log text
    bool rethrow;           // pass the fault on after the log line
};

constexpr GuardSite site(const char* module, const char* operation)
{
    return GuardSite{module, operation, false};
}

constexpr GuardSite rethrowingSite(const char* module, const char* operation)
{
    return GuardSite{module, operation, true};
}

// Module texts of the library's own log lines.
constexpr const char* kModCommon = "Common";
constexpr const char* kModKSUtility = "KSUtilityClasses";
constexpr const char* kModKestrel = "KestrelSightWare";
constexpr const char* kModPsLib = "KS_PS_LIB";

// The fault that the library raises itself.
struct Fault : std::exception {
    explicit Fault(const char* what) : what_(what) {}
    const char* what() const noexcept override { return what_; }

private:
    const char* what_;
};

[[noreturn]] inline void raiseFault(const char* what = "invalid argument")
{
    throw Fault(what);
}

// Raises a fault when `pointer` is null.
template <class T>
inline T* require(T* pointer)
{
    if (pointer == nullptr) {
        raiseFault("null pointer");
    }
    return pointer;
}

inline bool gateOpen()
{
    return ktuLibVersionManagerUtils::isValidVersion();
}

namespace detail {

void reportFault(const GuardSite& where) noexcept;

template <class R, class Fallback>
R fallbackValue(Fallback&& fallback)
{
    if constexpr (std::is_invocable_v<Fallback&>) {
        return static_cast<R>(fallback());
    } else {
        return static_cast<R>(std::forward<Fallback>(fallback));
    }
}

}  // namespace detail

// Runs `body`; a fault raised inside is logged at level 0 and answered with
// `fallback` (or passed on, for a rethrowing site).
template <class Body, class Fallback>
auto guarded(const GuardSite& where, Body&& body, Fallback&& fallback) -> decltype(body())
{
    using R = decltype(body());
    try {
        return body();
    } catch (...) {
        detail::reportFault(where);
        if (where.rethrow) {
            throw;
        }
        if constexpr (std::is_void_v<R>) {
            if constexpr (std::is_invocable_v<Fallback&>) {
                fallback();
            }
        } else {
            return detail::fallbackValue<R>(std::forward<Fallback>(fallback));
        }
    }
}

// For void operations whose fault leaves nothing to answer.
template <class Body>
void guarded(const GuardSite& where, Body&& body)
{
    guarded(where, std::forward<Body>(body), [] {});
}

// The door of every operation that asks the version gate. The answer for a
// closed gate and the answer for a caught fault are each written once, at the
// call site; either may be a value or a callable that produces it (to answer
// a result "as it stood"):
//
//   return ktu::enter(kSite, false, [&] { ...body... });          // both false
//   return ktu::enter(kSite, false, [&] { return found; }, [&] { ...body... });
//   ktu::enter(kSite, [&] { ...body... });                         // void
template <class Closed, class Faulted, class Body>
auto enter(const GuardSite& where, Closed&& closed, Faulted&& faulted, Body&& body) -> decltype(body())
{
    using R = decltype(body());
    if (!gateOpen()) {
        if constexpr (std::is_void_v<R>) {
            return;
        } else {
            return detail::fallbackValue<R>(std::forward<Closed>(closed));
        }
    }
    return guarded(where, std::forward<Body>(body), std::forward<Faulted>(faulted));
}

// One answer for a closed gate and for a caught fault.
template <class Failure, class Body>
auto enter(const GuardSite& where, Failure&& failure, Body&& body) -> decltype(body())
{
    using R = decltype(body());
    if (!gateOpen()) {
        if constexpr (std::is_void_v<R>) {
            return;
        } else {
            return detail::fallbackValue<R>(failure);
        }
    }
    return guarded(where, std::forward<Body>(body), std::forward<Failure>(failure));
}

// Void operations: a closed gate or a caught fault leaves nothing to answer.
template <class Body>
void enter(const GuardSite& where, Body&& body)
{
    if (gateOpen()) {
        guarded(where, std::forward<Body>(body));
    }
}

}  // namespace ktu
