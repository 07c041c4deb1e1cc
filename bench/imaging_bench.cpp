// The video zoom, the nearest-neighbour resizes and the row/byte reversals
// on 1920x1080 and 640x480 RGB24 frames, against memcpy of one frame (the
// limit) and the same work done by OpenCV (single-threaded, as the library
// is) and libyuv. Prints, after the runs, each median as a ratio to the
// median memcpy of the same frame size, and how much memcpy varied.
//
// An application gets each frame fresh from a camera or a decoder, not from
// the cache, and hands the result on. So every iteration of every benchmark,
// memcpy included, takes the next of a ring of frame pairs (`--ring_mb`, per
// frame size; scripts/bench gives twice the last-level cache the machine
// reports): its input and output are not in any cache when it starts.
// `--ring_mb=0` keeps one pair of frames, which then stays in the cache: the
// case of an application that zooms a frame it has just produced.
//
//   imaging_bench --benchmark_repetitions=15 --benchmark_enable_random_interleaving=true
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <libyuv/planar_functions.h>
#include <libyuv/scale_rgb.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "KSUtilityClasses.h"
#include "ktuRasterKernels.h"

namespace {

using Bytes = std::vector<unsigned char>;

// Bytes that the ring of frames of one size spans (`--ring_mb`).
std::size_t ringBytes = std::size_t{128} << 20;

struct Frame {
    int width, height;
    std::vector<Bytes> inputs, outputs;
    std::size_t next = 0;
    unsigned char* input = nullptr;  // the current pair (see advance)
    unsigned char* output = nullptr;
    std::size_t bytes() const { return 3u * width * height; }
    // Moves to the next pair of the ring.
    void advance()
    {
        next = (next + 1) % inputs.size();
        input = inputs[next].data();
        output = outputs[next].data();
    }
    // The centre half of the frame: columns and rows from 1/4 to 3/4.
    int captureX() const { return width / 4; }
    int captureY() const { return height / 4; }
    int captureWidth() const { return width * 3 / 4 - width / 4; }
    int captureHeight() const { return height * 3 / 4 - height / 4; }
    // The 320-pixel side of the resize targets.
    int smallWidth() const { return 320; }
    int smallHeight() const { return 320 * height / width; }
};

Frame makeFrame(int width, int height)
{
    Frame f{width, height, {}, {}};
    const std::size_t pairs = std::max<std::size_t>(1, ringBytes / (2 * f.bytes()));
    std::mt19937 rng(1);
    Bytes noise(f.bytes());
    for (auto& b : noise) b = static_cast<unsigned char>(rng());
    for (std::size_t i = 0; i < pairs; ++i) {
        // Every page of both frames is written here, so that no page is
        // first touched while timed.
        f.inputs.push_back(noise);
        f.inputs.back()[i % noise.size()] ^= 1;
        f.outputs.emplace_back(f.bytes() + 64, 0);
    }
    f.advance();
    return f;
}

ktuVideoStreamManipulator makeZoom(const Frame& f)
{
    ktuVideoStreamManipulator zoom;
    zoom.setImageSize(f.width, f.height);
    ktuRelativeBbox box;
    box.setDimensions(0.75, 0.25, 0.25, 0.75);
    zoom.setCaptureRect(&box, true);
    return zoom;
}

void registerAll(Frame& f)
{
    const std::string size = std::to_string(f.width) + "x" + std::to_string(f.height) + "/";
    const std::size_t bytes = f.bytes();
    Frame* p = &f;
    auto add = [&](const char* name, auto body) {
        benchmark::RegisterBenchmark((size + name).c_str(), [body, bytes, p](benchmark::State& state) {
            for (auto _ : state) {
                p->advance();
                body();
                benchmark::ClobberMemory();
            }
            state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
        });
    };

    add("memcpy", [p] { std::memcpy(p->output, p->input, p->bytes()); });

    auto zoom = std::make_shared<ktuVideoStreamManipulator>(makeZoom(f));
    add("zoom_copy", [p, zoom] { zoom->applyChanges(p->input, p->output); });
    add("zoom_copy_plain", [p, zoom] {
        ktu::raster::useKernel(ktu::raster::Kernel::Plain);
        zoom->applyChanges(p->input, p->output);
        ktu::raster::useKernel(ktu::raster::bestKernel());
    });
    add("zoom_in_place", [p, zoom] { zoom->applyChanges(p->output); });

    add("resizeData_320", [p] {
        int w, h;
        long status;
        ktuRGB24DataUtils::resizeData(p->width, p->height, p->input, 320, &w, &h, p->output, &status);
    });
    add("resizeImage_max320", [p] {
        ktuBMPUtils::resizeImageAndReturnData(p->width, p->height, p->input, 320, p->output);
    });
    add("resizeImage_fixed320", [p] {
        ktuBMPUtils::resizeImageAndReturnData(p->width, p->height, p->input, p->smallWidth(),
                                              p->smallHeight(), p->output);
    });
    add("flipData", [p] {
        long status;
        ktuRGB24DataUtils::flipData(p->output, p->width, p->height, &status);
    });
    add("reverseData", [p] {
        long status;
        ktuRGB24DataUtils::reverseData(p->input, p->output, p->width, p->height, &status);
    });

    add("cv_resize_nearest_zoom", [p] {
        cv::Mat in(p->height, p->width, CV_8UC3, p->input);
        cv::Mat out(p->height, p->width, CV_8UC3, p->output);
        cv::resize(in(cv::Rect(p->captureX(), p->captureY(), p->captureWidth(), p->captureHeight())), out,
                   out.size(), 0, 0, cv::INTER_NEAREST);
    });
    add("cv_resize_nearest_320", [p] {
        cv::Mat in(p->height, p->width, CV_8UC3, p->input);
        cv::Mat out(p->smallHeight(), p->smallWidth(), CV_8UC3, p->output);
        cv::resize(in, out, out.size(), 0, 0, cv::INTER_NEAREST);
    });
    add("cv_flip", [p] {
        cv::Mat in(p->height, p->width, CV_8UC3, p->input);
        cv::Mat out(p->height, p->width, CV_8UC3, p->output);
        cv::flip(in, out, 0);
    });
    add("cv_flip_cvtColor", [p] {
        cv::Mat in(p->height, p->width, CV_8UC3, p->input);
        cv::Mat out(p->height, p->width, CV_8UC3, p->output);
        cv::flip(in, out, 0);
        cv::cvtColor(out, out, cv::COLOR_BGR2RGB);
    });
    add("yuv_RGBScale_zoom", [p] {
        const int stride = 3 * p->width;
        libyuv::RGBScale(p->input + p->captureY() * stride + 3 * p->captureX(), stride, p->captureWidth(),
                         p->captureHeight(), p->output, stride, p->width, p->height, libyuv::kFilterNone);
    });
    add("yuv_RAWToRGB24_flip", [p] {
        libyuv::RAWToRGB24(p->input, 3 * p->width, p->output, 3 * p->width, p->width, -p->height);
    });
}

// Keeps every repetition's CPU time per benchmark while the console shows the
// usual report.
class Collector : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
                times[run.run_name.str()].push_back(run.GetAdjustedCPUTime());
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, std::vector<double>> times;
};

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

void printRatios(const Collector& c, const std::string& size)
{
    auto reference = c.times.find(size + "/memcpy");
    if (reference == c.times.end()) {
        return;
    }
    const std::vector<double>& m = reference->second;
    double mean = 0, var = 0;
    for (double t : m) mean += t;
    mean /= m.size();
    for (double t : m) var += (t - mean) * (t - mean);
    const double cv = m.size() > 1 ? std::sqrt(var / (m.size() - 1)) / mean : 0.0;
    const double base = median(m);
    std::printf("\n%s: memcpy median %.1f us over %zu repetitions, variation (stddev/mean) %.1f%%%s\n", size.c_str(),
                base / 1000.0, m.size(), 100 * cv, cv < 0.10 ? "" : "  -- too noisy, ratios not comparable");
    std::printf("| operation | median us | x memcpy |\n|---|---:|---:|\n");
    for (const auto& [name, times] : c.times) {
        if (name.compare(0, size.size() + 1, size + "/") == 0) {
            const double t = median(times);
            std::printf("| %s | %.1f | %.2f |\n", name.substr(size.size() + 1).c_str(), t / 1000.0, t / base);
        }
    }
}

}  // namespace

int main(int argc, char** argv)
{
    char version[] = "4.02";
    ktuLibVersionManagerUtils::validateVersion(version);
    cv::setNumThreads(1);
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--ring_mb=", 10) == 0) {
            ringBytes = std::strtoull(argv[i] + 10, nullptr, 10) << 20;
        }
    }
    static Frame large = makeFrame(1920, 1080);
    static Frame small = makeFrame(640, 480);
    registerAll(large);
    registerAll(small);
    benchmark::Initialize(&argc, argv);
    Collector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);
    const char* engines[] = {"plain", "SSSE3", "AVX2"};
    std::printf("\nPixel engine in use: %s\n", engines[static_cast<int>(ktu::raster::bestKernel())]);
    printRatios(collector, "1920x1080");
    printRatios(collector, "640x480");
    benchmark::Shutdown();
    return 0;
}
