// Runs the checks on the simulator: each check in a program of its own on a
// freshly booted device, on the program's GUI thread. When a check asks for
// time or the pen, its thread waits for a message; the driver, here, then
// moves the clock or the pen and wakes it.
//
//   vesk_conformance_sim [FILTER]     runs the checks whose names contain FILTER
#include <sim/device.h>

#include <cstdio>
#include <exception>
#include <utility>

#include "check.h"
#include "vesk_res.h"

namespace conf {

namespace {

enum class Ask { None, PenDown, PenMove, PenUp, Pump, Launch };

struct Request {
    Ask ask = Ask::None;
    int x = 0;
    int y = 0;
    DWORD ms = 0;
    int cx = 0;
    int cy = 0;
};

// Shared by the program's thread and the driver, which never run at once.
Request g_request;
HWND g_wake = nullptr;
HWND g_launched = nullptr;  // the driver's answer to Ask::Launch
int g_programs = 0;         // other programs started for the check
constexpr UINT kWake = WM_USER + 0x3FF0;

LRESULT CALLBACK WakeProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

// On the program's thread: hand the request to the driver and run the
// message loop until the driver has carried it out.
void AskDriver(const Request& request) {
    if (!g_wake) {
        WNDCLASSW wc;
        memset(&wc, 0, sizeof(wc));
        wc.lpfnWndProc = WakeProc;
        wc.hInstance = Instance();
        wc.lpszClassName = TEXT("ConformanceWake");
        RegisterClassW(&wc);
        g_wake = CreateWindowExW(0, TEXT("ConformanceWake"), TEXT(""), WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, Instance(),
                                 nullptr);
    }
    g_request = request;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == kWake) return;
        DispatchMessageW(&msg);
    }
}

}  // namespace

// A busy thread lets time pass without retrieving anything: the clock moves
// and timers fall due, to be delivered when the thread next looks.
void Sleep(DWORD ms) { ::Sleep(ms); }
void Pump(DWORD ms) { AskDriver(Request{Ask::Pump, 0, 0, ms}); }
void PenDown(int x, int y) { AskDriver(Request{Ask::PenDown, x, y, 0}); }
void PenMove(int x, int y) { AskDriver(Request{Ask::PenMove, x, y, 0}); }
void PenUp(int x, int y) { AskDriver(Request{Ask::PenUp, x, y, 0}); }
// A simulated application, started by the driver as the shell starts one.
HWND OtherProgram(int x, int y, int cx, int cy) {
    g_launched = nullptr;
    AskDriver(Request{Ask::Launch, x, y, 0, cx, cy});
    return g_launched;
}

namespace {

void RunOne(const Check& check) {
    sim::Device device;
    sim::ProgramImage image;
    image.exe_path = TEXT("\\Windows\\conformance.exe");
    image.resources.assign(g_veskResources, g_veskResources + g_veskResourcesSize);
    image.entry = [&check](HINSTANCE instance) {
        SetInstance(instance);
        check.body();
        return 0;
    };
    image.reset = [] {
        ResetProgram();
        g_request = Request{};
        g_wake = nullptr;
        g_launched = nullptr;
        g_programs = 0;
    };

    DWORD pid = device.Start(image);
    // Bounded: a check asks for the clock or the pen a few times at most.
    for (int round = 0; device.Running(pid) && round < 1000; ++round) {
        Request request = std::exchange(g_request, Request{});
        switch (request.ask) {
        case Ask::None:
            Fail(check.file, check.line, "the check waits for a message that never comes");
            return;
        case Ask::PenDown: device.PenDown(request.x, request.y); break;
        case Ask::PenMove: device.PenMove(request.x, request.y); break;
        case Ask::PenUp: device.PenUp(request.x, request.y); break;
        case Ask::Pump: device.Wait(request.ms); break;
        case Ask::Launch: {
            sim::AppConfig app;
            app.name = "other" + std::to_string(++g_programs);
            app.style = WS_POPUP | WS_VISIBLE;
            app.rect = RECT{request.x, request.y, request.x + request.cx, request.y + request.cy};
            g_launched = device.Launch(app);
            break;
        }
        }
        PostMessageW(g_wake, kWake, 0, 0);
        device.RunUntilIdle();
    }
    if (device.Running(pid)) Fail(check.file, check.line, "the check never ended");
}

}  // namespace

}  // namespace conf

int main(int argc, char** argv) {
    std::string filter = argc > 1 ? argv[1] : "";
    int passed = 0;
    int failed = 0;
    int known = 0;
    for (const conf::Check& check : conf::Checks()) {
        if (!conf::Selected(check, filter)) continue;
        conf::Current() = conf::Outcome{};
        try {
            conf::RunOne(check);
        } catch (const std::exception& e) {
            conf::Fail(check.file, check.line, std::string("the device failed: ") + e.what());
        }
        switch (conf::Report(check, conf::Current())) {
        case conf::Verdict::Passed: ++passed; break;
        case conf::Verdict::Failed: ++failed; break;
        case conf::Verdict::Known: ++known; break;
        }
    }
    conf::Summary("conformance", passed, failed, known);
    return failed == 0 ? 0 : 1;
}
