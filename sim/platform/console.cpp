// What a program says outside its windows: message boxes, the debugger's
// output and the C runtime's standard streams. The simulated device has no
// one to read them, so each goes to the event log; a message box is
// answered at once with its first button.
#include <array>
#include <cstring>

#include "core.h"
#include "crt.h"

namespace sim::crt {

struct Stream {
    const char* name;
    std::string pending;  // the line not yet ended
};

namespace {

struct Streams {
    std::array<Stream, 3> std{Stream{"stdin", {}}, Stream{"stdout", {}}, Stream{"stderr", {}}};
};

Streams& S() {
    Machine& m = M();
    if (!m.console) m.console = std::make_shared<Streams>();
    return *static_cast<Streams*>(m.console.get());
}

bool Known(Stream* s) {
    for (Stream& o : S().std)
        if (&o == s) return true;
    return false;
}

void Emit(Stream& s) {
    Log(std::string(s.name) + " " + s.pending);
    s.pending.clear();
}

void Put(Stream& s, const char* data, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (data[i] == '\n') Emit(s);
        else if (data[i] != '\r') s.pending += data[i];
    }
}

}  // namespace

Stream* GetStdFile(int which) {
    SIM_API("_getstdfilex");
    return which >= 0 && which < 3 ? &S().std[size_t(which)] : nullptr;
}

size_t Fwrite(const void* data, size_t size, size_t count, Stream* stream) {
    SIM_API("fwrite");
    if (!Known(stream) || stream == &S().std[0] || !data || SIM_FAIL()) return 0;
    if (size == 0 || count == 0) return 0;
    if (count > SIZE_MAX / size) return 0;
    Put(*stream, static_cast<const char*>(data), size * count);
    return count;
}

int Fputs(const char* text, Stream* stream) {
    SIM_API("fputs");
    if (!Known(stream) || stream == &S().std[0] || !text || SIM_FAIL()) return -1;
    Put(*stream, text, std::strlen(text));
    return 0;
}

int Fputc(int c, Stream* stream) {
    SIM_API("fputc");
    if (!Known(stream) || stream == &S().std[0] || SIM_FAIL()) return -1;
    char ch = char(c);
    Put(*stream, &ch, 1);
    return c & 0xff;
}

int Fflush(Stream* stream) {
    SIM_API("fflush");
    if (stream && !Known(stream)) return -1;
    for (Stream& s : S().std)
        if ((!stream || stream == &s) && !s.pending.empty()) Emit(s);
    return 0;
}

int Fcloseall() {
    SIM_API("_fcloseall");
    Fflush(nullptr);
    return 0;  // the standard streams are not counted
}

}  // namespace sim::crt

using namespace sim;

extern "C" {

int WINAPI MessageBoxW(HWND, LPCWSTR text, LPCWSTR caption, UINT) {
    SIM_API("MessageBoxW");
    if (SIM_FAIL()) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    Log("messagebox \"" + Narrow(caption ? caption : u"") + "\" \"" + Narrow(text ? text : u"") + "\"");
    return IDOK;
}

void WINAPI OutputDebugStringW(LPCWSTR text) {
    SIM_API("OutputDebugStringW");
    if (text) Log("debug " + Narrow(text));
}

// The simulated device has no files that a program opens: every handle it
// could pass is of another kind.
BOOL WINAPI WriteFile(HANDLE, LPCVOID, DWORD, LPDWORD written, LPVOID) {
    SIM_API("WriteFile");
    if (written) *written = 0;
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

}  // extern "C"
