// Settings round trip: writes an application's settings to an INI file and to
// the registry, reads them back, and logs what happened.
//
//   settings_roundtrip WORK_FOLDER
//
// On Linux the registry is a settings store in one file; KTU_SETTINGS_DB
// names it (this example points it into WORK_FOLDER when it is not set, so a
// run never touches the user's own settings). Registry values live below the
// framework's base key "SOFTWARE\Optic Pipeline".
#include <KSUtilityClasses.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string driveForm(const std::string& path)
{
#if defined(_WIN32)
    return path;
#else
    return path.size() > 0 && path[0] == '/' ? "C:" + path : path;
#endif
}

int failures = 0;

void check(bool ok, const char* what)
{
    std::printf("%-40s %s\n", what, ok ? "ok" : "FAILED");
    if (!ok) {
        ++failures;
        // Level 0: one line in output.log, nothing more. Level 1 would also
        // show a message box, level 2 would end the process.
        ktuLogUtils::writeLog("SettingsExample", what, 0);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: settings_roundtrip WORK_FOLDER\n");
        return 2;
    }
    const std::string work = argv[1];
#if !defined(_WIN32)
    setenv("KTU_SETTINGS_DB", (work + "/registry.db").c_str(), 0);
#endif

    char version[] = "4.02";
    ktuLibVersionManagerUtils::validateVersion(version);

    // The log folder is made when missing; every line goes to output.log there.
    check(ktuLogUtils::setLogsDir(driveForm(work + "/logs").c_str()), "choose the log folder");
    ktuLogUtils::writeLog("SettingsExample", "started", 0);

    // INI file: one current file at a time; missing folders are made.
    const std::string ini = driveForm(work + "/config/camera.ini");
    check(ktuINIFileUtils::openFile(ini.c_str()) == 1, "open camera.ini");
    check(ktuINIFileUtils::setTagValue("Capture", "Width", "640") == 1, "write Capture/Width");
    check(ktuINIFileUtils::setTagValue("Capture", "Source", "rtsp://cam7/stream") == 1, "write Capture/Source");

    char value[500];
    char fallback[] = "none";
    check(ktuINIFileUtils::getTagValue("capture", "width", value, fallback) == 1 && std::strcmp(value, "640") == 0,
          "read it back (names ignore case)");
    ktuINIFileUtils::getTagValue("Capture", "Missing", value, fallback);
    check(std::strcmp(value, "none") == 0, "a missing key gives the default");
    ktuINIFileUtils::closeFile();

    // Registry: string values below SOFTWARE\Optic Pipeline\<subkey>.
    const char* subKey = "SettingsExample\\Viewer";
    check(ktuRegistryUtils::addStringValueToRegistryKey("WindowRect", "10,650,20,500", subKey),
          "write Viewer/WindowRect");
    char stored[512] = "";
    check(ktuRegistryUtils::getStringValueFromRegistryKey("WindowRect", stored, subKey) &&
              std::strcmp(stored, "10,650,20,500") == 0,
          "read it back");

    // The library parses the "left,right,bottom,top" text it stores windows as.
    RECT rect{};
    ktuRegistryUtils::getWindowRectFromString(&rect, stored);
    check(rect.left == 10 && rect.right == 650 && rect.bottom == 20 && rect.top == 500, "parse the window rectangle");

    ktuRegistryUtils::deleteRegistryKey(subKey);
    check(!ktuRegistryUtils::getStringValueFromRegistryKey("WindowRect", stored, subKey), "delete the key");

    char line[128];
    std::snprintf(line, sizeof line, "finished with %d failures", failures);
    ktuLogUtils::writeLog("SettingsExample", line, 0);
    std::printf("log: %s/logs/output.log\n", work.c_str());
    return failures == 0 ? 0 : 1;
}
