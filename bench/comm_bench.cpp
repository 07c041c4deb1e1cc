// Framed reads against recv loops that take the same frames.
//
// One benchmark iteration is one round. In a round each reader in turn gets
// a socket pair filled with the same batch of frames (before its clock
// starts) and takes them one frame at a time; the order of the readers
// rotates from round to round. A disturbance of the shared machine thus
// falls on all readers alike, and each round gives a ratio of readers timed
// side by side. Each reader is timed in the processor time of its thread
// (system calls included; time spent waiting for the processor is not), and
// in wall-clock time for comparison. The counters are medians over the
// rounds, with the 10th and 90th percentiles as the spread; after the run a
// table gives them per frame size, with the median and the range over
// repetitions when repeated.
//
// The readers:
// - plain: one request for a whole frame (it knows the size beforehand);
// - two-step: the 30 header bytes, then the rest of the frame: the fewest
//   calls that never take a byte beyond a frame of unknown length;
// - peek: the header peeked, then the whole frame in one request;
// - framed: ktuSocketUtils::readMessageFromSocket.
#include <benchmark/benchmark.h>

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "KSUtilityClasses.h"

namespace {

constexpr unsigned kFieldStart = 20;
constexpr unsigned kFieldEnd = 29;
constexpr std::size_t kHeader = kFieldEnd + 1;

std::string frameOf(std::size_t total)
{
    std::string length = std::to_string(total);
    std::string frame = "KS_NET_API_MSG_START" + std::string(10 - length.size(), '0') + length;
    frame.resize(total - 20, 'p');
    return frame + "KS_NET_API_MSG_END00";
}

// recv until `have` reaches `goal`.
bool recvUntil(int s, char* buffer, std::size_t& have, std::size_t goal, int flags = 0)
{
    while (have < goal) {
        ssize_t n = ::recv(s, buffer + have, goal - have, flags);
        if (n <= 0) {
            return false;
        }
        have += static_cast<std::size_t>(n);
    }
    return true;
}

bool readPlain(int s, char* buffer, std::size_t size)
{
    std::size_t have = 0;
    return recvUntil(s, buffer, have, size);
}

bool readTwoStep(int s, char* buffer, std::size_t size)
{
    std::size_t have = 0;
    if (!recvUntil(s, buffer, have, kHeader)) {
        return false;
    }
    const std::size_t length = std::strtoul(std::string(buffer + kFieldStart, kHeader - kFieldStart).c_str(), nullptr, 10);
    return length <= size && recvUntil(s, buffer, have, length);
}

bool readPeek(int s, char* buffer, std::size_t size)
{
    ssize_t n = ::recv(s, buffer, kHeader, MSG_PEEK | MSG_WAITALL);
    if (n != static_cast<ssize_t>(kHeader)) {
        return false;
    }
    const std::size_t length = std::strtoul(std::string(buffer + kFieldStart, kHeader - kFieldStart).c_str(), nullptr, 10);
    std::size_t have = 0;
    return length <= size && recvUntil(s, buffer, have, length);
}

bool readFramed(int s, char* buffer, std::size_t size)
{
    SOCKET socket = s;
    unsigned n = 0;
    int result = ktuSocketUtils::readMessageFromSocket(&socket, kFieldStart, kFieldEnd, buffer,
                                                       static_cast<unsigned>(size), &n);
    return result == 1 && n == size;
}

struct Reader {
    const char* name;
    bool (*read)(int, char*, std::size_t);
};
constexpr Reader kReaders[] = {{"plain", readPlain}, {"two-step", readTwoStep}, {"peek", readPeek},
                               {"framed", readFramed}};
constexpr int kReaderCount = sizeof kReaders / sizeof kReaders[0];

double now(clockid_t clock)
{
    timespec t{};
    ::clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double percentile(std::vector<double> values, double p)
{
    if (values.empty()) {
        return 0.0;
    }
    std::sort(values.begin(), values.end());
    double at = p * static_cast<double>(values.size() - 1);
    std::size_t low = static_cast<std::size_t>(at);
    std::size_t high = std::min(low + 1, values.size() - 1);
    return values[low] + (values[high] - values[low]) * (at - static_cast<double>(low));
}

// A socket pair whose sending side can queue a whole batch of frames.
struct Pair {
    int fds[2] = {-1, -1};
    Pair()
    {
        if (::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) {
            fds[0] = fds[1] = -1;
            return;
        }
        int size = 64 << 20;
        if (::setsockopt(fds[1], SOL_SOCKET, SO_SNDBUFFORCE, &size, sizeof size) != 0) {
            ::setsockopt(fds[1], SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
        }
    }
    ~Pair()
    {
        ::close(fds[0]);
        ::close(fds[1]);
    }
    int sendBuffer() const
    {
        int size = 0;
        socklen_t length = sizeof size;
        ::getsockopt(fds[1], SOL_SOCKET, SO_SNDBUF, &size, &length);
        return size;
    }
    bool fill(const std::string& batch) const
    {
        return ::send(fds[1], batch.data(), batch.size(), MSG_DONTWAIT | MSG_NOSIGNAL) ==
               static_cast<ssize_t>(batch.size());
    }
};

void BM_FramedReadRounds(benchmark::State& state)
{
    char version[] = "4.02";
    ktuLibVersionManagerUtils::validateVersion(version);
    const std::size_t size = static_cast<std::size_t>(state.range(0));
    Pair pair;
    if (pair.fds[0] < 0) {
        state.SkipWithError("no socket pair");
        return;
    }
    // About 64 KiB to 2 MiB a round, within what the pair can queue.
    std::size_t frames = std::max<std::size_t>(1, std::min<std::size_t>(512, (2u << 20) / size));
    frames = std::max<std::size_t>(1, std::min<std::size_t>(frames, static_cast<std::size_t>(pair.sendBuffer()) / 4 / (size + 1024)));
    std::string batch;
    for (std::size_t i = 0; i < frames; ++i) {
        batch += frameOf(size);
    }
    std::vector<char> buffer(size);
    std::vector<double> cpu[kReaderCount], wall[kReaderCount];
    int round = 0;
    for (auto _ : state) {
        for (int k = 0; k < kReaderCount; ++k) {
            const int r = (round + k) % kReaderCount;
            if (!pair.fill(batch)) {
                state.SkipWithError("the socket pair did not take the batch");
                return;
            }
            const double wallStart = now(CLOCK_MONOTONIC), cpuStart = now(CLOCK_THREAD_CPUTIME_ID);
            for (std::size_t i = 0; i < frames; ++i) {
                if (!kReaders[r].read(pair.fds[0], buffer.data(), size)) {
                    state.SkipWithError(kReaders[r].name);
                    return;
                }
            }
            cpu[r].push_back(now(CLOCK_THREAD_CPUTIME_ID) - cpuStart);
            wall[r].push_back(now(CLOCK_MONOTONIC) - wallStart);
            benchmark::DoNotOptimize(buffer.data());
        }
        ++round;
    }
    const double bytes = static_cast<double>(frames * size);
    for (int r = 0; r < kReaderCount; ++r) {
        state.counters[std::string(kReaders[r].name) + " MB/s"] = bytes / percentile(cpu[r], 0.5) / 1e6;
    }
    // Ratios of throughput against the two-step loop, round by round, in
    // the reading thread's processor time (the wall-clock ratio beside it).
    for (int r : {0, 2, 3}) {
        std::vector<double> ratios, wallRatios;
        for (std::size_t i = 0; i < cpu[1].size(); ++i) {
            ratios.push_back(cpu[1][i] / cpu[r][i]);
            wallRatios.push_back(wall[1][i] / wall[r][i]);
        }
        const std::string name = std::string(kReaders[r].name) + "/two-step";
        state.counters[name] = percentile(ratios, 0.5);
        state.counters[name + " p10"] = percentile(ratios, 0.1);
        state.counters[name + " p90"] = percentile(ratios, 0.9);
        state.counters[name + " wall"] = percentile(wallRatios, 0.5);
    }
    state.counters["frames/round"] = static_cast<double>(frames);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kReaderCount * static_cast<int64_t>(bytes));
}

BENCHMARK(BM_FramedReadRounds)->Arg(256)->Arg(65536)->UseRealTime();

// Collects the counters of every run and prints one table per frame size:
// medians over repetitions, with the range of the repetitions' medians.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred || run.run_type != Run::RT_Iteration) {
                continue;
            }
            for (const auto& [name, counter] : run.counters) {
                values_[run.run_name.args][name].push_back(counter.value);
            }
        }
    }
    void Finalize() override
    {
        ConsoleReporter::Finalize();
        std::printf("\n| frame size | plain | two-step | peek | framed | framed / two-step (p10-p90 of rounds) "
                    "| target | met | wall-clock ratio | peek / two-step | framed / plain |\n");
        std::printf("|---:|---:|---:|---:|---:|---:|---:|---|---:|---:|---:|\n");
        for (const auto& [args, counters] : values_) {
            const double target = args == "256" ? 0.90 : 0.95;
            const double ratio = median(counters, "framed/two-step");
            std::printf("| %s | %.0f | %.0f | %.0f | %.0f | %.3f%s (%.2f-%.2f) | %.2f | %s | %.3f | %.3f | %.3f |\n",
                        args.c_str(), median(counters, "plain MB/s"), median(counters, "two-step MB/s"),
                        median(counters, "peek MB/s"), median(counters, "framed MB/s"), ratio,
                        range(counters, "framed/two-step").c_str(), median(counters, "framed/two-step p10"),
                        median(counters, "framed/two-step p90"), target, ratio >= target ? "yes" : "no",
                        median(counters, "framed/two-step wall"), median(counters, "peek/two-step"), median(counters, "plain/two-step") > 0
                                                               ? ratio / median(counters, "plain/two-step")
                                                               : 0.0);
        }
        std::printf("(MB/s: frame bytes per second of the reading thread's processor time, medians over rounds; "
                    "ratios: medians over rounds, and over repetitions with their range in brackets)\n");
    }

private:
    using Counters = std::map<std::string, std::vector<double>>;
    static double median(const Counters& c, const std::string& name)
    {
        auto it = c.find(name);
        return it == c.end() ? 0.0 : percentile(it->second, 0.5);
    }
    static std::string range(const Counters& c, const std::string& name)
    {
        auto it = c.find(name);
        if (it == c.end() || it->second.size() < 2) {
            return "";
        }
        char text[48];
        auto [low, high] = std::minmax_element(it->second.begin(), it->second.end());
        std::snprintf(text, sizeof text, " [%.3f-%.3f]", *low, *high);
        return text;
    }
    std::map<std::string, Counters> values_;
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
