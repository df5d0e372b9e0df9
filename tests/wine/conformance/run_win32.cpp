// Runs the checks on desktop Windows (under Wine in the tests): every check
// in this one process, on its main thread, with real time and real input.
//
//   vesk-conformance.exe [FILTER]     runs the checks whose names contain FILTER
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "check.h"

namespace conf {

namespace {

// Runs the message loop until the deadline or until done() says so.
template <class Done>
void PumpUntil(DWORD ms, Done done) {
    DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (done()) return;
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= ms) return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - elapsed, QS_ALLINPUT);
    }
}

void Pen(int x, int y, DWORD buttons, UINT message) {
    int cx = GetSystemMetrics(SM_CXSCREEN);
    int cy = GetSystemMetrics(SM_CYSCREEN);
    INPUT input;
    memset(&input, 0, sizeof(input));
    input.type = INPUT_MOUSE;
    // Absolute coordinates are in 65536ths of the screen, taken back to
    // pixels by truncation: round up so that they land on the pixel meant.
    input.mi.dx = (x * 65536 + cx - 1) / cx;
    input.mi.dy = (y * 65536 + cy - 1) / cy;
    input.mi.dwFlags = MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE | buttons;
    size_t before = 0;
    for (const Received& r : Log()) before += r.message == message;
    SendInput(1, &input, sizeof(input));
    PumpUntil(2000, [&] {
        size_t now = 0;
        for (const Received& r : Log()) now += r.message == message;
        return now > before;
    });
}

std::vector<PROCESS_INFORMATION> g_programs;

// Ends the other programs that the check started.
void EndOtherPrograms() {
    for (PROCESS_INFORMATION& pi : g_programs) {
        TerminateProcess(pi.hProcess, 0);
        WaitForSingleObject(pi.hProcess, 5000);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    }
    g_programs.clear();
    Drain();
}

}  // namespace

// The test application of the Wine tests, beside this program.
HWND OtherProgram(int x, int y, int cx, int cy) {
    wchar_t path[MAX_PATH] = {0};
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring exe(path, n);
    exe = exe.substr(0, exe.find_last_of(L"\\/") + 1) + L"testapp.exe";
    wchar_t args[160];
    swprintf(args, 160, L" --class ConformanceOther --title other --style 0x%lx --rect %d,%d,%d,%d",
             static_cast<unsigned long>(WS_POPUP | WS_VISIBLE), x, y, cx, cy);
    std::wstring command = L"\"" + exe + L"\"" + args;
    STARTUPINFOW si;
    memset(&si, 0, sizeof(si));
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi;
    if (!CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return nullptr;
    g_programs.push_back(pi);
    HWND found = nullptr;
    PumpUntil(5000, [&] {
        for (HWND w = FindWindowW(L"ConformanceOther", nullptr); w && !found;
             w = FindWindowExW(nullptr, w, L"ConformanceOther", nullptr)) {
            DWORD pid = 0;
            GetWindowThreadProcessId(w, &pid);
            if (pid == pi.dwProcessId && IsWindowVisible(w)) found = w;
        }
        return found && GetForegroundWindow() == found;
    });
    return found;
}

void Sleep(DWORD ms) { ::Sleep(ms); }
void Pump(DWORD ms) {
    PumpUntil(ms, [] { return false; });
}
void PenDown(int x, int y) { Pen(x, y, MOUSEEVENTF_LEFTDOWN, WM_LBUTTONDOWN); }
void PenMove(int x, int y) { Pen(x, y, 0, WM_MOUSEMOVE); }
void PenUp(int x, int y) { Pen(x, y, MOUSEEVENTF_LEFTUP, WM_LBUTTONUP); }

}  // namespace conf

int main(int argc, char** argv) {
    std::string filter = argc > 1 ? argv[1] : "";
    conf::SetInstance(GetModuleHandleW(nullptr));
    int passed = 0;
    int failed = 0;
    int known = 0;
    for (const conf::Check& check : conf::Checks()) {
        if (!conf::Selected(check, filter)) continue;
        conf::Current() = conf::Outcome{};
        conf::Log().clear();
        check.body();
        conf::EndOtherPrograms();
        switch (conf::Report(check, conf::Current())) {
        case conf::Verdict::Passed: ++passed; break;
        case conf::Verdict::Failed: ++failed; break;
        case conf::Verdict::Known: ++known; break;
        }
    }
    conf::Summary("conformance", passed, failed, known);
    return failed == 0 ? 0 : 1;
}
