// Registry settings and INI values against the least work that could give
// the same guarantees.
//
// Registry: a value written and read through ktuRegistryUtils (each call
// opens the settings store, runs one transaction and closes it again),
// against the same statement on one SQLite connection kept open for the whole
// run, with the same journal (rollback journal, synchronous commits).
// INI: a value written through ktuINIFileUtils into a file of 40 keys (read,
// changed, written to a temporary file, flushed, renamed) and read back,
// against writing the same bytes the same way without the profile engine
// (temporary file, fsync, rename) and reading the whole file with fread.
// After the run the table gives the times and their ratios.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "KSUtilityClasses.h"

namespace {

namespace fs = std::filesystem;

fs::path workFolder()
{
    static const fs::path folder = [] {
        fs::path made = fs::temp_directory_path() / ("ktu_system_bench_" + std::to_string(::getpid()));
        fs::create_directories(made);
        ::setenv("KTU_SETTINGS_DB", (made / "registry.db").c_str(), 1);
        char version[] = "4.02";
        ktuLibVersionManagerUtils::validateVersion(version);
        return made;
    }();
    return folder;
}

std::string iniContent()
{
    std::string text = "[Camera]\r\n";
    for (int i = 0; i < 40; ++i) {
        text += "Key" + std::to_string(i) + "=value number " + std::to_string(i) + "\r\n";
    }
    return text;
}

void BM_RegistryWrite(benchmark::State& state)
{
    workFolder();
    long i = 0;
    for (auto _ : state) {
        std::string value = "value " + std::to_string(i++);
        benchmark::DoNotOptimize(ktuRegistryUtils::addStringValueToRegistryKey("Bench", value.c_str(), "bench"));
    }
}

void BM_RegistryRead(benchmark::State& state)
{
    workFolder();
    ktuRegistryUtils::addStringValueToRegistryKey("Bench", "a value", "bench");
    char out[512];
    for (auto _ : state) {
        benchmark::DoNotOptimize(ktuRegistryUtils::getStringValueFromRegistryKey("Bench", out, "bench"));
    }
}

// The same work on one connection that stays open.
struct OpenStore {
    sqlite3* db = nullptr;
    OpenStore()
    {
        sqlite3_open((workFolder() / "reference.db").c_str(), &db);
        sqlite3_exec(db,
                     "PRAGMA journal_mode=DELETE; PRAGMA synchronous=FULL;"
                     "CREATE TABLE IF NOT EXISTS vals (key TEXT COLLATE NOCASE, name TEXT COLLATE NOCASE,"
                     " data BLOB, PRIMARY KEY (key, name));",
                     nullptr, nullptr, nullptr);
    }
    ~OpenStore() { sqlite3_close(db); }
};

void BM_SqliteWrite(benchmark::State& state)
{
    OpenStore store;
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(store.db, "INSERT OR REPLACE INTO vals VALUES ('bench', 'Bench', ?1)", -1, &stmt, nullptr);
    long i = 0;
    for (auto _ : state) {
        std::string value = "value " + std::to_string(i++);
        sqlite3_bind_blob(stmt, 1, value.c_str(), static_cast<int>(value.size() + 1), SQLITE_TRANSIENT);
        benchmark::DoNotOptimize(sqlite3_step(stmt));
        sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);
}

void BM_SqliteRead(benchmark::State& state)
{
    OpenStore store;
    sqlite3_exec(store.db, "INSERT OR REPLACE INTO vals VALUES ('bench', 'Bench', 'a value')", nullptr, nullptr,
                 nullptr);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(store.db, "SELECT data FROM vals WHERE key = 'bench' AND name = 'Bench'", -1, &stmt, nullptr);
    for (auto _ : state) {
        benchmark::DoNotOptimize(sqlite3_step(stmt));
        sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);
}

void BM_IniWrite(benchmark::State& state)
{
    fs::path file = workFolder() / "bench.ini";
    std::FILE* out = std::fopen(file.c_str(), "wb");
    std::fputs(iniContent().c_str(), out);
    std::fclose(out);
    ktuINIFileUtils::openFile(file.c_str());
    long i = 0;
    for (auto _ : state) {
        std::string value = "value " + std::to_string(i++ % 1000);
        benchmark::DoNotOptimize(ktuINIFileUtils::setTagValue("Camera", "Key20", value.c_str()));
    }
}

void BM_IniRead(benchmark::State& state)
{
    fs::path file = workFolder() / "bench.ini";
    std::FILE* out = std::fopen(file.c_str(), "wb");
    std::fputs(iniContent().c_str(), out);
    std::fclose(out);
    ktuINIFileUtils::openFile(file.c_str());
    char value[500];
    char fallback[2] = "";
    for (auto _ : state) {
        benchmark::DoNotOptimize(ktuINIFileUtils::getTagValue("Camera", "Key20", value, fallback));
    }
}

// Writing the same bytes as a whole new file that replaces the old one.
void BM_ReplaceFile(benchmark::State& state)
{
    fs::path file = workFolder() / "plain.ini";
    fs::path temp = workFolder() / ".plain.ini.tmp";
    const std::string text = iniContent();
    for (auto _ : state) {
        int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        benchmark::DoNotOptimize(::write(fd, text.data(), text.size()));
        ::fsync(fd);
        ::close(fd);
        std::rename(temp.c_str(), file.c_str());
    }
}

void BM_ReadFile(benchmark::State& state)
{
    fs::path file = workFolder() / "plain.ini";
    std::FILE* out = std::fopen(file.c_str(), "wb");
    std::fputs(iniContent().c_str(), out);
    std::fclose(out);
    char buffer[4096];
    for (auto _ : state) {
        std::FILE* in = std::fopen(file.c_str(), "rb");
        benchmark::DoNotOptimize(std::fread(buffer, 1, sizeof buffer, in));
        std::fclose(in);
    }
}

BENCHMARK(BM_RegistryWrite)->UseRealTime();
BENCHMARK(BM_SqliteWrite)->UseRealTime();
BENCHMARK(BM_RegistryRead)->UseRealTime();
BENCHMARK(BM_SqliteRead)->UseRealTime();
BENCHMARK(BM_IniWrite)->UseRealTime();
BENCHMARK(BM_ReplaceFile)->UseRealTime();
BENCHMARK(BM_IniRead)->UseRealTime();
BENCHMARK(BM_ReadFile)->UseRealTime();

// Collects the real time per iteration (the median when repeated) and prints
// the ratio table after the run.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred) {
                continue;
            }
            std::string name = run.run_name.function_name;
            double micros = run.GetAdjustedRealTime() * 1e6 / benchmark::GetTimeUnitMultiplier(run.time_unit);
            if (run.run_type != Run::RT_Aggregate) {
                singles_[name] = micros;
            } else if (run.aggregate_name == "median") {
                medians_[name] = micros;
            }
        }
    }
    void Finalize() override
    {
        ConsoleReporter::Finalize();
        std::printf("\n| operation | library (us) | reference | reference (us) | library / reference |\n");
        std::printf("|---|---:|---|---:|---:|\n");
        const char* rows[][4] = {
            {"registry write", "BM_RegistryWrite", "SQLite upsert, open connection", "BM_SqliteWrite"},
            {"registry read", "BM_RegistryRead", "SQLite select, open connection", "BM_SqliteRead"},
            {"INI write (40 keys)", "BM_IniWrite", "write temp + fsync + rename", "BM_ReplaceFile"},
            {"INI read (40 keys)", "BM_IniRead", "fopen + fread + fclose", "BM_ReadFile"},
        };
        for (const auto& row : rows) {
            double library = time(row[1]);
            double reference = time(row[3]);
            std::printf("| %s | %.1f | %s | %.1f | %.1f |\n", row[0], library, row[2], reference,
                        reference > 0 ? library / reference : 0.0);
        }
        std::error_code ignored;
        fs::remove_all(workFolder(), ignored);
    }

private:
    double time(const std::string& name) const
    {
        auto m = medians_.find(name);
        if (m != medians_.end()) {
            return m->second;
        }
        auto s = singles_.find(name);
        return s == singles_.end() ? 0.0 : s->second;
    }
    std::map<std::string, double> medians_;
    std::map<std::string, double> singles_;
};

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
