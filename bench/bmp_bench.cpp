// Reading and writing a 1920 x 1080 24-bit BMP file held in the page cache:
// getImageData and saveAsBMP beside a plain fread / fwrite of the same bytes
// (the limits: one copy between the page cache and a buffer) and OpenCV's
// imread / imwrite. saveAsBMP replaces a file rather than overwriting it (a
// temporary file, flushed to the disk, renamed over the old one, the folder
// flushed), so its target is against the least work that gives the same
// guarantee: the same bytes written that way. After the runs the ratios to
// the limits are printed.
#include <benchmark/benchmark.h>

#include <opencv2/imgcodecs.hpp>

#include <cstdio>

#include <fcntl.h>
#include <unistd.h>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "KSUtilityClasses.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr std::size_t kRaster = 3u * kWidth * kHeight;  // 1920 * 3 is a multiple of 4: no alignment bytes
constexpr std::size_t kFile = 54 + kRaster;

struct Files {
    std::filesystem::path folder;
    std::string source;       // native path of the picture that is read
    std::string target;       // native path that the writers replace
    std::string sourceDrive;  // the same paths as the library takes them
    std::string targetDrive;
    std::vector<unsigned char> raster;  // BMP-aligned pixels
    std::vector<unsigned char> image;   // the whole file image
};

std::string drivePath(const std::filesystem::path& p)
{
#if defined(_WIN32)
    return p.string();
#else
    return "C:" + p.string();
#endif
}

Files& files()
{
    static Files f = [] {
        Files made;
        made.folder = std::filesystem::temp_directory_path() / "ktu_bmp_bench";
        std::filesystem::create_directories(made.folder);
        made.source = (made.folder / "source.bmp").string();
        made.target = (made.folder / "target.bmp").string();
        made.sourceDrive = drivePath(made.folder / "source.bmp");
        made.targetDrive = drivePath(made.folder / "target.bmp");
        made.raster.resize(kRaster);
        for (std::size_t i = 0; i < kRaster; ++i) {
            made.raster[i] = static_cast<unsigned char>(i * 7 + i / 5760);
        }
        char version[] = "4.02";
        ktuLibVersionManagerUtils::validateVersion(version);
        ktuBMPUtils::saveAsBMP(kWidth, kHeight, made.raster.data(), made.sourceDrive.c_str());
        made.image.resize(kFile);
        std::FILE* in = std::fopen(made.source.c_str(), "rb");  // also brings it into the page cache
        if (in == nullptr || std::fread(made.image.data(), 1, kFile, in) != kFile) {
            std::fprintf(stderr, "cannot prepare %s\n", made.source.c_str());
            std::exit(1);
        }
        std::fclose(in);
        return made;
    }();
    return f;
}

void BM_ReadFread(benchmark::State& state)
{
    std::vector<unsigned char> buffer(kFile);
    for (auto _ : state) {
        std::FILE* in = std::fopen(files().source.c_str(), "rb");
        std::size_t got = std::fread(buffer.data(), 1, kFile, in);
        std::fclose(in);
        benchmark::DoNotOptimize(got);
    }
    state.SetBytesProcessed(state.iterations() * kFile);
}

void BM_ReadGetImageData(benchmark::State& state)
{
    std::vector<unsigned char> out(kRaster);
    for (auto _ : state) {
        bool ok = ktuBMPUtils::getImageData(files().sourceDrive.c_str(), out.data());
        benchmark::DoNotOptimize(ok);
    }
    state.SetBytesProcessed(state.iterations() * kFile);
}

void BM_ReadOpenCV(benchmark::State& state)
{
    for (auto _ : state) {
        cv::Mat m = cv::imread(files().source, cv::IMREAD_COLOR);
        benchmark::DoNotOptimize(m.data);
    }
    state.SetBytesProcessed(state.iterations() * kFile);
}

void BM_WriteFwrite(benchmark::State& state)
{
    for (auto _ : state) {
        std::FILE* out = std::fopen(files().target.c_str(), "wb");
        std::size_t put = std::fwrite(files().image.data(), 1, kFile, out);
        std::fclose(out);
        benchmark::DoNotOptimize(put);
    }
    state.SetBytesProcessed(state.iterations() * kFile);
}

// The same bytes as a new file that replaces the old one once it is on the
// disk: temporary file, fsync, rename, fsync of the folder.
void BM_WriteReplace(benchmark::State& state)
{
    const std::string temp = files().target + ".tmp";
    const std::string folder = std::filesystem::path(files().target).parent_path().string();
    for (auto _ : state) {
        int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        std::size_t put = 0;
        while (fd >= 0 && put < kFile) {
            const ssize_t n = ::write(fd, files().image.data() + put, kFile - put);
            if (n <= 0) {
                break;
            }
            put += static_cast<std::size_t>(n);
        }
        ::fsync(fd);
        ::close(fd);
        std::rename(temp.c_str(), files().target.c_str());
        const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::fsync(dir);
        ::close(dir);
        benchmark::DoNotOptimize(put);
    }
    state.SetBytesProcessed(state.iterations() * kFile);
}

void BM_WriteSaveAsBMP(benchmark::State& state)
{
    for (auto _ : state) {
        bool ok = ktuBMPUtils::saveAsBMP(kWidth, kHeight, files().raster.data(), files().targetDrive.c_str());
        benchmark::DoNotOptimize(ok);
    }
    state.SetBytesProcessed(state.iterations() * kFile);
}

void BM_WriteOpenCV(benchmark::State& state)
{
    cv::Mat m(kHeight, kWidth, CV_8UC3, files().raster.data());
    for (auto _ : state) {
        bool ok = cv::imwrite(files().target, m);
        benchmark::DoNotOptimize(ok);
    }
    state.SetBytesProcessed(state.iterations() * kFile);
}

BENCHMARK(BM_ReadFread)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_ReadGetImageData)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_ReadOpenCV)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_WriteFwrite)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_WriteReplace)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_WriteSaveAsBMP)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_WriteOpenCV)->Unit(benchmark::kMicrosecond)->UseRealTime();

// Keeps the console output and remembers each benchmark's time (the median
// when repetitions are asked for, else the single run).
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const auto& run : runs) {
            std::string name = run.run_name.function_name;
            bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_type == Run::RT_Iteration && times_.count(name) == 0) {
                times_[name] = run.GetAdjustedRealTime();
            } else if (median) {
                times_[name] = run.GetAdjustedRealTime();
                medians_ = true;
            }
        }
    }
    void printRatios() const
    {
        auto ratio = [&](const char* a, const char* b) {
            auto x = times_.find(a);
            auto y = times_.find(b);
            return (x == times_.end() || y == times_.end() || y->second == 0) ? 0.0 : x->second / y->second;
        };
        std::printf("\nratios (%s real time)\n", medians_ ? "median" : "single-run");
        std::printf("  getImageData / fread   %6.2f   (target <= 2.0)\n", ratio("BM_ReadGetImageData", "BM_ReadFread"));
        std::printf("  cv::imread / fread     %6.2f\n", ratio("BM_ReadOpenCV", "BM_ReadFread"));
        std::printf("  saveAsBMP / fwrite     %6.2f\n", ratio("BM_WriteSaveAsBMP", "BM_WriteFwrite"));
        std::printf("  saveAsBMP / replace    %6.2f   (target <= 1.2)\n", ratio("BM_WriteSaveAsBMP", "BM_WriteReplace"));
        std::printf("  cv::imwrite / fwrite   %6.2f\n", ratio("BM_WriteOpenCV", "BM_WriteFwrite"));
    }

private:
    std::map<std::string, double> times_;
    bool medians_ = false;
};

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    files();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios();
    std::error_code ignored;
    std::filesystem::remove_all(files().folder, ignored);
    benchmark::Shutdown();
    return 0;
}
