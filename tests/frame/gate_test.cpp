// Before the version handshake every gated operation answers its failure value
// and touches nothing (no file, folder, log line, message box, dialog, socket
// or process); the few that ask no handshake do their work. One fresh process
// runs the table, then opens the gate and looks at what the rows left; a
// failing row names itself on stderr.
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "KSUtilityClasses.h"
#include "ktuTestSupport.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;
using ktu::test::Sandbox;

// A stamp's two fields after its table pointer: seconds, then milliseconds.
void setStamp(ktuTime& stamp, int32_t seconds, uint32_t milliseconds)
{
    char* fields = reinterpret_cast<char*>(&stamp) + sizeof(void*);
    std::memcpy(fields, &seconds, sizeof seconds);
    std::memcpy(fields + sizeof seconds, &milliseconds, sizeof milliseconds);
}

int picks = 0;
ktuTime g_stamp, g_target, g_early;  // made before the handshake, looked at after it
std::optional<ktuTime> g_copy;

struct Row {
    const char* family;
    std::function<bool(const Sandbox&)> before;
    std::function<bool(const Sandbox&)> after = nullptr;  // once the gate is open
};

const Row kRows[] = {
    {"log", [](const Sandbox& sb) {
         ktu::test::MessageBoxRecorder boxes;
         bool ok = !ktuLogUtils::setLogsDir(sb.path("logs").c_str());
         ktuLogUtils::writeLog("Common", "text", 1);
         ktuLogUtils::writeLog("Common", "text", 2);  // would end the process
         ktuLogUtils::writeDebugLog("trace.txt", "Common", "text");
         ktuLogUtils::enableDisableLogs(false);
         return ok && boxes.calls().empty();
     }},
    {"folders", [](const Sandbox& sb) {
         long status = 7;
         ktuFilePathUtils::createAllFolders(sb.path("d/e").c_str(), false, &status);
         return !ktuFilePathUtils::checkForLocalDrive("C:") && !ktuFilePathUtils::checkForSpecialCharacters("abc") &&
                !ktuFilePathUtils::createNewFolder(sb.path().c_str(), "a") &&
                !ktuFilePathUtils::checkOrCreateFolder(sb.path().c_str(), "b", false) &&
                !ktuFilePathUtils::checkOrCreateFolder(sb.path("c").c_str(), false) &&
                !ktuFilePathUtils::deleteFolder(sb.path().c_str(), sb.path().c_str()) && status == 7;
     }},
    {"dialogs", [](const Sandbox&) {
         ktuSetFilePickerHandler([](void*, const ktuFilePickRequest*, char*, unsigned) { return ++picks; }, nullptr);
         char file[260] = "kept";
         bool shown = ktuFilePathUtils::getOpenFileName(file, "All|*.*|", "t", nullptr) ||
                      ktuFilePathUtils::getSaveFileName(file, "All|*.*|", "t", "bmp", nullptr);
         ktuSetFilePickerHandler(nullptr, nullptr);
         return !shown && picks == 0 && std::strcmp(file, "kept") == 0;
     }},
    {"bmp files", [](const Sandbox& sb) {
         const std::string p = sb.path("g.bmp"), n = sb.path("n.bmp");
         Bytes px(16, 0x40), out(16, 0xAB);
         int w = 7, h = 7;
         IPicture* pic = nullptr;
         BITMAPINFO* info = ktuBMPUtils::CreateBitmapInfoStruct(2, 2);  // asks no handshake
         bool refused = info != nullptr && !ktuBMPUtils::saveAsBMP(2, 2, px.data(), n.c_str()) &&
                        !ktuBMPUtils::CreateBMPFile(n.c_str(), info, px.data()) &&
                        !ktuBMPUtils::getImageSize(p.c_str(), &w, &h) && !ktuBMPUtils::getImageSize2(p.c_str(), &w, &h) &&
                        !ktuBMPUtils::getImageData(p.c_str(), out.data()) &&
                        !ktuBMPUtils::getImageBitmapData(p.c_str(), out.data()) &&
                        !ktuBMPUtils::getResizedImageData(p.c_str(), out.data(), 2, 2) &&
                        ktuBMPUtils::getBMPFormatDataLen(2, 2) == 0 &&
                        !ktuBMPUtils::cropAndSaveImage(p.c_str(), n.c_str(), 0, 0, 1, 1) &&
                        !ktuBMPUtils::LoadPictureFile(p.c_str(), &pic, nullptr) && pic == nullptr &&
                        !ktuBMPUtils::DrawImage(nullptr, p.c_str(), POINT{1, 1}, nullptr, RECT{0, 0, 2, 2});
         ktu::platform::ops().picture.localFree(info);
         return refused && w == 7 && h == 7 && out == Bytes(16, 0xAB) && !sb.exists("n.bmp");
     }},
    {"rasters", [](const Sandbox&) {
         Bytes a(64, 1), b(64, 2);
         int w = -7, h = -7;
         long status = 5;
         bool refused = !ktuRGB24DataUtils::reverseData(a.data(), b.data(), 2, 2, &status) &&
                        !ktuRGB24DataUtils::resizeData(2, 2, a.data(), 4, &w, &h, b.data(), &status) &&
                        !ktuRGB24DataUtils::flipData(b.data(), 2, 2, &status) &&
                        !ktuRGB24DataUtils::flipData(nullptr, 1, 1, &status);
         ktuBMPUtils::getScaledSize(640, 480, 320, &w, &h);
         ktuBMPUtils::resizeImageAndReturnData(2, 2, a.data(), 4, b.data());
         ktuBMPUtils::resizeImageAndReturnData(2, 2, a.data(), 3, 3, b.data());
         return refused && status == 5 && w == -7 && h == -7 && a == Bytes(64, 1) && b == Bytes(64, 2);
     }},
    {"relative box and video zoom", [](const Sandbox&) {
         ktuRelativeBbox box;
         ktuVideoStreamManipulator zoom;  // no buffer: the destructor must not free garbage
         Bytes in(24, 5), out(24, 99);
         zoom.applyChanges(in.data(), out.data());
         zoom.applyChanges(in.data());
         return box.getRelativeTopRow() == 0.0 && box.getRelativeCenterX() == 0.0 && !box.checkBboxDimensions() &&
                !box.checkOverlapWithinAllowance(&box, 1.0, 1.0) && out == Bytes(24, 99) && in == Bytes(24, 5);
     }},
    {"sockets and records", [](const Sandbox&) {
         SOCKET s = INVALID_SOCKET;
         char buffer[64] = "k", ip[16] = "keep";
         unsigned count = 42;
         int port = 17, o1 = 5;
         bool ok = ktuSocketUtils::readMessageFromSocket(&s, 20, 29, buffer, 64, &count) == 0 &&
                   ktuSocketUtils::readMessageFromSocket(&s, buffer, 64, &count) == 0 &&
                   ktuSocketUtils::writeMessageToSocket(&s, 0, buffer, 10) == 0 && count == 42 &&
                   !ktuSocketUtils::checkSocketOpen(100) && !ktuSocketUtils::checkConsecutiveSocketsOpen(100, 2) &&
                   !ktuSocketUtils::getNextFreeSocketPortNumber(&port, 1) && port == 17 && buffer[0] == 'k';
         ktuSocketUtils::getIPAddress(o1, o1, o1, o1, ip);
         ktuSocketUtils::getIPAddress(ip);
         // The records stay all zero: neither set up nor copied over from a record of ones.
         static iKSNetworkEventData e, eOnes, eZero;
         static iKSNetworkObjectData r, rOnes, rZero;
         std::memset(static_cast<void*>(&eOnes), 1, sizeof eOnes);
         std::memset(static_cast<void*>(&rOnes), 1, sizeof rOnes);
         ktuKSNetworkInitInfo::initNetworkEventData(&e);
         ktuKSNetworkInitInfo::initNetworkObjectData(&r);
         ktuKSNetworkInitInfo::copyNetworkEventData(&e, &eOnes);
         ktuKSNetworkInitInfo::copyNetworkObjectData(&r, &rOnes);
         return ok && std::strcmp(ip, "keep") == 0 && o1 == 5 && std::memcmp(&e, &eZero, sizeof e) == 0 &&
                std::memcmp(&r, &rZero, sizeof r) == 0;
     }},
    {"serial port", [](const Sandbox&) {
         ktu::test::FakeSerialLine line;
         char buffer[4] = {1, 2, 3, 4};
         unsigned long count = 8;
         void* h = ktu::test::FakeSerialLine::handle();
         bool gated = ktuSSerialPortComm::closeComPort(h) == 0 && ktuSSerialPortComm::writeComPort(h, 4, buffer) == 0 &&
                      ktuSSerialPortComm::readComPort(h, &count, 4, buffer) == 0 && count == 8;
         // The open works before the handshake; the close does not.
         void* port = ktuSSerialPortComm::openComPort(7, 9600);
         return gated && port == h && ktuSSerialPortComm::closeComPort(port) == 0 &&
                ktu::test::FakeSerialLine::events == std::vector<std::string>{"open"};
     }},
    {"ini, buffers and processes",
     [](const Sandbox& sb) {
         sb.writeFile("app.ini", "[S]\nk=old\n");
         char out[500] = "untouched", fallback[8] = "";
         unsigned char source[4] = {1, 2, 3, 4}, destination[4] = {9, 9, 9, 9};
         ktuProcessUtils::killAllRunningProcess("ktu_no_such_program.exe");
         return ktuINIFileUtils::openFile(sb.path("app.ini").c_str()) == 0 &&
                ktuINIFileUtils::getTagValue("S", "k", out, fallback) == 0 && std::strcmp(out, "untouched") == 0 &&
                fallback[0] == '\0' && ktuINIFileUtils::setTagValue("S", "k", "new") == 0 &&
                ktuINIFileUtils::clearFileContent() == 0 && ktuINIFileUtils::closeFile() == 0 &&
                sb.readFile("app.ini") == "[S]\nk=old\n" &&
                ktuBufferUtils::getStartingBytes(source, 4, destination, 4) == 0 &&
                ktuBufferUtils::getEndBytes(source, 4, destination, 4) == 0 && destination[0] == 9 &&
                destination[3] == 9 && ktuProcessUtils::checkIfProcessRunning("ktu_no_such_program.exe") == 0;
     },
     [](const Sandbox& sb) {  // the refused openFile left no current file behind
         return ktuINIFileUtils::setTagValue("S", "k", "new") == -2 && sb.readFile("app.ini") == "[S]\nk=old\n";
     }},
    {"time",  // copying asks no handshake; assigning reads the gated getters; a new stamp reads no clock
     [](const Sandbox&) {
         setStamp(g_stamp, 1234, 567);
         g_copy.emplace(g_stamp);
         setStamp(g_target, 99, 99);
         g_target = g_stamp;
         g_early.resetSeconds(5);
         char text[32] = "untouched";
         ktuTimeString::getTimeString(SYSTEMTIME{2010, 1, 0, 1, 0, 0, 0, 0}, 3, text);
         return (*g_copy - g_early) == 0 && std::strcmp(text, "untouched") == 0;
     },
     [](const Sandbox&) {
         return g_copy->getSeconds() == 1234 && g_copy->getMilliSeconds() == 567 && g_target.getSeconds() == 0 &&
                g_target.getMilliSeconds() == 0 && g_early.getSeconds() == 0 && g_early.getMilliSeconds() == 0;
     }},
    {"registry (not gated: the store answers as it does after the handshake)", [](const Sandbox&) {
         RECT rect{0, 0, 0, 0};
         ktuRegistryUtils::getWindowRectFromString(&rect, "10,300,200,20");
         return rect.left == 10 && rect.right == 300 && rect.bottom == 200 && rect.top == 20;
     }},
};

bool check(bool ok, const char* what, const char* family)
{
    if (!ok) std::fprintf(stderr, "wrong %s the handshake: %s\n", what, family);
    return ok;
}

bool everyRowRefused()
{
    if (ktuLibVersionManagerUtils::isValidVersion()) return false;
    Sandbox sb;
    bool ok = true;
    for (const Row& row : kRows) ok = check(row.before(sb), "before", row.family) && ok;
    // Only what the rows made themselves is in the sandbox.
    for (const auto& entry : fs::directory_iterator(sb.native())) {
        const std::string name = entry.path().filename().string();
        if (name != "app.ini") ok = check(false, "before", name.c_str());
    }
    ktu::test::openGate();
    for (const Row& row : kRows) ok = (!row.after || check(row.after(sb), "after", row.family)) && ok;
    return ok;
}

TEST(Gate, EveryOperationFamilyBeforeTheHandshake)
{
    ktu::test::expectInFreshProcess(everyRowRefused);
}

}  // namespace
