#include "bench_setup.h"

#include <windows.h>

#include "vesk.h"
#include "vesk_image.h"

// The benchmarks are linked with --wrap=DrawTextW: every call of the
// platform's DrawTextW comes here first, so that what DrawTextFit draws can
// be compared with the rule it implements.
extern "C" int __real_DrawTextW(HDC hdc, LPCWSTR text, int length, LPRECT rc, UINT format);

namespace {
sim::WString g_last_drawn;
}

extern "C" int __wrap_DrawTextW(HDC hdc, LPCWSTR text, int length, LPRECT rc, UINT format) {
    if (!(format & DT_CALCRECT) && text) g_last_drawn.assign(text, length < 0 ? wcslen(text) : size_t(length));
    return __real_DrawTextW(hdc, text, length, rc, format);
}

namespace vesk_bench {

MenuDevice::MenuDevice(int windows, int processes, int title_length) : device_(std::make_unique<sim::Device>()) {
    for (int i = 0; i < std::max(windows, processes); ++i) {
        sim::AppConfig app;
        // Built by appending: GCC 12 warns wrongly about "literal" + string.
        app.name = "w";
        app.name += std::to_string(i);
        app.exe = u"p";
        app.exe += sim::Widen(std::to_string(i % processes));
        app.exe += u".exe";
        sim::WString title = u"Window ";
        title += sim::Widen(std::to_string(i));
        title += u" of process ";
        title += sim::Widen(std::to_string(i % processes));
        if (title_length > 0) title.resize(size_t(title_length), u'w');
        app.title = title;
        app.hidden = i >= windows;
        device_->Launch(app);
    }
    vesk_ = vesk_host::StartVesk(*device_);
    for (const sim::WindowInfo& w : device_->Windows())
        if (w.class_name == u"VeskClass") button_ = w.rect, button_hwnd_ = w.hwnd;
    expected_items_ = size_t(1 + windows + 1 + 5);
}

MenuDevice::~MenuDevice() = default;

bool MenuDevice::ShowMenu() {
    device_->Tap(button_.left + device_->ScaleX(2), button_.top + device_->ScaleY(8));
    std::optional<sim::MenuView> menu = device_->OpenMenu();
    bool ok = menu && menu->items.size() == expected_items_;
    device_->Tap(0, device_->config().height - 1);
    return ok && !device_->OpenMenu();
}

void MenuDevice::Paint() {
    InvalidateRect(button_hwnd_, nullptr, TRUE);
    UpdateWindow(button_hwnd_);
}

TextFit::TextFit(int length) : device_(std::make_unique<sim::Device>()) {
    static const WCHAR kWords[] = u"Pocket Word: minutes of the meeting of 7 December, with the notes ";
    const size_t n = sizeof kWords / sizeof kWords[0] - 1;
    for (int i = 0; i < length; ++i) text_ += kWords[size_t(i) % n];
    dc_ = GetDC(nullptr);
    saved_ = SaveDC(dc_);
    // vesk's bold menu font at 96 dpi, in the title box of a task item on a
    // 240 pixels wide screen.
    LOGFONTW lf{};
    GetObjectW(GetStockObject(SYSTEM_FONT), sizeof lf, &lf);
    lf.lfHeight = -11;
    lf.lfWeight = FW_BOLD;
    font_ = CreateFontIndirectW(&lf);
    SelectObject(dc_, font_);
    box_ = RECT{20, 0, 180, 18};
}

TextFit::~TextFit() {
    RestoreDC(dc_, saved_);
    DeleteObject(font_);
    ReleaseDC(nullptr, dc_);
}

int TextFit::Draw() {
    return DrawTextFit(dc_, text_.c_str(), int(text_.size()), &box_, DT_SINGLELINE | DT_VCENTER);
}

sim::WString TextFit::Drawn() {
    g_last_drawn.clear();
    Draw();
    return g_last_drawn;
}

// The rule: the whole text when it measures no wider than the box, else the
// longest prefix that, followed by "...", measures narrower than the box.
// A longer prefix never measures narrower, so the longest is the one before
// the first that does not fit, counting up from nothing.
sim::WString TextFit::Rule() {
    auto width = [&](const sim::WString& s) {
        RECT r = box_;
        __real_DrawTextW(dc_, s.c_str(), int(s.size()), &r, DT_SINGLELINE | DT_VCENTER | DT_CALCRECT);
        return r.right - r.left;
    };
    if (width(text_) <= BoxWidth()) return text_;
    auto candidate = [&](size_t k) {
        sim::WString s = text_.substr(0, k);
        s.append(u"...");
        return s;
    };
    size_t k = 0;
    while (k < text_.size() && width(candidate(k + 1)) < BoxWidth()) ++k;
    return candidate(k);
}

}  // namespace vesk_bench
