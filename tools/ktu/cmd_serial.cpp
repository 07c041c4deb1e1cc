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
using ktu::cli::kUsage;

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

bool parseSerialOptions(const Args& args, SerialOptions& o)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        auto number = [&](long& value) { return i + 1 < args.size() && ktu::cli::parseInt(args[++i], value); };
        if (args[i] == "--baud") {
            if (!number(o.baud) || o.baud <= 0) {
                return false;
            }
        } else if (args[i] == "--wait") {
            if (!number(o.waitMs) || o.waitMs < 0) {
                return false;
            }
        } else if (args[i] == "--max") {
            if (!number(o.maxBytes) || o.maxBytes <= 0) {
                return false;
            }
        } else if (args[i] == "--file" && i + 1 < args.size()) {
            o.file = args[++i];
        } else if (args[i].rfind("--", 0) == 0) {
            return false;
        } else {
            o.words.push_back(args[i]);
        }
    }
    return true;
}

void* openPort(long number, long baud)
{
    void* port = ktuSSerialPortComm::openComPort(static_cast<unsigned long>(number), static_cast<unsigned long>(baud));
    if (port == nullptr || port == reinterpret_cast<void*>(~static_cast<uintptr_t>(0))) {
        std::fprintf(stderr, "ktu serial: cannot open COM%ld at %ld baud\n", number, baud);
        return nullptr;
    }
    return port;
}

int serialSend(long number, const SerialOptions& o)
{
    std::string data;
    if (!o.file.empty()) {
        if (o.words.size() != 1) {
            return kUsage;
        }
        std::ifstream in(o.file, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "ktu serial send: cannot read '%s'\n", o.file.c_str());
            return 1;
        }
        data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } else if (o.words.size() == 2) {
        data = o.words[1];
    } else {
        return kUsage;
    }
    ktu::cli::handshake();
    void* port = openPort(number, o.baud);
    if (port == nullptr) {
        return 1;
    }
    int result = ktuSSerialPortComm::writeComPort(port, static_cast<unsigned long>(data.size()), data.data());
    ktuSSerialPortComm::closeComPort(port);
    if (result != 1) {
        std::fprintf(stderr, "ktu serial send: the write failed\n");
        return 1;
    }
    std::printf("sent %zu bytes\n", data.size());
    return 0;
}

// Collects what arrives within --wait milliseconds (up to --max bytes) and
// writes it to standard output as it is.
int serialRead(long number, const SerialOptions& o)
{
    if (o.words.size() != 1) {
        return kUsage;
    }
    ktu::cli::handshake();
    void* port = openPort(number, o.baud);
    if (port == nullptr) {
        return 1;
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
    if (args.size() < 2) {
        return kUsage;
    }
    long number = 0;
    SerialOptions o;
    Args rest(args.begin() + 1, args.end());
    if (!parseSerialOptions(rest, o) || o.words.empty() || !parsePortName(o.words[0], number)) {
        return kUsage;
    }
    if (args[0] == "send") {
        return serialSend(number, o);
    }
    if (args[0] == "read") {
        return serialRead(number, o);
    }
    return kUsage;
}

ktu::cli::Registration serialCommand{
    "serial", "send COMn (TEXT | --file FILE) [--baud RATE] | read COMn [--baud RATE] [--wait MS] [--max BYTES]",
    "write to a serial port with RTS raised, or print what arrives on one within the wait "
    "(on POSIX systems KTU_SERIAL_PORTS maps COMn to a device)",
    runSerial};

}  // namespace
