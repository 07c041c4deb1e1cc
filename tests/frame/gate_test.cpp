// Before the version handshake: every gated operation answers its failure
// value and touches nothing (no file, folder, log line, message box, dialog,
// socket or process); the few that ask no handshake do their work. One fresh
// process runs the whole table; a failing row names itself on stderr.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "KSUtilityClasses.h"
#include "ktuBufferUtils.h"
#include "ktuINIFileUtils.h"
#include "ktuProcessUtils.h"
#include "ktuRGB24DataUtils.h"
#include "ktuRegistryUtils.h"
#include "ktuRelativeBbox.h"
#include "ktuTestSupport.h"
#include "ktuTime.h"
#include "ktuTimeString.h"
#include "ktuVideoStreamManipulator.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;
using ktu::test::Sandbox;

// A 2 x 2 24-bit BMP file: 54 header bytes, two rows of 8.
std::string tinyBmp()
{
    std::string s(70, '\0');
    for (auto [at, v] : {std::pair<int, uint32_t>{2, 70}, {10, 54}, {14, 40}, {18, 2}, {22, 2}, {26, 1}, {28, 24}, {34, 16}})
        std::memcpy(&s[at], &v, at == 26 || at == 28 ? 2 : 4);
    return s.replace(0, 2, "BM");
}

// The six doubles of a box after its table pointer (right, left, bottom, top,
// center X, center Y).
constexpr std::size_t kFirstEdge = (sizeof(void*) + alignof(double) - 1) / alignof(double) * alignof(double);
std::vector<double> raw(const ktuRelativeBbox& box)
{
    std::vector<double> v(6);
    std::memcpy(v.data(), reinterpret_cast<const char*>(&box) + kFirstEdge, 6 * sizeof(double));
    return v;
}
void setRaw(ktuRelativeBbox& box, const std::vector<double>& v)
{
    std::memcpy(reinterpret_cast<char*>(&box) + kFirstEdge, v.data(), 6 * sizeof(double));
}

// A stamp's two fields after its table pointer: seconds, then milliseconds.
void setStamp(ktuTime& stamp, int32_t seconds, uint32_t milliseconds)
{
    char* fields = reinterpret_cast<char*>(&stamp) + sizeof(void*);
    std::memcpy(fields, &seconds, sizeof seconds);
    std::memcpy(fields + sizeof seconds, &milliseconds, sizeof milliseconds);
}

#if defined(_WIN32)
HDC drawing() { return GetDC(nullptr); }
HWND window() { return GetDesktopWindow(); }
#else
HDC drawing()
{
    static unsigned char pixels[12];
    static ktuSurface surface{2, 2, 6, pixels};
    return &surface;
}
HWND window()
{
    static ktuWindow w{RECT{0, 0, 2, 2}};
    return &w;
}
#endif

int pickerCalls = 0;
int pick(void*, const ktuFilePickRequest*, char*, unsigned int)
{
    return ++pickerCalls, 1;
}

struct Row {
    const char* family;
    std::function<bool(const Sandbox&)> refused;
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
         ktuSetFilePickerHandler(pick, nullptr);
         char file[260] = "kept";
         bool shown = ktuFilePathUtils::getOpenFileName(file, "All|*.*|", "t", nullptr) ||
                      ktuFilePathUtils::getSaveFileName(file, "All|*.*|", "t", "bmp", nullptr);
         ktuSetFilePickerHandler(nullptr, nullptr);
         return !shown && pickerCalls == 0 && std::strcmp(file, "kept") == 0;
     }},
    {"bmp files", [](const Sandbox& sb) {
         sb.writeFile("g.bmp", tinyBmp());
         const std::string p = sb.path("g.bmp"), n = sb.path("n.bmp");
         Bytes px(16, 0x40), out(16, 0xAB);
         int w = 7, h = 7;
         IPicture* pic = nullptr;
         // The two that ask no handshake: the header and the format check.
         BITMAPINFO* info = ktuBMPUtils::CreateBitmapInfoStruct(2, 2);
         bool open = info != nullptr && info->bmiHeader.biSizeImage == 16 && ktuBMPUtils::checkBMPFormat(p.c_str());
         bool refused = !ktuBMPUtils::saveAsBMP(2, 2, px.data(), n.c_str()) &&
                        !ktuBMPUtils::CreateBMPFile(n.c_str(), info, px.data()) &&
                        !ktuBMPUtils::getImageSize(p.c_str(), &w, &h) && !ktuBMPUtils::getImageSize2(p.c_str(), &w, &h) &&
                        !ktuBMPUtils::getImageData(p.c_str(), out.data()) &&
                        !ktuBMPUtils::getImageBitmapData(p.c_str(), out.data()) &&
                        !ktuBMPUtils::getResizedImageData(p.c_str(), out.data(), 2, 2) &&
                        ktuBMPUtils::getBMPFormatDataLen(2, 2) == 0 &&
                        !ktuBMPUtils::cropAndSaveImage(p.c_str(), n.c_str(), 0, 0, 1, 1) &&
                        !ktuBMPUtils::LoadPictureFile(p.c_str(), &pic, nullptr) && pic == nullptr &&
                        !ktuBMPUtils::DrawImage(drawing(), p.c_str(), POINT{1, 1}, window(), RECT{0, 0, 2, 2});
         ktu::platform::ops().picture.localFree(info);
         return open && refused && w == 7 && h == 7 && out == Bytes(16, 0xAB) && !sb.exists("n.bmp");
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
         ktuBMPUtils::resizeImageAndReturnData(2, 2, nullptr, 3, 3, nullptr);  // no fault raised either
         return refused && status == 5 && w == -7 && h == -7 && a == Bytes(64, 1) && b == Bytes(64, 2);
     }},
    {"relative box", [](const Sandbox&) {
         // Never set (zero here), getters 0.0, setters do nothing; operator+,
         // which asks no handshake, merges with the all-zero box the getters give.
         ktuRelativeBbox box, other;
         setRaw(box, std::vector<double>(6, 0.0));
         setRaw(other, std::vector<double>(6, 0.0));
         box.setDimensions(0.9, 0.1, 0.2, 0.8);
         box.setRelativeWidth(0.5);
         box.setRelativeHeight(0.5);
         box.setRelativeCenterX(0.5);
         box.setRelativeCenterY(0.5);
         bool zero = raw(box) == std::vector<double>(6, 0.0) && box.getRelativeLeftCol() == 0.0 &&
                     box.getRelativeRightCol() == 0.0 && box.getRelativeTopRow() == 0.0 &&
                     box.getRelativeBottomRow() == 0.0 && box.getRelativeWidth() == 0.0 &&
                     box.getRelativeHeight() == 0.0 && box.getRelativeCenterX() == 0.0 &&
                     box.getRelativeCenterY() == 0.0 && !box.checkBboxDimensions() &&
                     !box.checkOverlapWithinAllowance(&other, 1.0, 1.0);
         setRaw(box, {0.7, 0.3, 0.4, 0.6, 0.5, 0.5});
         setRaw(other, {-0.2, -0.5, -0.4, -0.1, 0.0, 0.0});
         bool merged = &(box + other) == &box && raw(box) == std::vector<double>{0.7, 0.0, 0.0, 0.6, 0.5, 0.5};
         bool mergedNegative =
             &(other + box) == &other && raw(other) == std::vector<double>{0.0, -0.5, -0.4, 0.0, 0.0, 0.0};
         return zero && merged && mergedNegative;
     }},
    {"video zoom", [](const Sandbox&) {
         ktuVideoStreamManipulator zoom;  // no buffer: the destructor must not free garbage
         zoom.setImageSize(4, 2);
         ktuRelativeBbox box;
         box.setDimensions(1.0, 0.0, 0.0, 0.5);
         zoom.setCaptureRect(&box, true);
         Bytes in(24), out(24, 99);
         for (std::size_t i = 0; i < in.size(); ++i) in[i] = static_cast<unsigned char>(i / 3);
         const Bytes original = in;
         zoom.applyChanges(in.data(), out.data());
         zoom.applyChanges(in.data());
         ktuVideoStreamManipulator copy(zoom);
         copy = zoom;
         return out == Bytes(24, 99) && in == original;
     }},
    {"sockets and records", [](const Sandbox&) {
         static int calls = 0;
         ktu::test::Overrides o;
         auto& net = ktu::platform::ops().socket;
         o.set(net.recv, [](SOCKET, char*, int, int) { return ++calls, 0; });
         o.set(net.startup, [] { return ++calls, 0; });
         o.set(net.send, [](SOCKET, const char*, int, int) { return ++calls, 1; });
         SOCKET s = 3;
         char buffer[64] = "k";
         unsigned count = 42;
         int port = 17, o1 = 5;
         char ip[16] = "keep";
         bool ok = ktuSocketUtils::readMessageFromSocket(&s, 20, 29, buffer, 64, &count) == 0 &&
                   ktuSocketUtils::readMessageFromSocket(&s, buffer, 64, &count) == 0 &&
                   ktuSocketUtils::writeMessageToSocket(&s, 0, buffer, 10) == 0 && count == 42 &&
                   !ktuSocketUtils::checkSocketOpen(100) && !ktuSocketUtils::checkConsecutiveSocketsOpen(100, 2) &&
                   !ktuSocketUtils::getNextFreeSocketPortNumber(&port, 1) && port == 17 && buffer[0] == 'k';
         ktuSocketUtils::getIPAddress(o1, o1, o1, o1, ip);
         ktuSocketUtils::getIPAddress(ip);
         // The records keep every byte; the peer description works regardless.
         static iKSNetworkEventData e, e2, eBefore;
         static iKSNetworkObjectData r, r2, rBefore;
         std::memset(static_cast<void*>(&e), 1, sizeof e);
         std::memset(static_cast<void*>(&r), 3, sizeof r);
         e2 = eBefore = e, r2 = rBefore = r;
         e2.recordTag = 2, r2.listValue = 4;
         ktuKSNetworkInitInfo::initNetworkEventData(&e);
         ktuKSNetworkInitInfo::initNetworkObjectData(&r);
         ktuKSNetworkInitInfo::copyNetworkEventData(&e2, &e);
         ktuKSNetworkInitInfo::copyNetworkObjectData(&r2, &r);
         ktuKSNetworkInitInfo a, b;
         a.portNumber = 2;
         ktuKSNetworkInitInfo c(a);
         b = a;
         return ok && std::strcmp(ip, "keep") == 0 && o1 == 5 && calls == 0 &&
                std::memcmp(&e, &eBefore, sizeof e) == 0 && std::memcmp(&r, &rBefore, sizeof r) == 0 &&
                e2.recordTag == 2 && r2.listValue == 4 && a == b && c.portNumber == 2 && c.doubleValue == 9.0;
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
    {"ini and buffers", [](const Sandbox& sb) {
         const std::string content = "[S]\nk=old\n";
         sb.writeFile("app.ini", content);
         char out[500] = "untouched";
         char fallback[8] = "";
         bool ini = ktuINIFileUtils::openFile(sb.path("app.ini").c_str()) == 0 &&
                    ktuINIFileUtils::getTagValue("S", "k", out, fallback) == 0 && std::strcmp(out, "untouched") == 0 &&
                    fallback[0] == '\0' && ktuINIFileUtils::setTagValue("S", "k", "new") == 0 &&
                    ktuINIFileUtils::clearFileContent() == 0 && ktuINIFileUtils::closeFile() == 0 &&
                    sb.readFile("app.ini") == content;
         unsigned char source[4] = {1, 2, 3, 4};
         unsigned char destination[4] = {9, 9, 9, 9};
         return ini && ktuBufferUtils::getStartingBytes(source, 4, destination, 4) == 0 &&
                ktuBufferUtils::getEndBytes(source, 4, destination, 4) == 0 && destination[0] == 9 &&
                destination[3] == 9;
     }},
    {"processes", [](const Sandbox& sb) {
         const std::string program = ktu::test::uniqueName("ktugate") + ".exe";
         ktu::test::Child child;
         if (!ktu::test::startChild(ktu::test::makeSleeperProgram(sb.native(), program), child)) return false;
         const int count = ktuProcessUtils::checkIfProcessRunning(program.c_str());
         ktuProcessUtils::killAllRunningProcess(program.c_str());
         const bool ended = ktu::test::waitChild(child, 1);
         ktu::test::endChild(child);
         return count == 0 && !ended;
     }},
    {"registry (not gated)", [](const Sandbox& sb) {
#if defined(KTU_NO_SETTINGS_STORE)
         (void)sb;
         return true;  // no store to answer before or after the handshake
#endif
#if !defined(_WIN32)
         ::setenv("KTU_SETTINGS_DB", sb.native("registry.db").c_str(), 1);
#else
         (void)sb;  // the registry of the Wine prefix
#endif
         const std::string key = ktu::test::uniqueName("ktu-gate");
         char value[512] = "";
         RECT rect{0, 0, 0, 0};
         ktuRegistryUtils::getWindowRectFromString(&rect, "10,300,200,20");
         return ktuRegistryUtils::validateAndUpdateBaseKey() &&
                ktuRegistryUtils::addStringValueToRegistryKey("Camera", "front", key.c_str()) &&
                ktuRegistryUtils::getStringValueFromRegistryKey("Camera", value, key.c_str()) &&
                std::strcmp(value, "front") == 0 && ktuRegistryUtils::deleteRegistryKey(key.c_str()) &&
                !ktuRegistryUtils::getStringValueFromRegistryKey("Camera", value, key.c_str()) && rect.left == 10 &&
                rect.right == 300 && rect.bottom == 200 && rect.top == 20;
     }},
};

// After the rows the gate opens: what the closed gate left must show then.
bool leftNothingBehind(const Sandbox& sb, const ktuTime& copy, const ktuTime& target, const ktuTime& early)
{
    ktu::test::openGate();
    // openFile before the handshake left no current file behind.
    return ktuINIFileUtils::setTagValue("S", "k", "new") == -2 && sb.readFile("app.ini") == "[S]\nk=old\n" &&
           copy.getSeconds() == 1234 && copy.getMilliSeconds() == 567 &&  // copying is not gated
           target.getSeconds() == 0 && target.getMilliSeconds() == 0 &&   // assigning reads the gated getters
           early.getSeconds() == 0 && early.getMilliSeconds() == 0;        // a new stamp reads no clock
}

bool everyRowRefused()
{
    if (ktuLibVersionManagerUtils::isValidVersion()) return false;
    Sandbox sb;
    bool ok = true;
    for (const Row& row : kRows) {
        if (!row.refused(sb)) {
            std::fprintf(stderr, "wrong before the handshake: %s\n", row.family);
            ok = false;
        }
    }
    // Only what the rows made themselves is in the sandbox.
    for (const auto& entry : fs::directory_iterator(sb.native())) {
        const std::string name = entry.path().filename().string();
        if (name != "app.ini" && name != "g.bmp" && name.rfind("registry.db", 0) != 0 && name.rfind("ktugate", 0) != 0) {
            std::fprintf(stderr, "made before the handshake: %s\n", name.c_str());
            ok = false;
        }
    }
    ktuTime stamp;
    setStamp(stamp, 1234, 567);
    ktuTime copy(stamp), target, early;
    setStamp(target, 99, 99);
    target = stamp;
    early.resetSeconds(5);
    char text[32] = "untouched";
    ktuTimeString::getTimeString(SYSTEMTIME{2010, 1, 0, 1, 0, 0, 0, 0}, 3, text);
    if ((copy - early) != 0 || std::strcmp(text, "untouched") != 0) {
        std::fprintf(stderr, "wrong before the handshake: time\n");
        ok = false;
    }
    if (!leftNothingBehind(sb, copy, target, early)) {
        std::fprintf(stderr, "wrong after the handshake\n");
        ok = false;
    }
    return ok;
}

TEST(Gate, EveryOperationFamilyBeforeTheHandshake)
{
    ktu::test::expectInFreshProcess(everyRowRefused);
}

}  // namespace
