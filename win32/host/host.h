// The Wine test host: a stand-in for the Pocket PC shell and a way to run
// vesk inside it.
//
// Desktop Windows does not let one process replace another's window
// procedure, so the taskbar ("HHTaskBar", untitled, across the top of the
// screen) and the desktop ("DesktopExplorerWindow", "Desktop") run on a thread
// of this process, and vesk's WinMain runs on another thread of the same
// process. Like the device's shell, the stand-in sends message 1024 to the
// taskbar whenever the foreground window changes.
//
// Test applications are separate processes (testapp.exe) that record the
// messages they receive. Every wait here is bounded.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace host {

// ---------------------------------------------------------------------------
// The stand-in shell

// What the taskbar's own procedure answers to the messages from WM_USER on,
// so that a test can see that an answer came back through vesk's hook.
constexpr LRESULT kTaskBarAnswer = 0x7A5C;

// The taskbar is 26 units high: 26 pixels at 96 dpi.
constexpr int kTaskBarHeight = 26;

// The screen's dots per inch, as vesk reads them.
int ScreenDpi();

// Starts the shell's thread; returns once both windows exist. The taskbar
// is `taskbar_height` pixels high; -1: 26 units of the screen's dpi.
bool StartShell(int taskbar_height = -1);
HWND TaskBar();
HWND Desktop();
// The procedure that the taskbar's class gives it, before anyone replaces it.
WNDPROC TaskBarClassProc();
// How many times the taskbar's own procedure has received the message.
long TaskBarReceived(UINT message);
// Asks the shell's thread to make the window the foreground window, as the
// device's shell switches to an application: a minimized one is restored.
void ShellActivate(HWND hwnd);
// The same, until the window is in front; false if it is not within ms. A
// switch that the platform is still making (a window being restored, an
// activation that another thread has yet to take) may swallow a request, so
// it is made again now and then.
bool BringToFront(HWND hwnd, DWORD ms);
// Asks the shell's thread to give the taskbar a new width, as the device's
// shell does when the screen turns; false if it has not within ms.
bool ResizeTaskBar(int cx, DWORD ms);
// Asks the shell's thread to send message 1024 to the taskbar.
void ShellNotify();

// ---------------------------------------------------------------------------
// vesk on a thread of its own

// Starts vesk's WinMain on a new thread.
bool StartVesk();
// Waits for vesk's WinMain to return; false if it has not within ms.
bool WaitVeskExit(DWORD ms, int* exit_code);
// vesk's button: the child of the taskbar of class "VeskClass" titled
// "VeskWindow", once it has been created and shown (null after ms).
HWND WaitForButton(DWORD ms);
// Whether vesk's hook is on the taskbar now.
bool TaskBarHooked();
// vesk's thread (0 before StartVesk) and whether it has ended.
DWORD VeskThreadId();
bool VeskEnded(int* exit_code);

// ---------------------------------------------------------------------------
// Waiting, input, pixels, the registry

// Dispatches every message waiting for this thread, and returns.
void DispatchPending();
// Runs this thread's message loop and polls done() until it is true or ms
// have passed; answers done()'s last value.
bool WaitUntil(DWORD ms, const std::function<bool()>& done);

// A pen tap on a window, as the posted messages it makes: WM_LBUTTONDOWN
// then WM_LBUTTONUP at the client point.
void PostTap(HWND hwnd, int x, int y);
// A real click of the mouse at a screen point.
void Click(int x, int y);
// The mouse as the pen: a move to a screen point, with the left button
// pressed, held or let go there.
enum class Pen { Down, Move, Up };
void SendPen(Pen what, int x, int y);

// The window's client area as COLORREF values, row after row.
std::vector<COLORREF> Capture(HWND hwnd, int cx, int cy);

// Writes pixels (row after row, cx by cy) as a PPM picture.
bool WritePpm(const std::wstring& path, const std::vector<COLORREF>& pixels, int cx, int cy);

// Sets values "8" and "9" of HKEY_LOCAL_MACHINE\Software\Microsoft\Color.
bool SetTheme(DWORD back, DWORD fore);

// ---------------------------------------------------------------------------
// Test applications

struct AppSpec {
    std::wstring exe;  // the executable's file name; empty: testapp.exe
    std::wstring class_name = L"TestApp";
    std::wstring title = L"Test application";
    DWORD style = WS_POPUP | WS_VISIBLE;
    DWORD exstyle = 0;
    RECT rect{40, 60, 300, 300};
    HWND owner = nullptr;
    // What the application does with WM_CLOSE and with the OK command:
    // destroy, ignore, or hang (until Release).
    std::wstring on_close = L"destroy";
    std::wstring on_ok = L"destroy";
};

struct AppMessage {
    UINT message = 0;
    unsigned long long wParam = 0;
    long long lParam = 0;
    bool sent = false;
};

class App {
public:
    App() = default;
    ~App();
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    // Starts testapp.exe and waits until its window exists and, if it is
    // visible, until it is in front.
    bool Launch(const AppSpec& request);
    // A hung application answers at last.
    void Release();
    HWND hwnd() const { return hwnd_; }
    DWORD pid() const { return pi_.dwProcessId; }
    // The messages recorded so far.
    std::vector<AppMessage> Messages() const;
    // Waits for the process to end; false if it still runs after ms.
    bool WaitExit(DWORD ms, DWORD* exit_code = nullptr);

private:
    PROCESS_INFORMATION pi_{};
    HWND hwnd_ = nullptr;
    std::wstring log_;
    HANDLE release_ = nullptr;
};

// The folder of this program, where vesk.exe and testapp.exe lie too.
std::wstring ProgramFolder();

}  // namespace host
