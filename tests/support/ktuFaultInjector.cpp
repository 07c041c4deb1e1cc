#include "ktuFaultInjector.h"

#include <cstdio>
#include <cstring>
#include <tuple>
#include <type_traits>

namespace ktu {
namespace test {

namespace {

using namespace ktu::platform;

// Every entry of the table, as data: the ones that can fail, and the ones
// that release or report and are passed through.
#define KTU_FAILABLE_ENTRIES(X)                                                                                   \
    X(fs, setCurrentDir) X(fs, getCurrentDir) X(fs, findFirst) X(fs, findNext) X(fs, getAttributes)             \
    X(fs, setAttributes) X(fs, createDir) X(fs, removeDir) X(fs, deleteFile) X(fs, copyFile)                     \
    X(fs, logicalDriveStrings) X(fs, openStream) X(fs, appendText) X(fs, finalPath) X(fs, openFolder) X(fs, openChild)            \
    X(fs, listFolder) X(fs, enterFolder) X(fs, createEntryDir) X(fs, setEntryAttributes) X(fs, deleteEntry)     \
    X(fs, removeEntryDir) X(fs, copyEntry) X(fs, makeTempBeside) X(fs, replaceFile)                             \
    X(ui, messageBox) X(ui, fallbackDesktopDir) X(ui, pickFile)                                                  \
    X(registry, readMachineString) X(registry, openKey) X(registry, createKey) X(registry, queryValue)           \
    X(registry, setStringValue) X(registry, deleteKey)                                                           \
    X(profile, getString) X(profile, writeString) X(profile, createEmptyFile)                                    \
    X(process, enumProcesses) X(process, openProcess) X(process, mainModuleName) X(process, terminate)           \
    X(socket, startup) X(socket, openStream) X(socket, bindAnyAddress) X(socket, listen) X(socket, close)        \
    X(socket, recv) X(socket, send) X(socket, hostName) X(socket, hostAddress) X(socket, listenLoopback)         \
    X(socket, localPort) X(socket, accept) X(socket, connectTo) X(socket, setReceiveTimeout)                     \
    X(socket, shutdownSend) X(socket, pending)                                                                   \
    X(serial, open) X(serial, setupQueues) X(serial, applyLineSettings) X(serial, setTimeouts) X(serial, escape) \
    X(serial, write) X(serial, read) X(serial, clearError) X(serial, cancelIo) X(serial, close)                  \
    X(picture, openForReading) X(picture, replaceFile) X(picture, fileSize) X(picture, readFile)            \
    X(picture, writeFile) X(picture, closeFile) X(picture, localAlloc) X(picture, globalAlloc)                   \
    X(picture, globalLock) X(picture, createStream) X(picture, loadPicture) X(picture, loadBitmap)               \
    X(picture, describeBitmap) X(picture, deleteBitmap) X(picture, copyPixelRows) X(picture, clientRect)

#define KTU_PASS_THROUGH_ENTRIES(X)                                                                                \
    X(fs, isLeadByte) X(fs, namesIgnoreCase) X(fs, findClose) X(fs, closeFolder) X(clock, localTime) X(clock, unixTime)              \
    X(ui, exitProcess) X(registry, closeKey) X(process, close) X(socket, cleanup) X(socket, addressText)          \
    X(serial, lastError) X(serial, errorText) X(picture, localFree) X(picture, globalUnlock) X(picture, globalFree) \
    X(picture, releaseStream)

#define KTU_COUNT_ENTRY(area, entry) +1
constexpr int kFailable = 0 KTU_FAILABLE_ENTRIES(KTU_COUNT_ENTRY);
constexpr int kPassThrough = 0 KTU_PASS_THROUGH_ENTRIES(KTU_COUNT_ENTRY);
// A new entry in the table must be added to one of the lists above.
static_assert(sizeof(Ops) == (kFailable + kPassThrough) * sizeof(void (*)()),
              "every seam entry must be listed as failable or passed through");

// When a failing entry gives its failure: instead of doing its work, or
// after it (closes and releases, so that nothing is left open).
enum class When { Instead, After };

// The failure of an entry returning R: by default false or null; entries
// that fail otherwise are given below.
template <auto Slot, class R>
struct Failure {
    static constexpr When when = When::Instead;
    template <class... A>
    static R answer(A...)
    {
        static_assert(std::is_same_v<R, bool> || std::is_pointer_v<R>, "give this entry its failure value");
        return R{};
    }
};

#define KTU_FAILS(area, entry, whenValue, value)                                                      \
    template <class R>                                                                                \
    struct Failure<&decltype(Ops::area)::entry, R> {                                                  \
        static constexpr When when = When::whenValue;                                                 \
        template <class... A>                                                                         \
        static R answer([[maybe_unused]] A... args) { return static_cast<R>(value); }                 \
    };

constexpr int kWinsockNotReady = 10091;  // WSASYSNOTREADY

// An unreadable file reads as an empty one: the default is copied, ended
// twice as a list of names is.
uint32_t unreadableProfile(const char*, const char*, const char* defaultValue, char* buffer, uint32_t size, const char*)
{
    if (buffer == nullptr || size == 0) return 0;
    std::snprintf(buffer, size, "%s", defaultValue != nullptr ? defaultValue : "");
    const auto n = static_cast<uint32_t>(std::strlen(buffer));
    if (n + 1 < size) buffer[n + 1] = '\0';
    return n;
}

// A refused COM call, with its out-parameter (the last argument) nulled.
template <class... A>
HRESULT refusedWithNullOut(A... args)
{
    if (auto* out = std::get<sizeof...(A) - 1>(std::make_tuple(args...)); out != nullptr) *out = nullptr;
    return E_FAIL;
}

KTU_FAILS(fs, getCurrentDir, Instead, 0u) KTU_FAILS(fs, finalPath, Instead, 0u)
KTU_FAILS(fs, getAttributes, Instead, kInvalidAttributes) KTU_FAILS(fs, logicalDriveStrings, Instead, 0u)
KTU_FAILS(ui, messageBox, Instead, 0) KTU_FAILS(profile, getString, Instead, unreadableProfile(args...))
KTU_FAILS(socket, startup, Instead, kWinsockNotReady) KTU_FAILS(socket, openStream, Instead, INVALID_SOCKET)
KTU_FAILS(socket, bindAnyAddress, Instead, SOCKET_ERROR) KTU_FAILS(socket, listen, Instead, SOCKET_ERROR)
KTU_FAILS(socket, close, After, SOCKET_ERROR) KTU_FAILS(socket, recv, Instead, SOCKET_ERROR)
KTU_FAILS(socket, send, Instead, SOCKET_ERROR) KTU_FAILS(socket, hostName, Instead, SOCKET_ERROR)
KTU_FAILS(socket, listenLoopback, Instead, INVALID_SOCKET) KTU_FAILS(socket, localPort, Instead, 0)
KTU_FAILS(socket, accept, Instead, INVALID_SOCKET) KTU_FAILS(socket, connectTo, Instead, INVALID_SOCKET)
KTU_FAILS(socket, shutdownSend, Instead, SOCKET_ERROR) KTU_FAILS(socket, pending, Instead, SOCKET_ERROR)
KTU_FAILS(serial, open, Instead, invalidSerialHandle()) KTU_FAILS(serial, close, After, false)
KTU_FAILS(picture, fileSize, Instead, kInvalidFileSize) KTU_FAILS(picture, closeFile, After, false)
KTU_FAILS(picture, createStream, Instead, refusedWithNullOut(args...))
KTU_FAILS(picture, loadPicture, Instead, refusedWithNullOut(args...)) KTU_FAILS(picture, deleteBitmap, After, false)

// The injector in force.
struct State {
    Ops saved;
    long failAt = 0;
    FaultInjector::Mode mode = FaultInjector::Mode::Once;
    long calls = 0;
    std::string* firstFailed = nullptr;
} g_state;

bool shouldFail(const char* entry)
{
    const long n = ++g_state.calls, at = g_state.failAt;
    const bool fail = at > 0 && (n == at || (n > at && g_state.mode == FaultInjector::Mode::FromThenOn));
    if (fail && g_state.firstFailed->empty()) *g_state.firstFailed = entry;
    return fail;
}

template <auto AreaMember, auto Slot, class Sig = decltype(Slot)>
struct Trampoline;

template <auto AreaMember, auto Slot, class Area, class R, class... A>
struct Trampoline<AreaMember, Slot, R (*Area::*)(A...)> {
    using Fails = Failure<Slot, R>;
    inline static const char* name = "";

    static R call(A... args)
    {
        R (*real)(A...) = (g_state.saved.*AreaMember).*Slot;
        if constexpr (Fails::when == When::After) {
            R result = real(args...);
            return shouldFail(name) ? Fails::answer(args...) : result;
        } else {
            return shouldFail(name) ? Fails::answer(args...) : real(args...);
        }
    }
};

}  // namespace

FaultInjector::FaultInjector(long failAt, Mode mode, std::string& firstFailed)
{
    g_state = State{platform::ops(), failAt, mode, 0, &firstFailed};
    firstFailed.clear();
#define KTU_INSTALL_ENTRY(area, entry)                                                       \
    Trampoline<&Ops::area, &decltype(Ops::area)::entry>::name = #area "." #entry; \
    platform::ops().area.entry = &Trampoline<&Ops::area, &decltype(Ops::area)::entry>::call;
    KTU_FAILABLE_ENTRIES(KTU_INSTALL_ENTRY)
#undef KTU_INSTALL_ENTRY
}

FaultInjector::~FaultInjector()
{
    platform::ops() = g_state.saved;
}

int FaultInjector::failableEntries()
{
    return kFailable;
}

}  // namespace test
}  // namespace ktu
