// Progress line on a terminal.
#include "Progress.h"

#include "System.h"

#include <chrono>
#include <cstdio>
#include <mutex>

namespace {

std::mutex g_progressMutex;
bool g_progressShown = false;
std::chrono::steady_clock::time_point g_lastDraw;

bool VxHost_ProgressWanted()
{
    static const bool wanted = VxHostSystem_StandardErrorIsTerminal();
    return wanted;
}

}  // namespace

void VxHost_ProgressShow(const std::string& text)
{
    if (!VxHost_ProgressWanted())
        return;
    constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
    std::lock_guard<std::mutex> lock(g_progressMutex);
    const auto now = std::chrono::steady_clock::now();
    if (g_progressShown && now - g_lastDraw < kRedrawInterval)
        return;
    g_lastDraw = now;
    g_progressShown = true;
    std::fprintf(stderr, "\r\033[K%s", text.c_str());
    std::fflush(stderr);
}

void VxHost_ProgressClear()
{
    if (!VxHost_ProgressWanted())
        return;
    std::lock_guard<std::mutex> lock(g_progressMutex);
    if (!g_progressShown)
        return;
    g_progressShown = false;
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
}
