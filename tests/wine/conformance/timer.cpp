// Timers: setting one again restarts it, and WM_TIMER is made only when the
// queue holds nothing else, once however many periods have passed.
#include "check.h"

namespace {

size_t Timers(HWND hwnd, UINT_PTR id) {
    size_t n = 0;
    for (const conf::Received& r : conf::Messages(hwnd, WM_TIMER)) n += r.wParam == id;
    return n;
}

}  // namespace

CHECK(Timer, SettingAnExistingTimerAgainRestartsIt) {
    conf::TestWindow window(20, 60, 32, 32);
    CHECK_TRUE(SetTimer(window, 1, 400, nullptr) != 0);
    conf::Sleep(300);
    CHECK_TRUE(SetTimer(window, 1, 400, nullptr) != 0);
    conf::Sleep(200);
    // 500 ms after the first setting, 200 ms after the second: nothing yet.
    conf::Drain();
    CHECK_EQ(Timers(window, 1), 0u);
    conf::Sleep(300);
    conf::Drain();
    CHECK_EQ(Timers(window, 1), 1u);
    CHECK_TRUE(KillTimer(window, 1));
    CHECK_FALSE(KillTimer(window, 1));
}

CHECK(Timer, TimerWaitsForTheQueueAndDoesNotPileUp) {
    conf::TestWindow window(20, 60, 32, 32);
    conf::Drain();
    SetTimer(window, 2, 300, nullptr);
    conf::Sleep(700);
    PostMessageW(window, WM_USER + 9, 0, 0);
    conf::Drain();
    KillTimer(window, 2);
    std::vector<UINT> order;
    for (const conf::Received& r : conf::Log())
        if (r.hwnd == window.hwnd() && (r.message == WM_TIMER || r.message == WM_USER + 9)) order.push_back(r.message);
    std::vector<UINT> wanted{WM_USER + 9, WM_TIMER};
    CHECK_EQ(order, wanted);
}

CHECK(Timer, KilledTimerSendsNothingMore) {
    conf::TestWindow window(20, 60, 32, 32);
    SetTimer(window, 3, 20, nullptr);
    conf::Sleep(60);
    CHECK_TRUE(KillTimer(window, 3));
    conf::Drain();
    CHECK_EQ(Timers(window, 3), 0u);
}

CHECK(Timer, RunningLoopReceivesEachPeriod) {
    conf::TestWindow window(20, 60, 32, 32);
    DWORD start = GetTickCount();
    SetTimer(window, 4, 200, nullptr);
    // Three periods, however long a busy machine takes to give them: a
    // count over a fixed time would say more about the machine's load.
    while (Timers(window, 4) < 3 && GetTickCount() - start < 5000) conf::Pump(50);
    DWORD elapsed = GetTickCount() - start;
    KillTimer(window, 4);
    size_t n = Timers(window, 4);
    CHECK_TRUE(n >= 3);
    // Never sooner than the period (less the tick count's own granularity).
    CHECK_TRUE(elapsed + 20 >= 200 * n);
}
