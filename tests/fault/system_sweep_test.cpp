// Fault sweeps of the registry settings, the INI files and the process list.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>

#include "faultSweep.h"

namespace fs = std::filesystem;

namespace ktu {
namespace test {
namespace {

// The subkey is removed afterwards (on POSIX the settings store is the sandbox's own anyway).
class RegistrySweep : public FaultSweep {
protected:
    const std::string subKey = "FaultSweep";

    void TearDown() override
    {
        ktuRegistryUtils::deleteRegistryKey(subKey.c_str());
        FaultSweep::TearDown();
    }
    std::string read(const char* name)
    {
        char out[512] = "<unread>";
        ktuRegistryUtils::getStringValueFromRegistryKey(name, out, subKey.c_str());
        return out;
    }
};

TEST_F(RegistrySweep, ReadsAndWrites)
{
    ASSERT_TRUE(ktuRegistryUtils::addStringValueToRegistryKey("Name", "value", subKey.c_str()));
    ASSERT_TRUE(ktuRegistryUtils::addStringValueToRegistryKey("", "unnamed", subKey.c_str()));
    // A key that cannot be opened leaves `out`; a value that cannot be read empties it.
    for (bool byPath : {false, true}) {
        sweep(byPath ? "ktuRegistryUtils::getStringValueFromRegistryKey(key)"
                     : "ktuRegistryUtils::getStringValueFromRegistryKey(value)",
              [&] {
                  const std::string key = "SOFTWARE\\Optic Pipeline\\" + subKey;
                  char out[512] = "before";
                  const bool read = succeeds([&] {
                      return byPath ? ktuRegistryUtils::getStringValueFromRegistryKey(key.c_str(), out)
                                    : ktuRegistryUtils::getStringValueFromRegistryKey("Name", out, subKey.c_str());
                  });
                  EXPECT_TRUE(read ? out == std::string(byPath ? "unnamed" : "value")
                                   : std::strcmp(out, "before") == 0 || out[0] == '\0')
                      << out;
              });
    }
    // Writes leave the old or the new value. True is also the answer when the
    // value itself could not be set, but not when the key could not be made.
    sweep("ktuRegistryUtils::addStringValueToRegistryKey", [&] {
        ASSERT_TRUE(ktuRegistryUtils::addStringValueToRegistryKey("Name", "old", subKey.c_str()));
        const bool done =
            injected([&] { return ktuRegistryUtils::addStringValueToRegistryKey("Name", "new", subKey.c_str()); });
        const std::string now = read("Name");
        EXPECT_TRUE(now == (done ? "new" : "old") || (done && now == "old")) << now;
        EXPECT_TRUE(!done || failedEntry() != "registry.createKey");
    });
    sweep("ktuRegistryUtils::deleteRegistryKey", [&] {
        ASSERT_TRUE(ktuRegistryUtils::addStringValueToRegistryKey("Name", "old", subKey.c_str()));
        EXPECT_TRUE(injected([&] { return ktuRegistryUtils::deleteRegistryKey(subKey.c_str()); }));
        const std::string now = read("Name");
        EXPECT_TRUE(now == "old" || now == "<unread>") << now;
    });
    sweep("ktuRegistryUtils::validateAndUpdateBaseKey", [&] {
        if (succeeds([] { return ktuRegistryUtils::validateAndUpdateBaseKey(); })) {
            platform::RegKey key = platform::ops().registry.openKey("SOFTWARE\\Optic Pipeline", false);
            EXPECT_NE(key, nullptr);
            if (key != nullptr) platform::ops().registry.closeKey(key);
        }
    });
}

class IniSweep : public FaultSweep {
protected:
    void TearDown() override
    {
        ktuINIFileUtils::closeFile();
        FaultSweep::TearDown();
    }
    void openWithOldValue()
    {
        ASSERT_EQ(ktuINIFileUtils::openFile(work("cfg/a.ini").c_str()), 1);
        ASSERT_EQ(ktuINIFileUtils::setTagValue("Section", "Key", "old"), 1);
    }
};

TEST_F(IniSweep, Operations)
{
    sweep("ktuINIFileUtils::openFile", [&] {
        EXPECT_EQ(injected([&] { return ktuINIFileUtils::openFile(work("new/b.ini").c_str()); }), 1);
        EXPECT_FALSE(fs::exists(native("new/b.ini"))) << "the file is made by the first write";
    });
    sweep("ktuINIFileUtils::setTagValue", [&] {
        openWithOldValue();
        const bool set = succeeds([] { return ktuINIFileUtils::setTagValue("Section", "Key", "new"); }, 1, -2);
        char out[500] = "", fallback[8] = "missing";
        ktuINIFileUtils::getTagValue("Section", "Key", out, fallback);
        EXPECT_STREQ(out, set ? "new" : "old");
    });
    sweep("ktuINIFileUtils::getTagValue", [&] {
        openWithOldValue();
        char out[500] = "before";
        char fallback[8] = "dflt";
        const long result = injected([&] { return ktuINIFileUtils::getTagValue("Section", "Key", out, fallback); });
        // Read: the value or the default; not read (-2): `out` untouched.
        EXPECT_TRUE(result == 1 ? std::strcmp(out, "old") == 0 || std::strcmp(out, "dflt") == 0
                                : result == -2 && std::strcmp(out, "before") == 0)
            << result << " " << out;
    });
    sweep("ktuINIFileUtils::clearFileContent", [&] {
        openWithOldValue();
        if (succeeds([] { return ktuINIFileUtils::clearFileContent(); }, 1, -1)) {
            EXPECT_EQ(fs::file_size(native("cfg/a.ini")), 0u);
        }
    });
}

// Stands in for the machine's processes (never ended): process i + 1 runs kNames[i], its handle is its id.
struct FakeProcesses {
    static constexpr const char* kNames[] = {"init", "Sleeper.exe", "other.exe", "sleeper.exe"};
    inline static std::set<uint32_t> open, ended;

    static uint32_t idOf(platform::ProcessHandle h) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(h)); }
    static bool enumerate(uint32_t* ids, uint32_t bytes, uint32_t* used)
    {
        *used = std::min<uint32_t>(bytes / 4, 4) * 4;
        for (uint32_t i = 0; i < *used / 4; ++i) ids[i] = i + 1;
        return true;
    }
    static platform::ProcessHandle openOne(uint32_t, uint32_t id)
    {
        open.insert(id);
        return reinterpret_cast<platform::ProcessHandle>(static_cast<uintptr_t>(id));
    }
    static bool name(platform::ProcessHandle h, char* buffer, uint32_t size)
    {
        return idOf(h) - 1 < std::size(kNames) && std::snprintf(buffer, size, "%s", kNames[idOf(h) - 1]) > 0;
    }
    static bool terminate(platform::ProcessHandle h, uint32_t)
    {
        ended.insert(idOf(h));
        return true;
    }
    static void close(platform::ProcessHandle h) { EXPECT_EQ(open.erase(idOf(h)), 1u) << "closed twice"; }
};

class ProcessSweep : public FaultSweep {
protected:
    platform::ProcessOps& table = platform::ops().process;
    ScopedOverride<decltype(table.enumProcesses)> enumerate{table.enumProcesses, &FakeProcesses::enumerate};
    ScopedOverride<decltype(table.openProcess)> openOne{table.openProcess, &FakeProcesses::openOne};
    ScopedOverride<decltype(table.mainModuleName)> name{table.mainModuleName, &FakeProcesses::name};
    ScopedOverride<decltype(table.terminate)> terminate{table.terminate, &FakeProcesses::terminate};
    ScopedOverride<decltype(table.close)> close{table.close, &FakeProcesses::close};
};

TEST_F(ProcessSweep, ListAndEnd)
{
    sweep("ktuProcessUtils::checkIfProcessRunning", [&] {
        const int count = injected([] { return ktuProcessUtils::checkIfProcessRunning("sleeper.exe"); });
        EXPECT_TRUE(count == 2 || (count >= 0 && count < 2 && fired())) << count;
        EXPECT_TRUE(FakeProcesses::open.empty()) << "a process handle was left open";
        FakeProcesses::open.clear();
    });
    sweep("ktuProcessUtils::killAllRunningProcess", [&] {
        FakeProcesses::ended.clear();
        injected([] { ktuProcessUtils::killAllRunningProcess("SLEEPER.EXE"); });
        const std::set<uint32_t> sleepers{2, 4}, &ended = FakeProcesses::ended;
        EXPECT_TRUE(fired() ? std::includes(sleepers.begin(), sleepers.end(), ended.begin(), ended.end())
                            : ended == sleepers);
        EXPECT_TRUE(FakeProcesses::open.empty()) << "a process handle was left open";
        FakeProcesses::open.clear();
    });
}

}  // namespace
}  // namespace test
}  // namespace ktu
