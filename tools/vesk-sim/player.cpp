// The script player over the driver API.
#include "player.h"

#include <algorithm>
#include <fstream>
#include <ostream>

#include "text_util.h"
#include "vesk_image.h"

namespace vesk_sim {

namespace {

namespace fs = std::filesystem;

// A command that did not go as the script says; ends the play.
struct Stop {
    int code;
    std::string message;
};

std::string Hex(COLORREF c) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%06X", static_cast<unsigned>(c & 0xFFFFFF));
    return buf;
}

bool Inside(const RECT& r, int x, int y) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; }

class Player {
public:
    Player(const Script& script, const fs::path& out, PlayResult& result, const Loader& files)
        : script_(script), out_(out), result_(result), files_(files), device_(script.device) {}

    void Run() {
        for (const Command& cmd : script_.commands) {
            where_ = cmd.file + ":" + std::to_string(cmd.line) + ": ";
            line_ = cmd.line;
            try {
                std::visit([&](const auto& action) { Do(action); }, cmd.action);
            } catch (const Stop&) {
                throw;
            } catch (const std::exception& e) {
                throw Stop{kExitScript, where_ + "the simulated device failed: " + e.what()};
            }
        }
        where_ = script_.file + ":" + std::to_string(script_.last_line) + ": at the end of the script, ";
        if (!RunningVesk().empty()) QuitVesk();
    }

    void Finish() { result_.log = device_.Log(); }

private:
    [[noreturn]] void Error(const std::string& message) { throw Stop{kExitScript, where_ + message}; }
    [[noreturn]] void Failed(const std::string& message) { throw Stop{kExitExpectation, where_ + message}; }

    HWND Window(const std::string& command, const std::string& name) {
        HWND h = device_.Find(name);
        if (!h) Error(command + ": there is no window named \"" + name + "\"");
        return h;
    }

    std::vector<DWORD> RunningVesk() const {
        std::vector<DWORD> out;
        for (DWORD pid : vesk_)
            if (device_.Running(pid)) out.push_back(pid);
        return out;
    }

    void Do(const RegCmd& r) {
        switch (r.kind) {
        case RegCmd::Kind::Dword: device_.SetDword(r.root, r.key, r.name, r.value); break;
        case RegCmd::Kind::Binary: device_.SetBinary(r.root, r.key, r.name, r.bytes); break;
        case RegCmd::Kind::Delete: device_.DeleteValue(r.root, r.key, r.name); break;
        }
    }
    void Do(const ThemeCmd& t) {
        device_.SetDword(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Color", u"8", t.back);
        device_.SetDword(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Color", u"9", t.fore);
    }
    void Do(const AppCmd& a) {
        if (device_.Find(a.app.name)) Error("app: a window named \"" + a.app.name + "\" is already running");
        if (!a.app.owner.empty() && !device_.Find(a.app.owner))
            Error("app: the owner \"" + a.app.owner + "\" is not a running application");
        if (!device_.Launch(a.app)) Error("app: the device could not create \"" + a.app.name + "\"");
    }
    void Do(const ActivateCmd& a) { device_.Activate(Window("activate", a.name)); }
    void Do(const ReleaseCmd& r) { device_.Release(Window("release", r.name)); }
    void Do(const StartCmd&) { vesk_.push_back(vesk_host::StartVesk(device_)); }
    void Do(const PenCmd& p) {
        switch (p.kind) {
        case PenCmd::Kind::Down: device_.PenDown(p.x, p.y); break;
        case PenCmd::Kind::Move: device_.PenMove(p.x, p.y); break;
        case PenCmd::Kind::Up: device_.PenUp(p.x, p.y); break;
        case PenCmd::Kind::Tap: device_.Tap(p.x, p.y); break;
        }
    }
    void Do(const WaitCmd& w) { device_.Wait(w.ms); }
    void Do(const NotifyCmd&) { device_.Notify(); }
    void Do(const RotateCmd&) { device_.Rotate(); }
    void Do(const ExeCmd& e) {
        std::string why;
        if (!vesk_host::UseExecutable(e.file, &why)) Error("exe: " + why);
    }
    void Do(const DisplayCmd& d) { device_.SetDisplay(d.width, d.height); }
    void Do(const DumpCmd&) { device_.LogDump(); }
    void Do(const InstallCmd& i) {
        std::string why;
        std::optional<std::string> bytes = files_(i.path, &why);
        if (!bytes) Error("install: cannot read " + i.path + ": " + why);
        if (!device_.Install(std::vector<uint8_t>(bytes->begin(), bytes->end()), &why))
            Error("install: " + i.file + ": " + why);
    }
    // What the shell starts from \Windows\StartUp is vesk (vesk_host::ImageFor
    // has no other image).
    void Do(const ResetCmd&) {
        for (DWORD pid : device_.Reset(vesk_host::ImageFor)) vesk_.push_back(pid);
    }
    void Do(const ShotCmd& s) {
        fs::path path = out_ / s.file;
        std::error_code ec;
        fs::create_directories(path.parent_path(), ec);
        std::string why;
        if (ec || !device_.Screenshot(path.string(), &why))
            Error("shot: cannot write " + path.string() + ": " + (ec ? ec.message() : why));
        device_.Note("shot " + s.file);
        result_.shots.push_back(ShotRecord{s.file, path, s.caption, line_});
    }
    void Do(const QuitCmd&) {
        if (RunningVesk().empty()) Error("quit: vesk is not running");
        QuitVesk();
    }
    void Do(const MenuTapCmd& m) {
        std::optional<sim::MenuView> menu = device_.OpenMenu();
        if (!menu) Error("menu-tap: no popup menu is open");
        if (size_t(m.position) >= menu->items.size())
            Error("menu-tap: the open menu has " + std::to_string(menu->items.size()) + " items (positions 0.." +
                  std::to_string(int(menu->items.size()) - 1) + "), there is no position " + std::to_string(m.position));
        if (!menu->items[size_t(m.position)].in_view) {
            // Scrolled into view with the arrows first, as a user would.
            if (!device_.ShowMenuItem(m.position))
                Error("menu-tap: the scroll arrows cannot bring item " + std::to_string(m.position) +
                      " whole into view");
            menu = device_.OpenMenu();
            if (!menu) Error("menu-tap: the popup menu closed while it scrolled");
        }
        const RECT& r = menu->items[size_t(m.position)].rect;
        int x = m.at ? *m.at : r.left + (r.right - r.left) / 2;
        int y = r.top + (r.bottom - r.top) / 2;
        device_.Tap(x, y);
    }
    void Do(const MenuScrollCmd& m) {
        for (int i = 0; i < m.times; ++i) {
            std::optional<sim::MenuView> menu = device_.OpenMenu();
            if (!menu) Error("menu-scroll: no popup menu is open");
            if (!menu->scrolls) Error("menu-scroll: the open menu fits on the screen and has no scroll arrows");
            const RECT& r = m.down ? menu->down : menu->up;
            device_.Tap(r.left + (r.right - r.left) / 2, r.top + (r.bottom - r.top) / 2);
        }
    }
    void Do(const MenuDismissCmd&) {
        std::optional<sim::MenuView> menu = device_.OpenMenu();
        if (!menu) Error("menu-dismiss: no popup menu is open");
        const int w = device_.config().width, h = device_.config().height;
        const POINT corners[] = {{0, h - 1}, {w - 1, h - 1}, {0, 0}, {w - 1, 0}};
        for (const POINT& p : corners) {
            if (!Inside(menu->rect, p.x, p.y)) {
                device_.Tap(p.x, p.y);
                return;
            }
        }
        Error("menu-dismiss: the popup covers the whole screen");
    }
    void Do(const ExpectCmd& e) {
        const std::vector<std::string>& log = device_.Log();
        for (size_t i = cursor_; i < log.size(); ++i) {
            if (log[i].find(e.text) == std::string::npos) continue;
            if (e.negated) Failed("expected no line containing \"" + e.text + "\", found:\n    " + log[i]);
            cursor_ = i + 1;
            return;
        }
        if (e.negated) return;
        Failed("expected a line containing \"" + e.text + "\"; " + Seen(log));
    }
    std::string Seen(const std::vector<std::string>& log) const {
        const size_t kShown = 30;
        size_t n = log.size() - std::min(cursor_, log.size());
        if (n == 0) return "no line was logged since the previous match";
        std::string out = "the lines logged since the previous match:";
        size_t from = log.size() - std::min(n, kShown);
        if (n > kShown) out += "\n    ... (" + std::to_string(n - kShown) + " earlier lines)";
        for (size_t i = from; i < log.size(); ++i) out += "\n    " + log[i];
        return out;
    }
    void Do(const ExpectPixelCmd& e) {
        COLORREF found = device_.PixelAt(e.x, e.y) & 0xFFFFFF;
        if (found != e.colour)
            Failed("expected pixel " + std::to_string(e.x) + "," + std::to_string(e.y) + " to be " + Hex(e.colour) +
                   " (0xBBGGRR), found " + Hex(found));
    }
    void Do(const ExpectWindowCmd& e) {
        HWND h = device_.Find(e.name);
        if (e.gone) {
            if (h) Failed("expected the window \"" + e.name + "\" to be gone, it is still there");
            return;
        }
        if (!h) Failed("expected the window \"" + e.name + "\", there is none");
        bool visible = false;
        for (const sim::WindowInfo& w : device_.Windows())
            if (w.hwnd == h) visible = w.visible;
        if (e.visible && *e.visible != visible)
            Failed("expected the window \"" + e.name + "\" to be " + (*e.visible ? "visible" : "hidden") + ", it is " +
                   (visible ? "visible" : "hidden"));
        if (e.foreground && device_.Foreground() != h) {
            HWND front = device_.Foreground();
            Failed("expected the window \"" + e.name + "\" in front; in front is " +
                   (front ? device_.NameOf(front) : std::string("no window")));
        }
    }
    void Do(const ExpectCountsCmd& e) {
        DWORD pid = 0;
        if (e.name == "vesk") {
            std::vector<DWORD> running = RunningVesk();
            if (running.empty()) Failed("expected counts of vesk, but vesk is not running");
            pid = running.front();
        } else {
            HWND h = device_.Find(e.name);
            if (!h) Failed("expected counts of the window \"" + e.name + "\"'s process, there is no such window");
            for (const sim::WindowInfo& w : device_.Windows())
                if (w.hwnd == h) pid = w.pid;
        }
        sim::Counts c = device_.CountsOf(pid);
        struct Row {
            const char* key;
            const std::optional<long>& want;
            long have;
        };
        const Row rows[] = {{"gdi", e.gdi, c.gdi},
                            {"icons", e.icons, c.icons},
                            {"menus", e.menus, c.menus},
                            {"handles", e.handles, c.handles + c.snapshots},
                            {"heap", e.heap, c.heap}};
        std::string wanted, found;
        bool ok = true;
        for (const Row& r : rows) {
            if (!r.want) continue;
            wanted += std::string(wanted.empty() ? "" : " ") + r.key + "=" + std::to_string(*r.want);
            found += std::string(found.empty() ? "" : " ") + r.key + "=" + std::to_string(r.have);
            if (*r.want != r.have) ok = false;
        }
        if (!ok) Failed("expected counts " + wanted + " for " + e.name + " (pid " + std::to_string(pid) + "), found " + found);
    }

    void QuitVesk() {
        for (DWORD pid : RunningVesk()) {
            device_.Close(pid, u"VeskClass");
            if (!device_.Running(pid)) continue;
            if (device_.IsHung())
                Error("quit: vesk did not end: it waits for a hung application (let it answer with `release NAME`)");
            if (device_.OpenMenu()) Error("quit: vesk did not end: its popup menu is still open");
            Error("quit: vesk did not end after WM_CLOSE to its button");
        }
    }

    const Script& script_;
    fs::path out_;
    PlayResult& result_;
    const Loader& files_;
    sim::Device device_;
    std::vector<DWORD> vesk_;
    size_t cursor_ = 0;  // the log line after the last one an `expect` matched
    std::string where_;
    int line_ = 0;
};

}  // namespace

bool WriteLines(const fs::path& path, const std::vector<std::string>& lines, std::string* error) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (const std::string& line : lines) out << line << '\n';
    out.flush();
    if (!out) {
        if (error) *error = "cannot write " + path.string();
        return false;
    }
    return true;
}

PlayResult Play(const Script& script, const fs::path& out_dir, std::ostream& err, const Loader& files) {
    PlayResult result;
    result.device = script.device;
    auto fail = [&](int code, const std::string& message) {
        result.exit_code = code;
        result.message = message;
        err << message << '\n';
    };
    std::error_code ec;
    fs::create_directories(out_dir, ec);
    if (ec || !fs::is_directory(out_dir)) {
        fail(kExitScript, "vesk-sim: cannot create the output folder " + out_dir.string() +
                              (ec ? ": " + ec.message() : ""));
        return result;
    }
    result.log_path = out_dir / "events.log";
    try {
        Player player(script, out_dir, result, files);
        try {
            player.Run();
        } catch (const Stop& stop) {
            fail(stop.code, stop.message);
        }
        player.Finish();
    } catch (const std::exception& e) {
        fail(kExitScript, script.file + ": the simulated device failed: " + e.what());
    }
    std::string why;
    if (!WriteLines(result.log_path, result.log, &why) && result.exit_code == kExitOk)
        fail(kExitScript, "vesk-sim: " + why);
    return result;
}

}  // namespace vesk_sim
