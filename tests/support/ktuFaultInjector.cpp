#include "ktuFaultInjector.h"

#include <algorithm>
#include <cstring>
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
    X(fs, logicalDriveStrings) X(fs, openStream)                                                                 \
    X(ui, messageBox) X(ui, fallbackDesktopDir) X(ui, pickFile)                                                  \
    X(registry, readMachineString) X(registry, openKey) X(registry, createKey) X(registry, queryValue)           \
    X(registry, setStringValue) X(registry, deleteKey)                                                           \
    X(profile, getString) X(profile, writeString) X(profile, createEmptyFile)                                    \
    X(process, enumProcesses) X(process, openProcess) X(process, mainModuleName) X(process, terminate)           \
    X(socket, startup) X(socket, openStream) X(socket, bindAnyAddress) X(socket, listen) X(socket, close)        \
    X(socket, recv) X(socket, send) X(socket, hostName) X(socket, hostAddress) X(socket, listenLoopback)         \
    X(socket, localPort) X(socket, accept) X(socket, connectTo) X(socket, setReceiveTimeout)                     \
    X(socket, shutdownSend)                                                                                      \
    X(serial, open) X(serial, setupQueues) X(serial, applyLineSettings) X(serial, setTimeouts) X(serial, escape) \
    X(serial, write) X(serial, read) X(serial, clearError) X(serial, cancelIo) X(serial, close)                  \
    X(picture, openForReading) X(picture, createForWriting) X(picture, fileSize) X(picture, readFile)            \
    X(picture, writeFile) X(picture, closeFile) X(picture, localAlloc) X(picture, globalAlloc)                   \
    X(picture, globalLock) X(picture, createStream) X(picture, loadPicture) X(picture, loadBitmap)               \
    X(picture, describeBitmap) X(picture, deleteBitmap) X(picture, copyPixelRows) X(picture, clientRect)

#define KTU_PASS_THROUGH_ENTRIES(X)                                                                             \
    X(fs, findClose) X(clock, localTime) X(clock, unixTime) X(ui, exitProcess) X(registry, closeKey)           \
    X(process, close) X(socket, cleanup) X(socket, addressText) X(serial, lastError) X(serial, errorText)       \
    X(picture, localFree) X(picture, globalUnlock) X(picture, globalFree) X(picture, releaseStream)

#define KTU_COUNT_ENTRY(area, entry) +1
constexpr int kFailable = 0 KTU_FAILABLE_ENTRIES(KTU_COUNT_ENTRY);
constexpr int kPassThrough = 0 KTU_PASS_THROUGH_ENTRIES(KTU_COUNT_ENTRY);
// A new entry in the table must be added to one of the lists above.
static_assert(sizeof(Ops) == (kFailable + kPassThrough) * sizeof(void (*)()),
              "every seam entry must be listed as failable or passed through");

// When a failing entry gives its failure: instead of doing its work, or
// after it (closes and releases, so that nothing is left open).
enum class When { Instead, After };

template <class Slot>
struct SlotTraits;
template <class Area, class R, class... A>
struct SlotTraits<R (*Area::*)(A...)> {
    using Result = R;
};

// The failure of one entry: by default false or null; entries that fail
// otherwise are given below.
template <auto Slot>
struct Failure {
    static constexpr When when = When::Instead;
    template <class... A>
    static auto answer(A...)
    {
        using R = typename SlotTraits<decltype(Slot)>::Result;
        static_assert(std::is_same_v<R, bool> || std::is_pointer_v<R>, "give this entry its failure value");
        return R{};
    }
};

#define KTU_FAILS(area, entry, whenValue, value)                                 \
    template <>                                                                 \
    struct Failure<&decltype(Ops::area)::entry> {                               \
        static constexpr When when = When::whenValue;                           \
        template <class... A>                                                   \
        static auto answer(A...)                                                \
        {                                                                       \
            return value;                                                       \
        }                                                                       \
    };

constexpr int kWinsockNotReady = 10091;  // WSASYSNOTREADY

KTU_FAILS(fs, getCurrentDir, Instead, 0u)
KTU_FAILS(fs, getAttributes, Instead, kInvalidAttributes)
KTU_FAILS(fs, logicalDriveStrings, Instead, 0u)
KTU_FAILS(ui, messageBox, Instead, 0)
KTU_FAILS(socket, startup, Instead, kWinsockNotReady)
KTU_FAILS(socket, openStream, Instead, static_cast<SOCKET>(INVALID_SOCKET))
KTU_FAILS(socket, bindAnyAddress, Instead, SOCKET_ERROR)
KTU_FAILS(socket, listen, Instead, SOCKET_ERROR)
KTU_FAILS(socket, close, After, SOCKET_ERROR)
KTU_FAILS(socket, recv, Instead, SOCKET_ERROR)
KTU_FAILS(socket, send, Instead, SOCKET_ERROR)
KTU_FAILS(socket, hostName, Instead, SOCKET_ERROR)
KTU_FAILS(socket, listenLoopback, Instead, static_cast<SOCKET>(INVALID_SOCKET))
KTU_FAILS(socket, localPort, Instead, static_cast<uint16_t>(0))
KTU_FAILS(socket, accept, Instead, static_cast<SOCKET>(INVALID_SOCKET))
KTU_FAILS(socket, connectTo, Instead, static_cast<SOCKET>(INVALID_SOCKET))
KTU_FAILS(socket, shutdownSend, Instead, SOCKET_ERROR)
KTU_FAILS(serial, open, Instead, invalidSerialHandle())
KTU_FAILS(serial, close, After, false)
KTU_FAILS(picture, fileSize, Instead, kInvalidFileSize)
KTU_FAILS(picture, closeFile, After, false)
KTU_FAILS(picture, deleteBitmap, After, false)

// Failures that also answer through out-parameters.
template <>
struct Failure<&ProfileOps::getString> {
    // An unreadable file reads as an empty one: the default is copied.
    static constexpr When when = When::Instead;
    static uint32_t answer(const char*, const char*, const char* defaultValue, char* buffer, uint32_t size,
                           const char*)
    {
        if (buffer == nullptr || size == 0) {
            return 0;
        }
        std::size_t n = defaultValue != nullptr ? std::min<std::size_t>(std::strlen(defaultValue), size - 1) : 0;
        if (n > 0) {
            std::memcpy(buffer, defaultValue, n);
        }
        buffer[n] = '\0';
        if (n + 1 < size) {
            buffer[n + 1] = '\0';  // the end of a name list
        }
        return static_cast<uint32_t>(n);
    }
};

template <>
struct Failure<&PictureOps::createStream> {
    static constexpr When when = When::Instead;
    static HRESULT answer(MemoryBlock, bool, PictureStream* stream)
    {
        if (stream != nullptr) {
            *stream = nullptr;
        }
        return E_FAIL;
    }
};

template <>
struct Failure<&PictureOps::loadPicture> {
    static constexpr When when = When::Instead;
    static HRESULT answer(PictureStream, LONG, bool, IPicture** picture)
    {
        if (picture != nullptr) {
            *picture = nullptr;
        }
        return E_FAIL;
    }
};

template <auto AreaMember, auto Slot, class Sig = decltype(Slot)>
struct Trampoline;

template <auto AreaMember, auto Slot, class Area, class R, class... A>
struct Trampoline<AreaMember, Slot, R (*Area::*)(A...)> {
    inline static const char* name = "";

    static R call(A... args)
    {
        FaultInjector* injector = FaultInjector::active();
        R (*real)(A...) = (injector->original().*AreaMember).*Slot;
        if constexpr (Failure<Slot>::when == When::After) {
            R result = real(args...);
            return injector->shouldFail(name) ? static_cast<R>(Failure<Slot>::answer(args...)) : result;
        } else {
            if (injector->shouldFail(name)) {
                return static_cast<R>(Failure<Slot>::answer(args...));
            }
            return real(args...);
        }
    }

    static void install(Ops& table, const char* entryName)
    {
        name = entryName;
        (table.*AreaMember).*Slot = &call;
    }
};

}  // namespace

FaultInjector* FaultInjector::active_ = nullptr;

FaultInjector::FaultInjector(long failAt, Mode mode) : saved_(platform::ops()), failAt_(failAt), mode_(mode)
{
    active_ = this;
#define KTU_INSTALL_ENTRY(area, entry) \
    Trampoline<&Ops::area, &decltype(Ops::area)::entry>::install(platform::ops(), #area "." #entry);
    KTU_FAILABLE_ENTRIES(KTU_INSTALL_ENTRY)
#undef KTU_INSTALL_ENTRY
}

FaultInjector::~FaultInjector()
{
    platform::ops() = saved_;
    active_ = nullptr;
}

bool FaultInjector::shouldFail(const char* entry)
{
    ++calls_;
    const bool fail = failAt_ > 0 && (mode_ == Mode::Once ? calls_ == failAt_ : calls_ >= failAt_);
    if (fail && firstFailed_.empty()) {
        firstFailed_ = entry;
    }
    return fail;
}

int FaultInjector::failableEntries()
{
    return kFailable;
}

int FaultInjector::passThroughEntries()
{
    return kPassThrough;
}

}  // namespace test
}  // namespace ktu
