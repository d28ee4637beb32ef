// Time from starting a program until its window is mapped on the X server,
// for the selector (which fills its list before it shows), for an empty Qt
// window, and for the selector's window with its widgets and 37 items but
// no engine, each started the same way. Run under an X server, e.g. Xvfb.

#include "benchregistry.h"

#include <benchmark/benchmark.h>
#include <X11/Xlib.h>

#include <chrono>
#include <csignal>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>

extern char **environ;

namespace {

constexpr int realisticKeys = 100000;

// Waits for the next top-level window to be mapped; false after 10 s.
bool waitForMap(Display *display)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MapNotify)
                return true;
        }
        pollfd fd{ConnectionNumber(display), POLLIN, 0};
        poll(&fd, 1, 50);
    }
    return false;
}

void startup(benchmark::State &state, const char *program)
{
    BenchRegistry reg(realisticKeys);
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        state.SkipWithError("no X display");
        return;
    }
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, True);
    char *argv[] = {const_cast<char *>(program), nullptr};
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        pid_t pid = 0;
        if (posix_spawn(&pid, program, nullptr, nullptr, argv, environ) != 0) {
            state.SkipWithError("cannot start the program");
            break;
        }
        const bool mapped = waitForMap(display);
        const auto shown = std::chrono::steady_clock::now();
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        XSync(display, True);
        if (!mapped) {
            state.SkipWithError("no window appeared");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(shown - start).count());
    }
    XCloseDisplay(display);
}

void BM_StartupEmptyWindow(benchmark::State &state)
{
    startup(state, PELLVARIN_EMPTY_WINDOW);
}
void BM_StartupSameWidgetsWindow(benchmark::State &state)
{
    startup(state, PELLVARIN_FILLED_WINDOW);
}
void BM_StartupSelector(benchmark::State &state)
{
    startup(state, PELLVARIN_SELECTOR);
}

} // namespace

BENCHMARK(BM_StartupEmptyWindow)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_StartupSameWidgetsWindow)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);
BENCHMARK(BM_StartupSelector)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

BENCHMARK_MAIN();
