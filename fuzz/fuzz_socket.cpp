// The framed and the plain socket read, fed by a stand-in for recv that hands
// out the input's bytes in chunks the input chooses. The target works out the
// answer each read must give from the stream alone and checks it: the result
// and byte count, the bytes stored, and that no recv ever asks for a byte
// beyond the frame (or beyond the plain read's count).
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <climits>
#include <vector>

#include "fuzzSupport.h"
#include "ktuPlatform.h"

namespace {

constexpr SOCKET kSocket = 77;
constexpr unsigned int kUntouched = 0xDEADBEEFu;

struct Stream {
    const uint8_t* data = nullptr;
    std::size_t size = 0;
    std::size_t position = 0;
    uint8_t chunks[4] = {0, 0, 0, 0};  // largest answer of each recv in turn; 0: no limit
    unsigned calls = 0;
    bool endWithError = false;  // SOCKET_ERROR instead of an orderly close
    uint64_t limit = 0;         // no recv may ask for bytes beyond this stream position
};

Stream g_stream;

int fakeRecv(SOCKET s, char* buffer, int length, int flags)
{
    KTU_FUZZ_CHECK(s == kSocket);
    KTU_FUZZ_CHECK(flags == 0);
    KTU_FUZZ_CHECK(length >= 0);
    KTU_FUZZ_CHECK(g_stream.position + static_cast<uint64_t>(length) <= g_stream.limit);
    if (length == 0) {
        return 0;
    }
    std::size_t left = g_stream.size - g_stream.position;
    if (left == 0) {
        return g_stream.endWithError ? SOCKET_ERROR : 0;
    }
    std::size_t give = std::min<std::size_t>(left, static_cast<std::size_t>(length));
    uint8_t chunk = g_stream.chunks[g_stream.calls++ % 4];
    if (chunk != 0) {
        give = std::min<std::size_t>(give, chunk);
    }
    std::memcpy(buffer, g_stream.data + g_stream.position, give);  // the library's room, exactly
    g_stream.position += give;
    return static_cast<int>(give);
}

// What a recv would return at once: the rest of the stream. Installed only
// where the seam asks for it (the platform table may have no such entry).
int fakePending(SOCKET s)
{
    KTU_FUZZ_CHECK(s == kSocket);
    return static_cast<int>(g_stream.size - g_stream.position);
}

template <class SocketOps>
auto installPending(SocketOps& net, int) -> decltype(net.pending = fakePending, void())
{
    net.pending = fakePending;
}

template <class SocketOps>
void installPending(SocketOps&, long)
{
}

// The decimal length field as a sender means it; values far beyond any
// buffer here read as "huge", which is all the answers below depend on.
int64_t lengthOf(const uint8_t* field, std::size_t size)
{
    std::size_t i = 0;
    while (i < size && (field[i] == ' ' || (field[i] >= '\t' && field[i] <= '\r'))) {
        ++i;
    }
    bool negative = false;
    if (i < size && (field[i] == '+' || field[i] == '-')) {
        negative = field[i++] == '-';
    }
    int64_t value = 0;
    for (; i < size && field[i] >= '0' && field[i] <= '9'; ++i) {
        value = std::min<int64_t>(value * 10 + (field[i] - '0'), int64_t{1} << 40);
    }
    return negative ? -value : value;
}
// Fills the stream from the rest of the input: how recv splits it, whether
// it ends with an error, and its bytes (returned; the stream points into them).
std::vector<uint8_t> feedStream(FuzzedDataProvider& input)
{
    for (auto& chunk : g_stream.chunks) {
        chunk = input.ConsumeIntegral<uint8_t>();
    }
    g_stream.endWithError = input.ConsumeBool();
    std::vector<uint8_t> bytes = input.ConsumeRemainingBytes<uint8_t>();
    g_stream.data = bytes.data();
    g_stream.size = bytes.size();
    return bytes;
}


void checkFramedRead(FuzzedDataProvider& input)
{
    // Mostly positions near the start of the frame; sometimes any value.
    auto position = [&input] {
        return input.ConsumeBool() ? input.ConsumeIntegral<uint32_t>() : input.ConsumeIntegralInRange<uint32_t>(0, 300);
    };
    const uint32_t fieldStart = position();
    const uint32_t fieldEnd = position();
    const uint32_t bufferSize = input.ConsumeIntegralInRange<uint32_t>(0, 4096);
    const std::vector<uint8_t> bytes = feedStream(input);

    // The answer the stream calls for.
    const uint64_t headerLength = uint64_t{fieldEnd} + 1;
    const bool negativeField =
        static_cast<int32_t>(fieldEnd - fieldStart + 1u) < 0 || uint64_t{fieldStart} > headerLength;
    int expected = 0;
    uint64_t frameLength = headerLength;
    uint64_t count = 0;
    if (negativeField) {
        expected = -2;
        g_stream.limit = 0;
    } else if (bufferSize < headerLength) {
        expected = -3;
        g_stream.limit = 0;
    } else if (bytes.size() < headerLength) {
        expected = 0;
        g_stream.limit = headerLength;
    } else {
        int64_t length = lengthOf(bytes.data() + fieldStart, static_cast<std::size_t>(fieldEnd + 1u - fieldStart));
        if (length > static_cast<int64_t>(headerLength)) {
            frameLength = static_cast<uint64_t>(length);
        }
        g_stream.limit = frameLength;
        if (frameLength <= bufferSize) {
            expected = bytes.size() >= frameLength ? 1 : 0;
            count = frameLength;
        } else {
            expected = bytes.size() > bufferSize ? -1 : 0;
            count = bufferSize;
        }
    }

    std::unique_ptr<char[]> message(new char[bufferSize == 0 ? 1 : bufferSize]);
    SOCKET socket = kSocket;
    unsigned int read = kUntouched;
    int result = ktuSocketUtils::readMessageFromSocket(&socket, fieldStart, fieldEnd, message.get(), bufferSize, &read);

    if (result != expected) {
        std::fprintf(stderr, "framed read: start %u end %u buffer %u stream %zu: result %d, expected %d\n",
                     fieldStart, fieldEnd, bufferSize, bytes.size(), result, expected);
    }
    KTU_FUZZ_CHECK(result == expected);
    KTU_FUZZ_CHECK(g_stream.position <= g_stream.limit);
    KTU_FUZZ_CHECK(read == (result == 1 ? count : 0));
    if (result == 1 || result == -1) {
        KTU_FUZZ_CHECK(std::memcmp(message.get(), bytes.data(), static_cast<std::size_t>(count)) == 0);
    }
    if (result == 1) {
        KTU_FUZZ_CHECK(g_stream.position == frameLength);
    }
}

void checkPlainRead(FuzzedDataProvider& input)
{
    const uint32_t bufferSize = input.ConsumeIntegralInRange<uint32_t>(0, 4096);
    const std::vector<uint8_t> bytes = feedStream(input);
    g_stream.limit = bufferSize;

    std::unique_ptr<char[]> message(new char[bufferSize == 0 ? 1 : bufferSize]);
    SOCKET socket = kSocket;
    unsigned int read = kUntouched;
    int result = ktuSocketUtils::readMessageFromSocket(&socket, message.get(), bufferSize, &read);

    const bool complete = bufferSize != 0 && bytes.size() >= bufferSize;
    KTU_FUZZ_CHECK(result == (complete ? 1 : 0));
    KTU_FUZZ_CHECK(read == (complete ? bufferSize : kUntouched));
    KTU_FUZZ_CHECK(g_stream.position <= bufferSize);
    if (complete) {
        KTU_FUZZ_CHECK(std::memcmp(message.get(), bytes.data(), bufferSize) == 0);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    static ktufuzz::ScratchFolder scratch("socket");
    ktufuzz::startLibrary(scratch);
    ktu::platform::ops().socket.recv = fakeRecv;
    installPending(ktu::platform::ops().socket, 0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    g_stream = Stream();
    if (input.ConsumeBool()) {
        checkPlainRead(input);
    } else {
        checkFramedRead(input);
    }
    return 0;
}
