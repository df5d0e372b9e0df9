// Sending and posting, the order in which a thread retrieves what waits for
// it, and replacing a window's procedure.
#include "check.h"

namespace {

constexpr UINT kPosted = WM_USER + 1;
constexpr UINT kSent = WM_USER + 2;
constexpr UINT kLate = WM_USER + 3;

WNDPROC g_previous = nullptr;
int g_hook_calls = 0;

// A replacement procedure that answers kSent itself and passes everything
// on, as vesk's hook on the taskbar does.
LRESULT CALLBACK Replacement(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    ++g_hook_calls;
    LRESULT result = CallWindowProcW(g_previous, hwnd, message, wParam, lParam);
    if (message == kSent) return 0x5EED;
    return result;
}

}  // namespace

CHECK(Message, SendReturnsAfterHandlingPostOnlyQueues) {
    conf::TestWindow window(20, 60, 32, 32);
    conf::Drain();
    CHECK_TRUE(PostMessageW(window, kPosted, 1, 2));
    CHECK_EQ(conf::Messages(window, kPosted).size(), 0u);

    SendMessageW(window, kSent, 3, 4);
    // Handled before SendMessageW returned, ahead of the message posted earlier.
    CHECK_EQ(conf::Numbers(window, kPosted, kLate), (std::vector<UINT>{kSent}));

    conf::Drain();
    CHECK_EQ(conf::Numbers(window, kPosted, kLate), (std::vector<UINT>{kSent, kPosted}));
    auto posted = conf::Messages(window, kPosted);
    REQUIRE(posted.size() == 1);
    CHECK_EQ(posted[0].wParam, 1u);
    CHECK_EQ(posted[0].lParam, 2);
}

CHECK(Message, ReplacedProcedureKeepsTheOldOneThroughCallWindowProc) {
    conf::TestWindow window(20, 60, 32, 32);
    g_hook_calls = 0;
    g_previous = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(window, GWLP_WNDPROC));
    REQUIRE(g_previous != nullptr);
    LONG_PTR old = SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Replacement));
    CHECK_EQ(old, reinterpret_cast<LONG_PTR>(g_previous));
    CHECK_EQ(GetWindowLongPtrW(window, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(Replacement));

    // The replacement answers; the original procedure still saw the message.
    CHECK_EQ(SendMessageW(window, kSent, 7, 8), 0x5EED);
    CHECK_EQ(g_hook_calls, 1);
    CHECK_EQ(conf::Messages(window, kSent).size(), 1u);
    PostMessageW(window, kPosted, 0, 0);
    conf::Drain();
    CHECK_EQ(g_hook_calls >= 2, true);
    CHECK_EQ(conf::Messages(window, kPosted).size(), 1u);

    // Putting the old procedure back ends the replacement.
    SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_previous));
    int calls = g_hook_calls;
    SendMessageW(window, kSent, 0, 0);
    CHECK_EQ(g_hook_calls, calls);
    CHECK_EQ(conf::Messages(window, kSent).size(), 2u);
}

// Posted messages first, then the quit message, then paints, then timers.
CHECK(Message, RetrievalOrder) {
    conf::TestWindow window(20, 60, 32, 32);
    conf::Drain();
    SetTimer(window, 7, 10, nullptr);
    conf::Sleep(60);
    InvalidateRect(window, nullptr, FALSE);
    PostQuitMessage(3);
    PostMessageW(window, kLate, 0, 0);
    std::vector<UINT> order = conf::Drain();
    KillTimer(window, 7);

    std::vector<UINT> firsts;
    for (UINT m : order) {
        if (m != kLate && m != WM_QUIT && m != WM_PAINT && m != WM_TIMER) continue;
        bool seen = false;
        for (UINT f : firsts) seen = seen || f == m;
        if (!seen) firsts.push_back(m);
    }
    CHECK_EQ(firsts, (std::vector<UINT>{kLate, WM_QUIT, WM_PAINT, WM_TIMER}));
}

// A range takes only the messages in it, first come first; the quit message
// is taken whatever the range. 0 to 0 takes everything, a range whose first
// is past its last nothing. vesk's message loop asks for 0 to 0.
CHECK(Message, ARangeTakesOnlyItsMessagesButTheQuitMessageAlways) {
    conf::TestWindow window(20, 60, 32, 32);
    conf::Drain();
    PostMessageW(window, kPosted, 1, 0);
    PostMessageW(window, kLate, 2, 0);
    MSG msg{};
    CHECK_FALSE(PeekMessageW(&msg, nullptr, kLate + 1, kLate + 9, PM_REMOVE));
    REQUIRE(PeekMessageW(&msg, nullptr, kLate, kLate, PM_REMOVE));
    CHECK_EQ(msg.message, kLate);
    CHECK_FALSE(PeekMessageW(&msg, nullptr, kLate, kPosted, PM_REMOVE));
    REQUIRE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    CHECK_EQ(msg.message, kPosted);
    PostQuitMessage(4);
    REQUIRE(PeekMessageW(&msg, nullptr, kLate, kLate, PM_REMOVE));
    CHECK_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    CHECK_EQ(msg.wParam, static_cast<WPARAM>(4));
}

CHECK(Message, ReplacingTheProcedureOfAnotherProgramsWindow) {
    known_difference(
        "Windows CE lets a program replace the procedure of another program's window, as vesk replaces the "
        "shell's taskbar procedure. Desktop Windows refuses (ERROR_ACCESS_DENIED) and keeps the procedure, so "
        "under Wine vesk runs inside the stand-in shell's process.");
    HWND other = conf::OtherProgram(80, 60, 60, 60);
    REQUIRE(other != nullptr);
    g_hook_calls = 0;
    g_previous = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(other, GWLP_WNDPROC));
    SetLastError(0);
    LONG_PTR old = SetWindowLongPtrW(other, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Replacement));
    CHECK_EQ(old != 0, ce_or_desktop(true, false));
    CHECK_EQ(GetLastError(), ce_or_desktop(static_cast<DWORD>(0), static_cast<DWORD>(ERROR_ACCESS_DENIED)));
    SendMessageW(other, kSent, 0, 0);
    CHECK_EQ(g_hook_calls, ce_or_desktop(1, 0));
    if (old) SetWindowLongPtrW(other, GWLP_WNDPROC, old);
}
