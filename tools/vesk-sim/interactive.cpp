#include "interactive.h"

#include <cstdlib>
#include <filesystem>
#include <ostream>

#ifdef VESK_HAVE_SDL
#define SDL_MAIN_HANDLED
#include <SDL.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <utility>

#include "player.h"
#include "samples.h"
#include <sim/surface.h>
#include "vesk_image.h"
#endif

namespace vesk_sim {

#ifndef VESK_HAVE_SDL

int RunWindow(const Options&, std::ostream&, std::ostream& err, bool* no_display, const std::vector<uint8_t>*) {
    err << "vesk-sim: built without SDL2, so it has no window\n";
    *no_display = true;
    return 0;
}

#else

namespace {

namespace fs = std::filesystem;

constexpr Uint64 kFrameMs = 33;  // at most ~30 redraws a second

struct SdlVideo {
    ~SdlVideo() { SDL_Quit(); }
};
struct WindowFree {
    void operator()(SDL_Window* w) const { SDL_DestroyWindow(w); }
};
struct RendererFree {
    void operator()(SDL_Renderer* r) const { SDL_DestroyRenderer(r); }
};
struct TextureFree {
    void operator()(SDL_Texture* t) const { SDL_DestroyTexture(t); }
};

bool DisplayNamed() {
    for (const char* var : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* v = std::getenv(var);
        if (v && *v) return true;
    }
    return false;
}

class Session {
public:
    Session(const Options& o, std::ostream& out, std::ostream& err, SDL_Window* window, SDL_Renderer* renderer,
            SDL_Texture* texture, const std::vector<uint8_t>* cabinet)
        : options_(o), out_(out), err_(err), window_(window), renderer_(renderer), texture_(texture),
          device_(sim::DeviceConfig{.width = o.width, .height = o.height, .dpi = o.dpi, .dpi_y = o.dpi_y}), width_(o.width), height_(o.height) {
        if (cabinet) {
            std::string why;
            if (!device_.Install(*cabinet, &why)) throw std::runtime_error(o.install + ": " + why);
            std::vector<DWORD> started = device_.Reset(vesk_host::ImageFor);
            if (started.empty()) {
                out_ << "nothing started from \\Windows\\StartUp" << std::endl;
                reported_ = true;
            } else {
                vesk_ = started.front();
            }
            for (const sim::AppConfig& app : BootSamples()) device_.Launch(app);
        } else {
            for (const sim::AppConfig& app : BootSamples()) device_.Launch(app);
            vesk_ = vesk_host::StartVesk(device_);
        }
        frame_.resize(size_t(o.width) * size_t(o.height));
    }

    int Run() {
        last_tick_ = SDL_GetTicks64();
        bool running = true;
        bool dirty = true;
        Uint64 last_present = 0;
        while (running) {
            SDL_Event e;
            if (SDL_WaitEventTimeout(&e, int(kFrameMs))) {
                do {
                    Tick();
                    running = Handle(e, &dirty);
                } while (running && SDL_PollEvent(&e));
            }
            Tick();
            NoteVeskEnd();
            Uint64 now = SDL_GetTicks64();
            if (now - last_present >= kFrameMs) {
                if (Refresh() || dirty) Present();
                dirty = false;
                last_present = now;
            }
        }
        return End();
    }

private:
    // The virtual clock follows real time, so timers (the 200 ms press) run as on a device.
    void Tick() {
        Uint64 now = SDL_GetTicks64();
        Uint64 elapsed = std::min<Uint64>(now - last_tick_, 1000);
        last_tick_ = now;
        if (elapsed > 0) device_.Wait(elapsed);
    }

    POINT ToDevice(int x, int y) const {
        int zoom = options_.Zoom();
        return POINT{std::clamp(x / zoom, 0, width_ - 1), std::clamp(y / zoom, 0, height_ - 1)};
    }

    bool Handle(const SDL_Event& e, bool* dirty) {
        switch (e.type) {
        case SDL_QUIT: return false;
        case SDL_KEYDOWN:
            if (e.key.keysym.sym == SDLK_ESCAPE) return false;
            if (e.key.keysym.sym == SDLK_n && !e.key.repeat) LaunchAnother();
            if (e.key.keysym.sym == SDLK_s && !e.key.repeat) SaveScreenshot();
            if (e.key.keysym.sym == SDLK_r && !e.key.repeat && !pen_) Rotate(dirty);
            return true;
        case SDL_MOUSEBUTTONDOWN:
            if (e.button.button == SDL_BUTTON_LEFT && !pen_) {
                POINT p = ToDevice(e.button.x, e.button.y);
                pen_ = true;
                device_.PenDown(p.x, p.y);
            }
            return true;
        case SDL_MOUSEMOTION:
            if (pen_) {
                POINT p = ToDevice(e.motion.x, e.motion.y);
                device_.PenMove(p.x, p.y);
            }
            return true;
        case SDL_MOUSEBUTTONUP:
            if (e.button.button == SDL_BUTTON_LEFT && pen_) {
                POINT p = ToDevice(e.button.x, e.button.y);
                pen_ = false;
                device_.PenUp(p.x, p.y);
            }
            return true;
        case SDL_WINDOWEVENT:
            if (e.window.event == SDL_WINDOWEVENT_EXPOSED || e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED)
                *dirty = true;
            return true;
        default: return true;
        }
    }

    // The device's screen turns and the window turns with it.
    void Rotate(bool* dirty) {
        SDL_Texture* texture = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING,
                                                 height_, width_);
        if (!texture) {
            err_ << "vesk-sim: cannot draw a turned screen: " << SDL_GetError() << std::endl;
            return;
        }
        turned_.reset(texture);
        texture_ = texture;
        device_.Rotate();
        std::swap(width_, height_);
        SDL_SetWindowSize(window_, width_ * options_.Zoom(), height_ * options_.Zoom());
        frame_.assign(size_t(width_) * size_t(height_), 0);
        out_ << "screen " << width_ << "x" << height_ << std::endl;
        *dirty = true;
    }

    void LaunchAnother() {
        sim::AppConfig app = ExtraSample(extra_++);
        if (device_.Launch(app)) out_ << "launched " << app.name << std::endl;
    }

    void SaveScreenshot() {
        std::error_code ec;
        fs::create_directories(options_.out, ec);
        fs::path path;
        std::string name;
        do {
            char buf[32];
            std::snprintf(buf, sizeof buf, "screenshot-%03d.png", ++shots_);
            name = buf;
            path = options_.out / name;
        } while (fs::exists(path, ec) && shots_ < 100000);
        std::string why;
        if (!device_.Screenshot(path.string(), &why)) {
            err_ << "vesk-sim: cannot write " << path.string() << ": " << why << std::endl;
            return;
        }
        device_.Note("shot " + name);
        out_ << "screenshot: " << path.string() << std::endl;
    }

    // Copies the composed screen into the frame; true if anything changed.
    bool Refresh() {
        const sim::Surface& screen = device_.Screen();
        bool changed = false;
        for (size_t i = 0; i < frame_.size() && i < screen.pixels.size(); ++i) {
            COLORREF c = screen.pixels[i];
            Uint32 argb = 0xFF000000u | (Uint32(GetRValue(c)) << 16) | (Uint32(GetGValue(c)) << 8) | GetBValue(c);
            if (frame_[i] != argb) {
                frame_[i] = argb;
                changed = true;
            }
        }
        return changed;
    }

    void Present() {
        SDL_UpdateTexture(texture_, nullptr, frame_.data(), width_ * int(sizeof(Uint32)));
        SDL_RenderClear(renderer_);
        SDL_RenderCopy(renderer_, texture_, nullptr, nullptr);
        SDL_RenderPresent(renderer_);
    }

    void NoteVeskEnd() {
        if (reported_ || device_.Running(vesk_)) return;
        reported_ = true;
        out_ << "vesk exited with code " << device_.ExitCode(vesk_).value_or(-1) << std::endl;
    }

    // An open task menu is dismissed the way a person would: with a tap outside it.
    void DismissMenu() {
        std::optional<sim::MenuView> menu = device_.OpenMenu();
        if (!menu) return;
        const int w = width_, h = height_;
        for (POINT p : {POINT{0, h - 1}, POINT{w - 1, h - 1}, POINT{0, 0}}) {
            const RECT& r = menu->rect;
            if (p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom) continue;
            device_.Tap(p.x, p.y);
            return;
        }
    }

    int End() {
        int code = kExitOk;
        if (device_.Running(vesk_)) {
            DismissMenu();
            device_.Close(vesk_, u"VeskClass");
            if (device_.Running(vesk_)) {
                err_ << "vesk-sim: vesk did not end"
                     << (device_.IsHung() ? ": it waits for a hung application" : "") << std::endl;
                code = kExitScript;
            }
        }
        NoteVeskEnd();
        std::error_code ec;
        fs::create_directories(options_.out, ec);
        fs::path log = options_.out / "events.log";
        std::string why;
        if (WriteLines(log, device_.Log(), &why)) {
            out_ << "event log: " << log.string() << std::endl;
        } else {
            err_ << "vesk-sim: " << why << std::endl;
            code = kExitScript;
        }
        return code;
    }

    const Options& options_;
    std::ostream& out_;
    std::ostream& err_;
    SDL_Window* window_;
    SDL_Renderer* renderer_;
    SDL_Texture* texture_;
    std::unique_ptr<SDL_Texture, TextureFree> turned_;  // the texture after a rotation
    sim::Device device_;
    int width_;
    int height_;
    DWORD vesk_ = 0;
    std::vector<Uint32> frame_;
    Uint64 last_tick_ = 0;
    bool pen_ = false;
    bool reported_ = false;
    int extra_ = 0;
    int shots_ = 0;
};

}  // namespace

int RunWindow(const Options& o, std::ostream& out, std::ostream& err, bool* no_display,
              const std::vector<uint8_t>* cabinet) {
    *no_display = false;
    if (!DisplayNamed()) {
        *no_display = true;
        return 0;
    }
    SDL_SetMainReady();
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        err << "vesk-sim: cannot open the display: " << SDL_GetError() << '\n';
        *no_display = true;
        return 0;
    }
    SdlVideo video;
    const int zoom = o.Zoom();
    std::string title = "vesk-sim \xE2\x80\x94 Pocket PC " + std::to_string(o.width) + "x" + std::to_string(o.height) +
                        ", " + std::to_string(o.dpi) + (o.dpi_y ? "x" + std::to_string(o.dpi_y) : "") + " dpi";
    std::unique_ptr<SDL_Window, WindowFree> window(SDL_CreateWindow(
        title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, o.width * zoom, o.height * zoom, 0));
    if (!window) {
        err << "vesk-sim: cannot open a window: " << SDL_GetError() << '\n';
        *no_display = true;
        return 0;
    }
    std::unique_ptr<SDL_Renderer, RendererFree> renderer(SDL_CreateRenderer(window.get(), -1, 0));
    if (!renderer) renderer.reset(SDL_CreateRenderer(window.get(), -1, SDL_RENDERER_SOFTWARE));
    if (!renderer) {
        err << "vesk-sim: cannot draw into the window: " << SDL_GetError() << '\n';
        return kExitScript;
    }
    std::unique_ptr<SDL_Texture, TextureFree> texture(SDL_CreateTexture(
        renderer.get(), SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, o.width, o.height));
    if (!texture) {
        err << "vesk-sim: cannot draw into the window: " << SDL_GetError() << '\n';
        return kExitScript;
    }
    Session session(o, out, err, window.get(), renderer.get(), texture.get(), cabinet);
    out << title << ": the mouse is the pen; n launches another application, s saves a screenshot, "
        << "r turns the screen, Escape ends vesk" << std::endl;
    return session.Run();
}

#endif

}  // namespace vesk_sim
