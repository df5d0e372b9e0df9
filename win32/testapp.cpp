// A test application for the Wine end-to-end tests: one top-level window of
// the class, title, style and extended style asked for, brought to the front,
// which records the messages that concern vesk and answers WM_CLOSE and the
// OK command as told.
//
//   testapp.exe --log FILE [--class NAME] [--title TEXT] [--style 0xN] [--exstyle 0xN]
//               [--rect X,Y,W,H] [--owner HWND] [--on-close destroy|ignore|hang]
//               [--on-ok destroy|ignore|hang] [--release EVENT]
//
// "hang" stops the application in the message until the named event is set
// (a hung application that answers at last); it then destroys its window.
//
// Every line of the log is "MESSAGE WPARAM LPARAM sent|posted", in decimal,
// written as the message arrives. The process ends with 0 when its window
// has been destroyed.
#include <windows.h>
#include <prsht.h>

#include <cstdio>
#include <cstdint>
#include <cwchar>
#include <string>

namespace {

struct Options {
    std::wstring log;
    std::wstring class_name = L"TestApp";
    std::wstring title = L"Test application";
    DWORD style = WS_POPUP | WS_VISIBLE;
    DWORD exstyle = 0;
    RECT rect{40, 60, 340, 360};
    HWND owner = nullptr;
    std::wstring on_close = L"destroy";
    std::wstring on_ok = L"destroy";
    std::wstring release;
};

Options g_options;
HANDLE g_log = INVALID_HANDLE_VALUE;

// The messages that vesk sends or posts to an application, and those that
// tell the application what happens to its window.
bool Recorded(UINT message) {
    switch (message) {
    case WM_CLOSE:
    case WM_COMMAND:
    case WM_ACTIVATE:
    case WM_SHOWWINDOW:
    case WM_SYSCOMMAND:
        return true;
    default:
        return message >= WM_USER && message < 0x8000;
    }
}

void Record(UINT message, WPARAM wParam, LPARAM lParam) {
    if (g_log == INVALID_HANDLE_VALUE || !Recorded(message)) return;
    char line[128];
    int n = std::snprintf(line, sizeof(line), "%u %llu %lld %s\n", message, static_cast<unsigned long long>(wParam),
                          static_cast<long long>(lParam), InSendMessage() ? "sent" : "posted");
    DWORD written = 0;
    WriteFile(g_log, line, static_cast<DWORD>(n), &written, nullptr);
}

// What the application does with a message that asks it to close.
void Answer(HWND hwnd, const std::wstring& how) {
    if (how == L"ignore") return;
    if (how == L"hang" && !g_options.release.empty()) {
        HANDLE event = OpenEventW(SYNCHRONIZE, FALSE, g_options.release.c_str());
        if (event) {
            WaitForSingleObject(event, 120000);
            CloseHandle(event);
        }
    }
    DestroyWindow(hwnd);
}

LRESULT CALLBACK AppWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Record(message, wParam, lParam);
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        RECT rc;
        GetClientRect(hwnd, &rc);
        FillRect(dc, &rc, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        DrawTextW(dc, g_options.title.c_str(), -1, &rc, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_CLOSE:
        Answer(hwnd, g_options.on_close);
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            Answer(hwnd, g_options.on_ok);
            return 0;
        }
        break;
    case WM_USER + 113:  // PSM_PRESSBUTTON
        // A property sheet closes when its OK button is pressed.
        if (wParam == PSBTN_OK && (g_options.style & 0xFFFF0000) == 0x90000000) DestroyWindow(hwnd);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

DWORD Number(const wchar_t* text) { return static_cast<DWORD>(std::wcstoul(text, nullptr, 0)); }

bool Parse(int argc, wchar_t** argv) {
    for (int i = 1; i + 1 < argc; i += 2) {
        std::wstring name = argv[i];
        const wchar_t* value = argv[i + 1];
        if (name == L"--log") {
            g_options.log = value;
        } else if (name == L"--class") {
            g_options.class_name = value;
        } else if (name == L"--title") {
            g_options.title = value;
        } else if (name == L"--style") {
            g_options.style = Number(value);
        } else if (name == L"--exstyle") {
            g_options.exstyle = Number(value);
        } else if (name == L"--rect") {
            int x, y, w, h;
            if (std::swscanf(value, L"%d,%d,%d,%d", &x, &y, &w, &h) != 4) return false;
            g_options.rect = RECT{x, y, x + w, y + h};
        } else if (name == L"--owner") {
            g_options.owner = reinterpret_cast<HWND>(static_cast<uintptr_t>(std::wcstoull(value, nullptr, 0)));
        } else if (name == L"--on-close") {
            g_options.on_close = value;
        } else if (name == L"--on-ok") {
            g_options.on_ok = value;
        } else if (name == L"--release") {
            g_options.release = value;
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || !Parse(argc, argv)) return 2;
    LocalFree(argv);

    if (!g_options.log.empty()) {
        g_log = CreateFileW(g_options.log.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    }

    WNDCLASSW wc{};
    wc.lpfnWndProc = AppWndProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.lpszClassName = g_options.class_name.c_str();
    if (!RegisterClassW(&wc)) return 3;

    const RECT& r = g_options.rect;
    HWND hwnd = CreateWindowExW(g_options.exstyle, g_options.class_name.c_str(), g_options.title.c_str(),
                                g_options.style, r.left, r.top, r.right - r.left, r.bottom - r.top, g_options.owner, nullptr,
                                instance, nullptr);
    if (!hwnd) return 4;
    if (g_options.style & WS_VISIBLE) SetForegroundWindow(hwnd);

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    if (g_log != INVALID_HANDLE_VALUE) CloseHandle(g_log);
    return static_cast<int>(msg.wParam);
}
