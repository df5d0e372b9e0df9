// The whole device under random use: each input boots one simulated device
// (size, resolution, with or without the taskbar and the desktop), launches
// a random population of applications (titles, classes, styles, extended
// styles, owners, processes, what they do when asked to close), starts vesk
// and plays random pen strokes, waits, notifications, menu choices, window
// destructions, retitlings, turns of the screen and releases of hung
// applications. vesk must never crash, never delete a selected object, hold
// what it held after start-up whenever no menu is open and the pen is up,
// keep its button at the taskbar's right end through every turn, end at
// WM_CLOSE with code 0 and leave behind only its mutex and class brush (and,
// when it ended by its own "E&xit", the bold font and the close glyph).
#include <sim/device.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iterator>
#include <string>
#include <vector>

#include "vesk_image.h"

namespace {

class Input {
public:
    Input(const uint8_t* data, size_t size) : p_(data), end_(data + size) {}
    bool Empty() const { return p_ == end_; }
    uint8_t Byte() { return p_ == end_ ? 0 : *p_++; }
    // A value in [lo, hi].
    int Range(int lo, int hi) {
        unsigned span = unsigned(hi - lo) + 1;
        unsigned v = span > 256 ? unsigned(Byte()) << 8 | Byte() : Byte();
        return lo + int(v % span);
    }
    bool Chance(int one_in) { return Range(0, one_in - 1) == 0; }

    // Mostly short titles, some of the lengths that matter (0, 1, 2) and a
    // few long ones, from letters, spaces, '&', control characters and
    // characters outside Latin-1.
    sim::WString Text() {
        static const WCHAR kPool[] = u"AaBbWwMmIi.lo &&\t\r\n\x01\x1f\x7f\x00e9\x4e2d\xfffd";
        int len;
        switch (Range(0, 7)) {
        case 0: len = Range(0, 2); break;
        case 1: len = Range(40, 400); break;
        default: len = Range(3, 24); break;
        }
        sim::WString t;
        for (int i = 0; i < len; ++i) {
            uint8_t b = Byte();
            WCHAR c = kPool[b % (sizeof kPool / sizeof kPool[0] - 1)];
            t += c ? c : u'x';
        }
        return t;
    }

private:
    const uint8_t* p_;
    const uint8_t* end_;
};

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "vesk device fuzz: %s\n", what.c_str());
    std::abort();
}

std::string Describe(const sim::Counts& c) {
    return "gdi=" + std::to_string(c.gdi) + " icons=" + std::to_string(c.icons) + " menus=" + std::to_string(c.menus) +
           " handles=" + std::to_string(c.handles) + " snapshots=" + std::to_string(c.snapshots) +
           " windows=" + std::to_string(c.windows) + " heap=" + std::to_string(c.heap);
}

struct Screen {
    int width, height, dpi;
};
const Screen kScreens[] = {{240, 320, 96}, {320, 240, 96}, {480, 640, 192}, {240, 320, 131}, {128, 160, 96}};

const WCHAR* const kClasses[] = {u"", u"Dialog", u"Calendar", u"Contacts", u"shfind", u"Tasks Application",
                                   u"DialogX", u"calendar"};
const WCHAR* const kExes[] = {u"p0.exe", u"p1.exe", u"p2.exe", u"shell32.exe", u"Shell32.exe", u"\\Program Files\\x.exe"};

class Session {
public:
    Session(Input& in, const sim::DeviceConfig& config) : in_(in), device_(config) {}

    void Play() {
        int apps = in_.Range(0, 8);
        for (int i = 0; i < apps; ++i) Launch();
        vesk_ = vesk_host::StartVesk(device_);
        if (!device_.Running(vesk_)) {
            if (device_.config().taskbar) Fail("vesk did not start with a taskbar present");
            CheckEnded(false);
            return;
        }
        baseline_ = device_.CountsOf(vesk_);
        if (baseline_.heap != 0) Fail("heap blocks held after start-up");
        FindButton();

        for (int step = 0; step < 48 && !in_.Empty(); ++step) {
            Step();
            CheckFlat();
        }
        End();
    }

private:
    POINT Point() {
        const int w = device_.config().width, h = device_.config().height;
        switch (in_.Range(0, 3)) {
        case 0: return POINT{in_.Range(-4, w + 4), in_.Range(-4, h + 4)};
        case 1: {  // below the button: the end of a stroke down
            return POINT{in_.Range(button_.left - 2, button_.right + 2), in_.Range(button_.bottom, h + 2)};
        }
        default:  // on or around the button
            return POINT{in_.Range(button_.left - 3, button_.right + 1), in_.Range(button_.top - 1, button_.bottom + 1)};
        }
    }

    void Launch() {
        sim::AppConfig app;
        app.name = "a" + std::to_string(next_app_++);
        app.exe = kExes[in_.Range(0, int(std::size(kExes)) - 1)];
        app.class_name = kClasses[in_.Range(0, int(std::size(kClasses)) - 1)];
        app.title = in_.Text();
        app.style = WS_VISIBLE;
        switch (in_.Range(0, 5)) {
        case 0: app.style = 0x90000004; break;
        case 1: app.style = WS_POPUP | WS_VISIBLE | WS_CAPTION; break;
        default: break;
        }
        app.hidden = in_.Chance(6);
        app.exstyle = in_.Chance(3) ? WS_EX_CAPTIONOKBTN : 0;
        if (in_.Chance(5) && !names_.empty()) app.owner = names_[size_t(in_.Range(0, int(names_.size()) - 1))];
        if (!app.owner.empty() && !device_.Find(app.owner)) app.owner.clear();
        int close = in_.Range(0, 9), ok = in_.Range(0, 9);
        app.on_close = close < 6 ? sim::OnClose::Destroy : close < 9 ? sim::OnClose::Ignore : sim::OnClose::Hang;
        app.on_ok = ok < 6 ? sim::OnOk::Destroy : ok < 9 ? sim::OnOk::Ignore : sim::OnOk::Hang;
        if (device_.Launch(app)) names_.push_back(app.name);
    }

    HWND SomeApp() {
        if (names_.empty()) return nullptr;
        return device_.Find(names_[size_t(in_.Range(0, int(names_.size()) - 1))]);
    }

    void Step() {
        const int what = in_.Range(0, 16);
        if (std::getenv("VESK_FUZZ_TRACE")) std::fprintf(stderr, "  step %d at %llu ms, capture %p\n", what, (unsigned long long)device_.Now(), (void*)device_.Capture());
        switch (what) {
        case 0: {
            POINT p = Point();
            Trace("down", p);
            device_.PenDown(p.x, p.y);
            pen_down_ = true;
            break;
        }
        case 1: case 2: {
            POINT p = Point();
            Trace("move", p);
            device_.PenMove(p.x, p.y);
            break;
        }
        case 3: {
            POINT p = Point();
            Trace("up", p);
            device_.PenUp(p.x, p.y);
            pen_down_ = false;
            break;
        }
        case 4: case 5: {
            POINT p = Point();
            Trace("tap", p);
            device_.Tap(p.x, p.y);
            pen_down_ = false;
            break;
        }
        case 6: device_.Wait(uint64_t(in_.Range(0, 450))); break;
        case 7: device_.Notify(); break;
        case 8: case 9: ChooseFromMenu(); break;
        case 10: if (HWND h = SomeApp()) device_.Activate(h); break;
        case 11: if (HWND h = SomeApp()) device_.Destroy(h); break;
        case 12: if (HWND h = SomeApp()) device_.SetTitle(h, in_.Text()); break;
        case 13: ReleaseHung(); break;
        case 14: if (names_.size() < 24) Launch(); break;
        case 15: Turn(); break;
        default:  // the strip: opens the task menu
            device_.Tap(button_.left + device_.ScaleX(2), button_.top + device_.ScaleY(8));
            pen_down_ = false;
            break;
        }
    }

    void FindButton() {
        for (const sim::WindowInfo& w : device_.Windows())
            if (w.class_name == u"VeskClass") button_ = w.rect;
    }

    // The screen turns, or takes another size, at any moment: the pen down,
    // the menu open, vesk waiting on a hung application. Wherever it ends,
    // the button stands at the taskbar's new right end, as high as the bar.
    void Turn() {
        static const SIZE kSizes[] = {{240, 240}, {240, 320}, {480, 480}, {128, 160}, {640, 480}};
        if (in_.Chance(4)) {
            const SIZE& s = kSizes[in_.Range(0, int(std::size(kSizes)) - 1)];
            device_.SetDisplay(int(s.cx), int(s.cy));
        } else {
            device_.Rotate();
        }
        if (!device_.Running(vesk_)) return;
        FindButton();
        RECT bar{};
        for (const sim::WindowInfo& w : device_.Windows())
            if (w.hwnd == device_.taskbar()) bar = w.rect;
        const LONG right = bar.right - bar.left;
        if (button_.right != right || button_.left != right - device_.ScaleX(28) || button_.top != 0 ||
            button_.bottom != bar.bottom - bar.top)
            FailWithLog("after a turn to " + std::to_string(device_.config().width) + "x" +
                        std::to_string(device_.config().height) + " the button is at " + std::to_string(button_.left) +
                        "," + std::to_string(button_.top) + "," + std::to_string(button_.right) + "," +
                        std::to_string(button_.bottom));
    }

    void Trace(const char* what, POINT p) const {
        if (std::getenv("VESK_FUZZ_TRACE")) std::fprintf(stderr, "    %s %ld,%ld\n", what, long(p.x), long(p.y));
    }

    void ChooseFromMenu() {
        std::optional<sim::MenuView> menu = device_.OpenMenu();
        if (!menu || menu->items.empty()) return;
        const sim::MenuItemView& item = menu->items[size_t(in_.Range(0, int(menu->items.size()) - 1))];
        int x;
        switch (in_.Range(0, 2)) {
        case 0: x = item.rect.right - 1 - in_.Range(0, device_.ScaleX(20)); break;  // the close glyph's columns
        case 1: x = in_.Range(item.rect.left, item.rect.right - 1); break;
        default: x = (item.rect.left + item.rect.right) / 2; break;
        }
        int y = in_.Range(item.rect.top, item.rect.bottom - 1);
        device_.PenDown(x, y);
        if (in_.Chance(3)) {
            POINT p = Point();
            device_.PenMove(p.x, p.y);
            device_.PenMove(x, y);
        }
        device_.PenUp(x, y);
        pen_down_ = false;
    }

    void ReleaseHung() {
        for (int round = 0; round < 32 && device_.IsHung(); ++round)
            for (HWND hwnd : device_.Hung()) device_.Release(hwnd);
    }

    void CheckFlat() {
        if (!device_.Running(vesk_) || pen_down_ || device_.OpenMenu() || device_.IsHung()) return;
        sim::Counts now = device_.CountsOf(vesk_);
        if (!(now == baseline_))
            FailWithLog("vesk holds " + Describe(now) + ", after start-up " + Describe(baseline_));
    }

    void End() {
        if (pen_down_) device_.PenUp(0, device_.config().height - 1);
        ReleaseHung();
        if (device_.OpenMenu()) device_.Tap(0, device_.config().height - 1);
        ReleaseHung();
        if (!device_.Running(vesk_)) {
            CheckEnded(false);  // "E&xit": the button went with the process
            return;
        }
        CheckFlat();
        device_.Close(vesk_, u"VeskClass");
        ReleaseHung();
        if (device_.Running(vesk_)) Fail("vesk did not end after WM_CLOSE");
        CheckEnded(true);
    }

    // The end of the device's event log and its windows say what led there.
    [[noreturn]] void FailWithLog(const std::string& what) {
        const std::vector<std::string> log = device_.Log();
        for (size_t i = log.size() > 400 ? log.size() - 400 : 0; i < log.size(); ++i)
            std::fprintf(stderr, "  log: %s\n", log[i].c_str());
        for (const sim::WindowInfo& w : device_.Windows())
            std::fprintf(stderr, "  window: pid %lu class %s%s\n", (unsigned long)w.pid, sim::Narrow(w.class_name).c_str(),
                         w.visible ? " visible" : "");
        Fail(what);
    }

    void CheckEnded(bool button_destroyed) {
        auto code = device_.ExitCode(vesk_);
        if (!code || *code != 0) Fail("vesk ended with " + std::to_string(code.value_or(-1)));
        sim::Counts c = device_.Reclaimed(vesk_);
        long gdi = button_destroyed ? 1 : 2, icons = button_destroyed ? 0 : 1;
        if (c.heap != 0 || c.menus != 0 || c.snapshots != 0 || c.keys != 0 || c.handles > 1 || c.gdi > gdi ||
            c.icons > icons)
            Fail("vesk left behind " + Describe(c));
        for (const std::string& line : device_.Log()) {
            if (line.find("delete-selected") != std::string::npos) Fail(line);
            if (line.find("hook dangling") != std::string::npos) Fail(line);
        }
    }

    Input& in_;
    sim::Device device_;
    DWORD vesk_ = 0;
    sim::Counts baseline_{};
    RECT button_{};
    bool pen_down_ = false;
    int next_app_ = 0;
    std::vector<std::string> names_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 2048) return 0;
    Input in(data, size);
    const Screen& screen = kScreens[in.Range(0, int(std::size(kScreens)) - 1)];
    sim::DeviceConfig config;
    config.width = screen.width;
    config.height = screen.height;
    config.dpi = screen.dpi;
    config.taskbar = !in.Chance(12);
    config.desktop = !in.Chance(6);
    try {
        Session session(in, config);
        session.Play();
    } catch (const std::exception& e) {
        Fail(std::string("the device failed: ") + e.what());
    }
    return 0;
}
