// What the benchmarks and the instruction-count driver measure: a paint of
// vesk's button, one showing of the task menu (built, measured, every item
// drawn, then dismissed) on a device with a given number of windows over a
// given number of processes, and DrawTextFit on texts of a given length.
#pragma once

#include <sim/device.h>

#include <memory>
#include <string>

namespace vesk_bench {

// A device with vesk running and `windows` listed application windows over
// `processes` processes (processes beyond the windows have one hidden
// window each, which vesk passes over without taking a snapshot).
class MenuDevice {
public:
    // Titles of `title_length` characters, when given, in place of the short ones.
    MenuDevice(int windows, int processes, int title_length = 0);
    ~MenuDevice();
    // A tap on the menu strip, then a tap outside the popup. False if the
    // popup did not open with every window listed.
    bool ShowMenu();
    // The button's WM_PAINT, run on this thread.
    void Paint();

private:
    std::unique_ptr<sim::Device> device_;
    unsigned long vesk_ = 0;
    HWND button_hwnd_ = nullptr;
    RECT button_{};
    size_t expected_items_ = 0;
};

// A screen device context with vesk's bold menu font, and a text of `length`
// characters that does not fit the title box of a task item.
class TextFit {
public:
    explicit TextFit(int length);
    ~TextFit();
    int Draw();                       // DrawTextFit once
    sim::WString Drawn();             // what DrawTextFit draws: the text of its last DrawTextW
    sim::WString Rule();              // what the rule gives
    int BoxWidth() const { return box_.right - box_.left; }
    const sim::WString& text() const { return text_; }

private:
    std::unique_ptr<sim::Device> device_;
    HDC dc_ = nullptr;
    HFONT font_ = nullptr;
    int saved_ = 0;
    RECT box_{};
    sim::WString text_;
};

}  // namespace vesk_bench
