// ktu frame: send a file as one frame, or listen on loopback and show the
// frames that arrive. ktu net: the host's address and free ports.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "KSUtilityClasses.h"
#include "ktuCommand.h"

namespace {

using ktu::cli::Args;
using ktu::cli::fail;
using ktu::cli::kFailed;
using ktu::cli::usage;

constexpr const char* kStartMarker = "KS_NET_API_MSG_START";
constexpr const char* kEndMarker = "KS_NET_API_MSG_END00";
constexpr std::size_t kMarkerLength = 20;
constexpr std::size_t kPreviewBytes = 32;

struct FrameOptions {
    long fieldStart = 20;
    long fieldEnd = 29;
    long count = 0;  // 0: until interrupted
    long bufferSize = 1 << 20;
    std::string logDir;
    std::string outFile;
    std::string header;
};

bool parsePort(const std::string& text, uint16_t& port)
{
    long value = 0;
    if (!ktu::cli::parseInt(text, value) || value < 0 || value > 65535) {
        return false;
    }
    port = static_cast<uint16_t>(value);
    return true;
}

// Options shared by send and listen; the remaining words go to `rest`. A
// usage error names the option (code set, false answered).
bool parseFrameOptions(const Args& args, FrameOptions& o, std::vector<std::string>& rest, int& code)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto number = [&](long& value, long least) {
            return i + 1 < args.size() && ktu::cli::parseInt(args[++i], value) && value >= least;
        };
        bool ok = true;
        if (a == "--size-field") {
            ok = number(o.fieldStart, 0) && number(o.fieldEnd, 0) && o.fieldStart <= o.fieldEnd + 1;
        } else if (a == "--count") {
            ok = number(o.count, 1);
        } else if (a == "--once") {
            o.count = 1;
        } else if (a == "--buffer") {
            ok = number(o.bufferSize, 1);
        } else if (a == "--log-dir" || a == "--out" || a == "--header") {
            ok = i + 1 < args.size();
            std::string& value = a == "--log-dir" ? o.logDir : a == "--out" ? o.outFile : o.header;
            value = ok ? args[++i] : value;
        } else if (a.rfind("--", 0) == 0) {
            code = usage("unknown option '%s'", a.c_str());
            return false;
        } else {
            rest.push_back(a);
        }
        if (!ok) {
            code = usage("%s: missing or wrong value%s", a.c_str(),
                         a == "--size-field" ? " (START END, 0 <= START <= END + 1)" : "");
            return false;
        }
    }
    return true;
}

bool parsePortArgument(const std::string& text, uint16_t& port, int& code)
{
    if (!parsePort(text, port)) {
        code = usage("PORT: '%s' is not a number from 0 to 65535", text.c_str());
        return false;
    }
    return true;
}

bool useLogDir(const FrameOptions& o)
{
    if (!o.logDir.empty() && !ktuLogUtils::setLogsDir(ktu::cli::libraryPath(o.logDir).c_str())) {
        fail("cannot make or enter the log folder '%s'", o.logDir.c_str());
        return false;
    }
    return true;
}

// A frame as applications build it: start marker, header bytes up to the
// length field ('0' where --header gives none), the whole length in decimal,
// zero-padded to the field's width, the payload, the end marker.
bool buildFrame(const FrameOptions& o, const std::string& payload, std::string& frame)
{
    const std::size_t start = static_cast<std::size_t>(o.fieldStart);
    const std::size_t width = static_cast<std::size_t>(o.fieldEnd - o.fieldStart + 1);
    if (start < kMarkerLength) {
        fail("send: the length field must start at 20 or later");
        return false;
    }
    std::string header = o.header;
    header.resize(start - kMarkerLength, '0');
    const std::size_t length = start + width + payload.size() + kMarkerLength;
    std::string digits = std::to_string(length);
    if (digits.size() > width || length > 0x7FFFFFFFu) {
        fail("send: a frame of %zu bytes does not fit a %zu-digit length field", length, width);
        return false;
    }
    frame = kStartMarker + header + std::string(width - digits.size(), '0') + digits + payload + kEndMarker;
    return true;
}

int frameSend(const Args& args)
{
    FrameOptions o;
    std::vector<std::string> rest;
    uint16_t port = 0;
    int code = 0;
    if (!parseFrameOptions(args, o, rest, code)) {
        return code;
    }
    if (rest.size() != 3) {
        const char* words[] = {"HOST", "PORT", "FILE"};
        return rest.size() < 3 ? usage("send: missing %s", words[rest.size()])
                               : usage("send: unexpected argument '%s'", rest[3].c_str());
    }
    if (!parsePortArgument(rest[1], port, code)) {
        return code;
    }
    std::ifstream in(rest[2], std::ios::binary);
    if (!in) {
        return fail("send: cannot read '%s'", rest[2].c_str());
    }
    std::string payload((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string frame;
    if (!buildFrame(o, payload, frame)) {
        return kFailed;
    }
    ktu::cli::handshake();
    if (!useLogDir(o)) {
        return kFailed;
    }
    SOCKET s = ktu::cli::connectTo(rest[0], port);
    if (s == INVALID_SOCKET) {
        return fail("send: cannot connect to %s:%u", rest[0].c_str(), port);
    }
    int result = ktuSocketUtils::writeMessageToSocket(&s, 0, frame.data(), static_cast<unsigned int>(frame.size()));
    ktu::cli::finishSending(s);
    ktu::cli::closeSocket(s);
    if (result != 1) {
        return fail("send: the write answered %d", result);
    }
    std::printf("sent %zu bytes\n", frame.size());
    return 0;
}

std::string preview(const char* bytes, std::size_t n)
{
    std::string text;
    char piece[4];
    for (std::size_t i = 0; i < n && i < kPreviewBytes; ++i) {
        std::snprintf(piece, sizeof piece, "%02x", static_cast<unsigned char>(bytes[i]));
        text += piece;
        text += ' ';
    }
    text += "|";
    for (std::size_t i = 0; i < n && i < kPreviewBytes; ++i) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        text += (c >= 32 && c < 127) ? static_cast<char>(c) : '.';
    }
    text += n > kPreviewBytes ? "|..." : "|";
    return text;
}

const char* markerCheck(const char* frame, std::size_t n)
{
    bool start = n >= kMarkerLength && std::string(frame, kMarkerLength) == kStartMarker;
    bool end = n >= kMarkerLength && std::string(frame + n - kMarkerLength, kMarkerLength) == kEndMarker;
    if (start && end) {
        return "markers ok";
    }
    if (!start && !end) {
        return "markers missing";
    }
    return start ? "end marker missing" : "start marker missing";
}

int frameListen(const Args& args)
{
    FrameOptions o;
    std::vector<std::string> rest;
    uint16_t port = 0;
    int code = 0;
    if (!parseFrameOptions(args, o, rest, code)) {
        return code;
    }
    if (rest.size() != 1) {
        return rest.empty() ? usage("listen: missing PORT") : usage("listen: unexpected argument '%s'", rest[1].c_str());
    }
    if (!parsePortArgument(rest[0], port, code)) {
        return code;
    }
    // Opened first: choosing the log folder changes the current folder.
    std::FILE* out = nullptr;
    if (!o.outFile.empty() && (out = std::fopen(o.outFile.c_str(), "wb")) == nullptr) {
        return fail("listen: cannot write '%s'", o.outFile.c_str());
    }
    ktu::cli::handshake();
    if (!useLogDir(o)) {
        if (out != nullptr) {
            std::fclose(out);
        }
        return kFailed;
    }
    unsigned short bound = 0;
    SOCKET listener = ktu::cli::listenLoopback(port, bound);
    if (listener == INVALID_SOCKET) {
        if (out != nullptr) {
            std::fclose(out);
        }
        return fail("listen: cannot listen on 127.0.0.1:%u", port);
    }
    std::printf("listening on 127.0.0.1:%u\n", bound);
    std::fflush(stdout);

    std::vector<char> buffer(static_cast<std::size_t>(o.bufferSize));
    long frames = 0;
    while (o.count == 0 || frames < o.count) {
        SOCKET s = ktu::cli::acceptOne(listener);
        if (s == INVALID_SOCKET) {
            code = fail("listen: accepting a connection failed");
            break;
        }
        while (o.count == 0 || frames < o.count) {
            unsigned int n = 0;
            int result = ktuSocketUtils::readMessageFromSocket(
                &s, static_cast<unsigned int>(o.fieldStart), static_cast<unsigned int>(o.fieldEnd), buffer.data(),
                static_cast<unsigned int>(buffer.size()), &n);
            if (result == 0) {
                break;  // the sender closed the connection
            }
            if (result != 1) {
                code = fail("listen: the read answered %d", result);
                break;
            }
            ++frames;
            std::printf("frame %ld: %u bytes, %s\n  %s\n", frames, n, markerCheck(buffer.data(), n),
                        preview(buffer.data(), n).c_str());
            std::fflush(stdout);
            if (out != nullptr) {
                std::fwrite(buffer.data(), 1, n, out);
                std::fflush(out);
            }
        }
        ktu::cli::closeSocket(s);
        if (code != 0) {
            break;
        }
    }
    ktu::cli::closeSocket(listener);
    if (out != nullptr) {
        std::fclose(out);
    }
    return code;
}

int runFrame(const Args& args)
{
    if (args.empty()) {
        return usage("missing ACTION (send or listen)");
    }
    Args rest(args.begin() + 1, args.end());
    if (args[0] == "send") {
        return frameSend(rest);
    }
    if (args[0] == "listen") {
        return frameListen(rest);
    }
    return usage("unknown ACTION '%s' (send or listen)", args[0].c_str());
}

int runNet(const Args& args)
{
    if (args.size() == 1 && args[0] == "ip") {
        ktu::cli::handshake();
        char text[16] = "";
        int a = 0, b = 0, c = 0, d = 0;
        ktuSocketUtils::getIPAddress(a, b, c, d, text);
        if (std::string(text) == "NA") {
            return fail("ip: the host has no IPv4 address");
        }
        std::printf("%s\n", text);
        return 0;
    }
    if (!args.empty() && args[0] == "free-port" && args.size() <= 2) {
        long count = 1;
        if (args.size() == 2 && (!ktu::cli::parseInt(args[1], count) || count < 1 || count > 65535)) {
            return usage("free-port: COUNT '%s' is not a number from 1 to 65535", args[1].c_str());
        }
        ktu::cli::handshake();
        int port = 0;
        if (!ktuSocketUtils::getNextFreeSocketPortNumber(&port, static_cast<int>(count))) {
            return fail("free-port: no run of %ld free ports", count);
        }
        std::printf("%d\n", port);
        return 0;
    }
    if (args.empty()) {
        return usage("missing ACTION (ip or free-port)");
    }
    return usage("unknown ACTION or arguments '%s' (ip or free-port [COUNT])", args[0].c_str());
}

ktu::cli::Registration frameCommand{
    "frame",
    "send HOST PORT FILE [--size-field START END] [--header TEXT] [--log-dir DIR] | "
    "listen PORT [--size-field START END] [--once | --count N] [--buffer BYTES] [--out FILE] [--log-dir DIR]",
    "send a file as one framed message, or accept loopback connections and show each frame "
    "(length, marker check, hex preview); PORT 0 picks a free port",
    runFrame};

ktu::cli::Registration netCommand{"net", "ip | free-port [COUNT]",
                                  "the host's IPv4 address, or the lowest start of COUNT free TCP ports", runNet};

}  // namespace
