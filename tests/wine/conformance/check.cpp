// The check framework's core, the same on both sides.
#include "check.h"

#include <cstdio>

namespace conf {

namespace {

HINSTANCE g_instance = nullptr;
bool g_registered = false;
Outcome g_outcome;
std::vector<Received> g_log;

LRESULT CALLBACK RecorderProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    g_log.push_back(Received{hwnd, message, wParam, lParam});
    switch (message) {
    case WM_PAINT: {
        // Validate without drawing: what a check drew stays.
        PAINTSTRUCT ps;
        BeginPaint(hwnd, &ps);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

void Register() {
    if (g_registered) return;
    WNDCLASSW wc;
    memset(&wc, 0, sizeof(wc));
    wc.lpfnWndProc = RecorderProc;
    wc.hInstance = g_instance;
    wc.lpszClassName = kRecorderClass;
    g_registered = RegisterClassW(&wc) != 0;
}

std::string Narrow(const conf::WString& w) {
    std::string s;
    for (WCHAR c : w) s += (c >= 32 && c < 127) ? static_cast<char>(c) : '?';
    return s;
}

}  // namespace

const WCHAR kRecorderClass[] = TEXT("ConformanceWindow");

std::vector<Check>& Checks() {
    static std::vector<Check> checks;
    return checks;
}

Registrar::Registrar(const char* suite, const char* name, void (*body)(), const char* file, int line) {
    Checks().push_back(Check{suite, name, body, file, line});
}

Outcome& Current() { return g_outcome; }

void Fail(const char* file, int line, const std::string& text) {
    // Paths are shown from the repository's tests/ folder on.
    std::string where = file;
    size_t at = where.find("tests/wine/");
    if (at == std::string::npos) at = where.find("tests\\wine\\");
    if (at != std::string::npos) where = where.substr(at);
    g_outcome.failures.push_back(where + ":" + std::to_string(line) + ": " + text);
}

void known_difference(const char* reason) { g_outcome.differences.push_back(reason); }

void simulator_fault(const char* what) { g_outcome.simulator_faults.push_back(what); }

Verdict Report(const Check& check, const Outcome& outcome) {
    Verdict verdict = Verdict::Passed;
    if (!outcome.failures.empty())
        verdict = !kDesktop && !outcome.simulator_faults.empty() ? Verdict::Known : Verdict::Failed;
    const char* label = verdict == Verdict::Passed ? "PASS" : verdict == Verdict::Failed ? "FAIL" : "KNOWN";
    std::printf("[ %s ] %s\n", label, check.Name().c_str());
    if (verdict == Verdict::Known) {
        for (const std::string& f : outcome.simulator_faults)
            std::printf("    a fault of the simulator, awaiting its fix: %s\n", f.c_str());
    }
    for (const std::string& f : outcome.failures) std::printf("    %s\n", f.c_str());
    for (const std::string& d : outcome.differences)
        std::printf("    known difference between Windows CE and desktop Windows: %s\n", d.c_str());
    if (!kDesktop && verdict == Verdict::Passed && !outcome.simulator_faults.empty())
        std::printf("    the simulator now does what the platform does: the fault mark can go\n");
    std::fflush(stdout);
    return verdict;
}

void Summary(const char* label, int passed, int failed, int known) {
    if (known > 0)
        std::printf("%d checks state what the platform does where the simulator does not yet (KNOWN above)\n",
                    known);
    std::printf("%s: %d passed, %d failed, %d skipped\n", label, passed, failed, known);
    std::fflush(stdout);
}

bool Selected(const Check& check, const std::string& filter) {
    return filter.empty() || check.Name().find(filter) != std::string::npos;
}

HINSTANCE Instance() { return g_instance; }
void SetInstance(HINSTANCE instance) { g_instance = instance; }

void ResetProgram() {
    g_registered = false;
    g_log.clear();
}

TestWindow::TestWindow(int x, int y, int cx, int cy, DWORD style, DWORD exstyle, HWND owner, const WCHAR* title) {
    Register();
    hwnd_ = CreateWindowExW(exstyle, kRecorderClass, title, style, x, y, cx, cy, owner, nullptr, g_instance, nullptr);
    if (!hwnd_) Fail(__FILE__, __LINE__, "the check's window could not be created");
}

TestWindow::~TestWindow() {
    if (hwnd_ && IsWindow(hwnd_)) DestroyWindow(hwnd_);
}

std::vector<Received>& Log() { return g_log; }

std::vector<Received> Messages(HWND hwnd, UINT message) {
    std::vector<Received> out;
    for (const Received& r : g_log)
        if (r.hwnd == hwnd && r.message == message) out.push_back(r);
    return out;
}

std::vector<UINT> Numbers(HWND hwnd, UINT first, UINT last) {
    std::vector<UINT> out;
    for (const Received& r : g_log)
        if (r.hwnd == hwnd && r.message >= first && r.message <= last) out.push_back(r.message);
    return out;
}

std::vector<UINT> Drain() {
    std::vector<UINT> order;
    MSG msg;
    // Bounded: a queue that never empties is a fault of its own.
    for (int n = 0; n < 10000 && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++n) {
        order.push_back(msg.message);
        DispatchMessageW(&msg);
    }
    return order;
}

std::vector<std::string> Picture(HDC dc, int x, int y, int cx, int cy, const std::vector<Legend>& legend) {
    std::vector<std::string> rows;
    for (int j = 0; j < cy; ++j) {
        std::string row;
        for (int i = 0; i < cx; ++i) {
            COLORREF c = GetPixel(dc, x + i, y + j);
            char symbol = '?';
            for (const Legend& l : legend)
                if (l.color == c) symbol = l.symbol;
            row += symbol;
        }
        rows.push_back(row);
    }
    return rows;
}

std::string Show(long long v) { return std::to_string(v); }

std::string Show(unsigned long long v) {
    char hex[32];
    std::snprintf(hex, sizeof(hex), "%llu (0x%llx)", v, v);
    return hex;
}

std::string Show(const void* p) {
    char text[32];
    std::snprintf(text, sizeof(text), "%p", p);
    return text;
}

// Built by appending: GCC 12 at -O3 warns wrongly about a literal added to a
// temporary string.
static std::string Quoted(const char* prefix, const std::string& s) {
    std::string out = prefix;
    out += '"';
    out += s;
    out += '"';
    return out;
}

std::string Show(const char* s) { return s ? Quoted("", s) : "null"; }
std::string Show(const std::string& s) { return Quoted("", s); }
std::string Show(const conf::WString& s) { return Quoted("L", Narrow(s)); }
std::string Show(const WCHAR* s) { return s ? Show(conf::WString(s)) : "null"; }

std::string Show(const RECT& r) {
    char text[96];
    std::snprintf(text, sizeof(text), "{%ld, %ld, %ld, %ld}", static_cast<long>(r.left), static_cast<long>(r.top),
                  static_cast<long>(r.right), static_cast<long>(r.bottom));
    return text;
}

std::string Show(const std::vector<std::string>& rows) {
    std::string out;
    for (const std::string& row : rows) out += "\n        " + row;
    return out;
}

std::string Show(const std::vector<UINT>& list) {
    std::string out = "{";
    for (size_t i = 0; i < list.size(); ++i) out += (i ? ", " : "") + std::to_string(list[i]);
    return out + "}";
}

}  // namespace conf
