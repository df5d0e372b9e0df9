// A test application for the Wine end-to-end tests: one top-level window of
// the class, title, style and extended style asked for, brought to the front,
// which records the messages that concern vesk and answers WM_CLOSE and the
// OK command as told.
//
//   testapp.exe --log FILE [--class NAME] [--title TEXT] [--style 0xN] [--exstyle 0xN]
//               [--rect X,Y,W,H] [--on-close destroy|ignore] [--on-ok destroy|ignore]
//
// Every line of the log is "MESSAGE WPARAM LPARAM sent|posted", in decimal,
// written as the message arrives. The process ends with 0 when its window
// has been destroyed.
#include <windows.h>

#include <cstdio>
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
    bool close_destroys = true;
    bool ok_destroys = true;
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
        if (!g_options.close_destroys) return 0;
        break;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            if (g_options.ok_destroys) DestroyWindow(hwnd);
            return 0;
        }
        break;
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
        } else if (name == L"--on-close") {
            g_options.close_destroys = std::wstring(value) != L"ignore";
        } else if (name == L"--on-ok") {
            g_options.ok_destroys = std::wstring(value) != L"ignore";
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
                                g_options.style, r.left, r.top, r.right - r.left, r.bottom - r.top, nullptr, nullptr,
                                instance, nullptr);
    if (!hwnd) return 4;
    SetForegroundWindow(hwnd);

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    if (g_log != INVALID_HANDLE_VALUE) CloseHandle(g_log);
    return static_cast<int>(msg.wParam);
}
