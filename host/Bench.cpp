// vxhost bench: per file, open and GetFrame N times (frame 0 of stream 0, or of the stream
// --stream names: a layer of a layered document); minimum and median milliseconds and
// megapixels per second. With T threads, T decodes run at once: the files are shared out, and
// when there are fewer files than threads each file is decoded by several threads, each with an
// open file of its own.
#include "Commands.h"
#include "Errors.h"
#include "OpenFile.h"
#include "Progress.h"
#include "TokenOwner.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <cstdio>
#include <mutex>
#include <optional>
#include <thread>

namespace {

using VxHostClock = std::chrono::steady_clock;

double VxHost_Milliseconds(VxHostClock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

struct VxHostBenchRun {
    std::string path;
    double openMs = 0;
    std::vector<double> frameMs;
    uint64_t pixels = 0;
    uint32_t bytes = 0;
    VxHostClock::time_point firstFrame;  // start of the first GetFrame
    VxHostClock::time_point lastFrame;   // end of the last one
    VxHostFailure failure;
};

// One work item: open the file, then deliver frame 0 repeat times into one token.
void VxHost_BenchOne(const VxHostSession& session, VxHostBenchRun& run,
                     const std::function<void(uint32_t)>& onFrame)
{
    const VxHostOptions& options = session.options;
    const VxHostPlugin* plugin = nullptr;
    CVxComPtr<IVxReadFile> file;
    const auto opened = VxHostClock::now();
    if (!VxHost_OpenFile(session.manager, run.path, plugin, file, run.failure))
        return;
    run.openMs = VxHost_Milliseconds(VxHostClock::now() - opened);

    CVxComPtr<IVxReadVideoStream> stream;
    if (!VxHost_GetVideoStream(file.Get(), options.stream, stream, run.failure))
        return;
    uint32_t flags = 0;
    if (const HRESULT hr = stream->GetFrameBufferSize(0, 0, &flags, &run.bytes); FAILED(hr)) {
        run.failure = VxHostFailure::Call("GetFrameBufferSize", hr);
        return;
    }
    std::string error;
    std::unique_ptr<CVxHostTokenOwner> token = CVxHostTokenOwner::Create(options.token, run.bytes, error);
    if (!token) {
        run.failure = VxHostFailure::Message(error);
        return;
    }
    for (uint32_t i = 0; i < options.repeat; ++i) {
        VXFRAMEINFO record = {};
        uint32_t delivered = 0;
        flags = 0;
        const auto started = VxHostClock::now();
        const HRESULT hr = stream->GetFrame(0, 0, &flags, token->Token(), &record, &delivered);
        const auto finished = VxHostClock::now();
        if (FAILED(hr)) {
            run.failure = VxHostFailure::Call("GetFrame", hr);
            return;
        }
        if (i == 0)
            run.firstFrame = started;
        run.lastFrame = finished;
        run.frameMs.push_back(VxHost_Milliseconds(finished - started));
        run.pixels = uint64_t(std::max(record.header.biWidth, 0)) *
                     uint64_t(std::abs(int64_t(record.header.biHeight)));
        onFrame(i + 1);
    }
    file->Close();
}

double VxHost_Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int VxHost_RunBench(const VxHostSession& session)
{
    const VxHostOptions& options = session.options;
    const size_t fileCount = options.files.size();
    const size_t threads = options.threads;
    const size_t items = std::max(fileCount, threads);
    std::vector<VxHostBenchRun> runs(items);
    for (size_t i = 0; i < items; ++i)
        runs[i].path = options.files[i % fileCount];

    std::atomic<size_t> next = 0;
    std::atomic<uint64_t> framesDone = 0;
    const uint64_t framesTotal = uint64_t(items) * options.repeat;
    const auto onFrame = [&](uint32_t) {
        const uint64_t done = ++framesDone;
        VxHost_ProgressShow("bench: " + std::to_string(done) + "/" + std::to_string(framesTotal) +
                            " frames");
    };
    const auto worker = [&] {
        for (size_t i = next++; i < items; i = next++)
            VxHost_BenchOne(session, runs[i], onFrame);
    };
    std::vector<std::thread> pool;
    for (size_t t = 1; t < threads; ++t)
        pool.emplace_back(worker);
    worker();
    for (std::thread& thread : pool)
        thread.join();
    VxHost_ProgressClear();

    std::printf("%-40s %9s %9s %9s %9s %7s\n", "file", "open ms", "min ms", "median ms", "MP/s",
                "frames");
    int status = 0;
    uint64_t pixelsDecoded = 0;
    // Throughput of all decodes together: pixels over the time from the first frame request to
    // the end of the last one (opening files is not counted).
    std::optional<VxHostClock::time_point> first, last;
    for (const VxHostBenchRun& run : runs) {
        if (run.failure.Failed()) {
            std::printf("%-40s failed\n", run.path.c_str());
            status = run.failure.Report();
            continue;
        }
        const double minimum = *std::min_element(run.frameMs.begin(), run.frameMs.end());
        const double median = VxHost_Median(run.frameMs);
        const double megapixels = double(run.pixels) / 1e6;
        std::printf("%-40s %9.2f %9.2f %9.2f %9.1f %7zu\n", run.path.c_str(), run.openMs, minimum,
                    median, median > 0 ? megapixels / (median / 1000.0) : 0.0, run.frameMs.size());
        pixelsDecoded += run.pixels * run.frameMs.size();
        first = std::min(first.value_or(run.firstFrame), run.firstFrame);
        last = std::max(last.value_or(run.lastFrame), run.lastFrame);
    }
    const double wallMs = first ? VxHost_Milliseconds(*last - *first) : 0.0;
    std::printf("%zu decode%s with %zu thread%s (%s token): frames took %.2f ms in all, %.1f MP/s\n",
                items,
                items == 1 ? "" : "s", threads, threads == 1 ? "" : "s",
                VxHost_TokenPlaceName(options.token), wallMs,
                wallMs > 0 ? double(pixelsDecoded) / 1e6 / (wallMs / 1000.0) : 0.0);
    return status;
}
