// A small check framework for statements about the platform, written only
// against the platform's API so that one source runs twice: built for desktop
// Windows and run under Wine, and built against the simulator and run inside
// a program on a simulated device.
//
//   CHECK(Menu, InsertByPositionMovesCommandsDown) {
//       ...
//       CHECK_EQ(GetMenuItemCount(popup), 6);
//   }
//
// CHECK_* record a failure with the file and line and go on; REQUIRE ends the
// check. Where Windows CE and desktop Windows do not agree, the check says so
// with known_difference(reason) and states each platform's answer with
// ce_or_desktop(on the device, on the desktop).
#pragma once

#include <windows.h>
#ifndef _WIN32
#include <sim/host_api.h>  // the simulator keeps what CE lacks out of windows.h
#endif

#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

namespace conf {

// The platform's strings, 16-bit WCHAR units on the device, the simulator
// and desktop Windows alike.
using WString = std::basic_string<WCHAR>;

// ---------------------------------------------------------------------------
// Registration and results

struct Check {
    const char* suite;
    const char* name;
    void (*body)();
    const char* file;
    int line;
    std::string Name() const { return std::string(suite) + "." + name; }
};

std::vector<Check>& Checks();

struct Registrar {
    Registrar(const char* suite, const char* name, void (*body)(), const char* file, int line);
};

struct Outcome {
    std::vector<std::string> failures;
    std::vector<std::string> differences;       // known differences noted by the check
    std::vector<std::string> simulator_faults;  // where the simulator is known to be wrong
};

// The outcome of the check that runs now.
Outcome& Current();
void Fail(const char* file, int line, const std::string& text);

// The check states a behaviour in which Windows CE and desktop Windows differ.
void known_difference(const char* reason);

// The check states what the platform does where the simulator is known not
// to do it yet: on the simulator its failure is reported as known, not as a
// failure, until the simulator is put right.
void simulator_fault(const char* what);

enum class Verdict { Passed, Failed, Known };

// Prints the outcome of one check, its known differences included.
Verdict Report(const Check& check, const Outcome& outcome);
// The closing line: "LABEL: N passed, N failed, N skipped", the known faults
// of the simulator counted as skipped.
void Summary(const char* label, int passed, int failed, int known);
// Whether the check's name contains the filter (empty: every check).
bool Selected(const Check& check, const std::string& filter);

#if defined(_WIN32)
inline constexpr bool kDesktop = true;
#else
inline constexpr bool kDesktop = false;
#endif

// What the platform answers: the first value on the device (the simulator
// stands for it), the second on desktop Windows.
template <class T>
T ce_or_desktop(T ce, T desktop) {
    return kDesktop ? desktop : ce;
}

// ---------------------------------------------------------------------------
// What each side provides: time, the pen and other programs.

// The thread is busy for ms milliseconds: time passes, nothing is retrieved.
void Sleep(DWORD ms);
// The thread's message loop runs for ms milliseconds, dispatching everything.
void Pump(DWORD ms);
// The pen at a screen point. Each returns once the resulting pen message has
// been dispatched (or, if none comes, after a bounded wait).
void PenDown(int x, int y);
void PenMove(int x, int y);
void PenUp(int x, int y);
// A window of another program: a top-level pop-up of a process of its own
// at the rectangle, shown and brought to the front; null if it does not come.
// It destroys itself when asked to close (WM_CLOSE) and ends with the check.
HWND OtherProgram(int x, int y, int cx, int cy);

// ---------------------------------------------------------------------------
// Windows for the checks: a top-level window that records what it receives,
// paints nothing and never erases, so that what a check draws stays drawn.

struct Received {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

extern const WCHAR kRecorderClass[];

// The module of the program that runs the checks; each side sets it.
HINSTANCE Instance();
void SetInstance(HINSTANCE instance);

class TestWindow {
public:
    TestWindow(int x, int y, int cx, int cy, DWORD style = WS_POPUP | WS_VISIBLE, DWORD exstyle = 0,
               HWND owner = nullptr, const WCHAR* title = TEXT("conformance"));
    ~TestWindow();
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;
    HWND hwnd() const { return hwnd_; }
    operator HWND() const { return hwnd_; }

private:
    HWND hwnd_;
};

// Every message the check's windows received, oldest first.
std::vector<Received>& Log();
// Those that went to hwnd with the given message number.
std::vector<Received> Messages(HWND hwnd, UINT message);
// The numbers of the messages from first to last (inclusive) that hwnd
// received, in order: the platform's own traffic is left out by choosing
// the range.
std::vector<UINT> Numbers(HWND hwnd, UINT first, UINT last);

// Retrieves and dispatches what is in the thread's queue now; returns the
// message numbers in the order in which they were retrieved.
std::vector<UINT> Drain();

// Called by each side when a check's program starts afresh.
void ResetProgram();

// ---------------------------------------------------------------------------
// Pictures: a region of a device context as rows of characters.

struct Legend {
    COLORREF color;
    char symbol;
};
// Each pixel is the symbol of its colour, '?' for a colour not in the legend.
std::vector<std::string> Picture(HDC dc, int x, int y, int cx, int cy, const std::vector<Legend>& legend);

// ---------------------------------------------------------------------------
// Values in messages

std::string Show(long long v);
std::string Show(unsigned long long v);
std::string Show(const void* p);
std::string Show(const char* s);
std::string Show(const std::string& s);
std::string Show(const conf::WString& s);
std::string Show(const WCHAR* s);
std::string Show(const RECT& r);
std::string Show(const std::vector<std::string>& rows);
std::string Show(const std::vector<UINT>& list);

template <class T>
std::string ShowValue(const T& v) {
    if constexpr (std::is_same_v<T, bool>) {
        return v ? "true" : "false";
    } else if constexpr (std::is_enum_v<T>) {
        return Show(static_cast<long long>(v));
    } else if constexpr (std::is_integral_v<T> && std::is_signed_v<T>) {
        return Show(static_cast<long long>(v));
    } else if constexpr (std::is_integral_v<T>) {
        return Show(static_cast<unsigned long long>(v));
    } else if constexpr (std::is_pointer_v<T> && !std::is_same_v<T, const char*> && !std::is_same_v<T, char*> &&
                         !std::is_same_v<T, const WCHAR*> && !std::is_same_v<T, WCHAR*>) {
        return Show(static_cast<const void*>(v));
    } else {
        return Show(v);
    }
}

inline bool operator==(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

template <class A, class B>
bool Same(const A& a, const B& b) {
    if constexpr (std::is_integral_v<A> && std::is_integral_v<B>) {
        // Compare integers by value whatever their widths and signs: the
        // platform's types differ in width between the device and the desktop.
        using W = std::conditional_t<std::is_signed_v<A> || std::is_signed_v<B>, long long, unsigned long long>;
        return static_cast<W>(a) == static_cast<W>(b);
    } else {
        return a == b;
    }
}

template <class A, class B>
void CheckEq(const A& actual, const B& expected, const char* actual_text, const char* expected_text,
             const char* file, int line) {
    if (Same(actual, expected)) return;
    Fail(file, line,
         std::string(actual_text) + " == " + expected_text + "\n      actual:   " + ShowValue(actual) +
             "\n      expected: " + ShowValue(expected));
}

template <class A, class B>
void CheckNe(const A& actual, const B& other, const char* actual_text, const char* other_text, const char* file,
             int line) {
    if (!Same(actual, other)) return;
    Fail(file, line, std::string(actual_text) + " != " + other_text + "\n      both:     " + ShowValue(actual));
}

}  // namespace conf

// Checks are written at file scope and say these the way they read.
using conf::ce_or_desktop;
using conf::known_difference;
using conf::simulator_fault;

#define CONF_CAT2(a, b) a##b
#define CONF_CAT(a, b) CONF_CAT2(a, b)

#define CHECK(suite, name)                                                                            \
    static void CONF_CAT(check_##suite##_, name)();                                                   \
    static const ::conf::Registrar CONF_CAT(registrar_##suite##_, name)(#suite, #name,                \
                                                                        CONF_CAT(check_##suite##_, name), \
                                                                        __FILE__, __LINE__);           \
    static void CONF_CAT(check_##suite##_, name)()

#define CHECK_EQ(actual, expected) ::conf::CheckEq((actual), (expected), #actual, #expected, __FILE__, __LINE__)
#define CHECK_NE(actual, other) ::conf::CheckNe((actual), (other), #actual, #other, __FILE__, __LINE__)
#define CHECK_TRUE(condition) \
    ((condition) ? (void)0 : ::conf::Fail(__FILE__, __LINE__, std::string(#condition) + " is true"))
#define CHECK_FALSE(condition) \
    (!(condition) ? (void)0 : ::conf::Fail(__FILE__, __LINE__, std::string(#condition) + " is false"))
#define REQUIRE(condition)                                                                   \
    do {                                                                                     \
        if (!(condition)) {                                                                  \
            ::conf::Fail(__FILE__, __LINE__, std::string("required: ") + #condition);        \
            return;                                                                          \
        }                                                                                    \
    } while (0)
