// ktu serial: write to a COM port, or read what arrives on one.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "KSUtilityClasses.h"
#include "ktuCommand.h"

namespace {

using ktu::cli::Args;
using ktu::cli::fail;
using ktu::cli::kFailed;
using ktu::cli::usage;

// "COM7" or "7".
bool parsePortName(const std::string& text, long& number)
{
    std::string digits = text;
    if (digits.size() > 3 && (digits.compare(0, 3, "COM") == 0 || digits.compare(0, 3, "com") == 0)) {
        digits = digits.substr(3);
    }
    return ktu::cli::parseInt(digits, number) && number >= 0;
}

struct SerialOptions {
    long baud = 9600;
    long waitMs = 1000;
    long maxBytes = 4096;
    std::string file;
    std::vector<std::string> words;
};

bool parseSerialOptions(const Args& args, SerialOptions& o, int& code)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto number = [&](long& value, long least) {
            return i + 1 < args.size() && ktu::cli::parseInt(args[++i], value) && value >= least;
        };
        bool ok = true;
        if (a == "--baud") {
            ok = number(o.baud, 1);
        } else if (a == "--wait") {
            ok = number(o.waitMs, 0);
        } else if (a == "--max") {
            ok = number(o.maxBytes, 1);
        } else if (a == "--file") {
            ok = i + 1 < args.size();
            o.file = ok ? args[++i] : o.file;
        } else if (a.rfind("--", 0) == 0) {
            code = usage("unknown option '%s'", a.c_str());
            return false;
        } else {
            o.words.push_back(a);
        }
        if (!ok) {
            code = usage("%s: missing or wrong value", a.c_str());
            return false;
        }
    }
    return true;
}

void* openPort(long number, long baud)
{
    void* port = ktuSSerialPortComm::openComPort(static_cast<unsigned long>(number), static_cast<unsigned long>(baud));
    if (port == nullptr || port == reinterpret_cast<void*>(~static_cast<uintptr_t>(0))) {
        fail("cannot open COM%ld at %ld baud", number, baud);
        return nullptr;
    }
    return port;
}

int serialSend(long number, const SerialOptions& o)
{
    std::string data;
    if (!o.file.empty()) {
        if (o.words.size() != 1) {
            return usage("send: give TEXT or --file FILE, not both");
        }
        std::ifstream in(o.file, std::ios::binary);
        if (!in) {
            return fail("send: cannot read '%s'", o.file.c_str());
        }
        data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } else if (o.words.size() == 2) {
        data = o.words[1];
    } else {
        return o.words.size() < 2 ? usage("send: missing TEXT (or --file FILE)")
                                  : usage("send: unexpected argument '%s'", o.words[2].c_str());
    }
    ktu::cli::handshake();
    void* port = openPort(number, o.baud);
    if (port == nullptr) {
        return kFailed;
    }
    int result = ktuSSerialPortComm::writeComPort(port, static_cast<unsigned long>(data.size()), data.data());
    ktuSSerialPortComm::closeComPort(port);
    if (result != 1) {
        return fail("send: the write to COM%ld failed", number);
    }
    std::printf("sent %zu bytes\n", data.size());
    return 0;
}

// Collects what arrives within --wait milliseconds (up to --max bytes) and
// writes it to standard output as it is.
int serialRead(long number, const SerialOptions& o)
{
    if (o.words.size() != 1) {
        return usage("read: unexpected argument '%s'", o.words[1].c_str());
    }
    ktu::cli::handshake();
    void* port = openPort(number, o.baud);
    if (port == nullptr) {
        return kFailed;
    }
    std::vector<char> buffer(static_cast<std::size_t>(o.maxBytes));
    std::size_t have = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(o.waitMs);
    while (have < buffer.size()) {
        unsigned long got = 0;
        if (ktuSSerialPortComm::readComPort(port, &got, static_cast<unsigned long>(buffer.size() - have),
                                            buffer.data() + have) == 1) {
            have += got;
            continue;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ktuSSerialPortComm::closeComPort(port);
    std::fwrite(buffer.data(), 1, have, stdout);
    return 0;
}

int runSerial(const Args& args)
{
    if (args.empty() || (args[0] != "send" && args[0] != "read")) {
        return args.empty() ? usage("missing ACTION (send or read)")
                            : usage("unknown ACTION '%s' (send or read)", args[0].c_str());
    }
    long number = 0;
    SerialOptions o;
    int code = 0;
    Args rest(args.begin() + 1, args.end());
    if (!parseSerialOptions(rest, o, code)) {
        return code;
    }
    if (o.words.empty() || !parsePortName(o.words[0], number)) {
        return o.words.empty() ? usage("%s: missing COMn", args[0].c_str())
                               : usage("%s: COMn '%s' is not a port name such as COM7", args[0].c_str(),
                                       o.words[0].c_str());
    }
    return args[0] == "send" ? serialSend(number, o) : serialRead(number, o);
}

ktu::cli::Registration serialCommand{
    "serial", "send COMn (TEXT | --file FILE) [--baud RATE] | read COMn [--baud RATE] [--wait MS] [--max BYTES]",
    "write to a serial port with RTS raised, or print what arrives on one within the wait "
    "(on POSIX systems KTU_SERIAL_PORTS maps COMn to a device)",
    runSerial};

}  // namespace
