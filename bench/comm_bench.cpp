// Framed reads against a plain recv loop that reads the same bytes.
//
// A writer thread keeps a socket pair full of frames of one size; the
// framed read takes one frame per iteration, the reference loop takes the
// same number of bytes with recv calls of its own. After the run the table
// gives both throughputs and their ratio per frame size.
#include <benchmark/benchmark.h>

#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "KSUtilityClasses.h"

namespace {

constexpr unsigned kFieldStart = 20;
constexpr unsigned kFieldEnd = 29;

std::string frameOf(std::size_t total)
{
    std::string length = std::to_string(total);
    std::string frame = "KS_NET_API_MSG_START" + std::string(10 - length.size(), '0') + length;
    frame.resize(total - 20, 'p');
    return frame + "KS_NET_API_MSG_END00";
}

// A socket pair whose writing end a thread keeps full of frames.
class FrameStream {
public:
    explicit FrameStream(std::size_t frameSize)
    {
        if (::socketpair(AF_UNIX, SOCK_STREAM, 0, fds_) != 0) {
            fds_[0] = fds_[1] = -1;
            return;
        }
        std::string batch;
        while (batch.size() < (1u << 20)) {
            batch += frameOf(frameSize);
        }
        writer_ = std::thread([this, batch] {
            while (!stop_.load(std::memory_order_relaxed)) {
                std::size_t sent = 0;
                while (sent < batch.size()) {
                    ssize_t n = ::send(fds_[1], batch.data() + sent, batch.size() - sent, MSG_NOSIGNAL);
                    if (n <= 0) {
                        return;
                    }
                    sent += static_cast<std::size_t>(n);
                }
            }
        });
    }
    ~FrameStream()
    {
        stop_ = true;
        ::shutdown(fds_[0], SHUT_RDWR);
        ::close(fds_[0]);
        if (writer_.joinable()) {
            writer_.join();
        }
        ::close(fds_[1]);
    }
    SOCKET reader() const { return fds_[0]; }
    bool ok() const { return fds_[0] >= 0; }

private:
    int fds_[2];
    std::atomic<bool> stop_{false};
    std::thread writer_;
};

void openGate()
{
    char version[] = "4.02";
    ktuLibVersionManagerUtils::validateVersion(version);
}

// Reads one frame per iteration with `readFrame(socket, buffer, size)`, which
// answers false when the stream failed.
template <class ReadFrame>
void readFrames(benchmark::State& state, ReadFrame readFrame)
{
    openGate();
    const std::size_t size = static_cast<std::size_t>(state.range(0));
    FrameStream stream(size);
    if (!stream.ok()) {
        state.SkipWithError("no socket pair");
        return;
    }
    SOCKET s = stream.reader();
    std::vector<char> buffer(size);
    for (auto _ : state) {
        if (!readFrame(s, buffer.data(), size)) {
            state.SkipWithError("the read failed");
            break;
        }
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(size));
}

// recv until `have` reaches `goal`.
bool recvUntil(SOCKET s, char* buffer, std::size_t& have, std::size_t goal)
{
    while (have < goal) {
        ssize_t n = ::recv(s, buffer + have, goal - have, 0);
        if (n <= 0) {
            return false;
        }
        have += static_cast<std::size_t>(n);
    }
    return true;
}

void BM_FramedRead(benchmark::State& state)
{
    readFrames(state, [](SOCKET s, char* buffer, std::size_t size) {
        unsigned n = 0;
        int result = ktuSocketUtils::readMessageFromSocket(&s, kFieldStart, kFieldEnd, buffer,
                                                           static_cast<unsigned>(size), &n);
        return result == 1 && n == size;
    });
}

// The reference: recv until the frame's bytes are in.
void BM_PlainRecv(benchmark::State& state)
{
    readFrames(state, [](SOCKET s, char* buffer, std::size_t size) {
        std::size_t have = 0;
        return recvUntil(s, buffer, have, size);
    });
}

// The framed read's own pattern of requests without the library: the 30
// header bytes first, then the rest of the frame. It shows what the two
// requests per frame cost by themselves.
void BM_TwoStepRecv(benchmark::State& state)
{
    readFrames(state, [](SOCKET s, char* buffer, std::size_t size) {
        std::size_t have = 0;
        return recvUntil(s, buffer, have, kFieldEnd + 1) && recvUntil(s, buffer, have, size);
    });
}

BENCHMARK(BM_PlainRecv)->Arg(256)->Arg(65536)->MinTime(1.0)->UseRealTime();
BENCHMARK(BM_TwoStepRecv)->Arg(256)->Arg(65536)->MinTime(1.0)->UseRealTime();
BENCHMARK(BM_FramedRead)->Arg(256)->Arg(65536)->MinTime(1.0)->UseRealTime();

// Collects bytes per second per benchmark name (the median when repeated)
// and prints the ratio table after the run.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            auto it = run.counters.find("bytes_per_second");
            if (run.error_occurred || it == run.counters.end()) {
                continue;
            }
            // "BM_FramedRead/65536/min_time:1.000/real_time" -> "BM_FramedRead/65536"
            std::string name = run.run_name.function_name + "/" + run.run_name.args;
            if (run.run_type == Run::RT_Aggregate) {
                if (run.aggregate_name == "median") {
                    medians_[name] = it->second.value;
                }
            } else {
                singles_[name] = it->second.value;
            }
        }
    }
    void Finalize() override
    {
        ConsoleReporter::Finalize();
        std::printf("\n| frame size | plain recv loop (MB/s) | two-step recv loop (MB/s) | framed read (MB/s) "
                    "| framed / plain | framed / two-step |\n");
        std::printf("|---:|---:|---:|---:|---:|---:|\n");
        for (const char* size : {"256", "65536"}) {
            double plain = rate("BM_PlainRecv/" + std::string(size));
            double twoStep = rate("BM_TwoStepRecv/" + std::string(size));
            double framed = rate("BM_FramedRead/" + std::string(size));
            std::printf("| %s | %.0f | %.0f | %.0f | %.2f | %.2f |\n", size, plain / 1e6, twoStep / 1e6, framed / 1e6,
                        plain > 0 ? framed / plain : 0.0, twoStep > 0 ? framed / twoStep : 0.0);
        }
    }

private:
    double rate(const std::string& name) const
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
