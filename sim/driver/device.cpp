// The driver's API over the machine.
#include <sim/device.h>

#include <stdexcept>

#include "core.h"
#include "gdi.h"
#include "registry.h"
#include "shell.h"

namespace sim {

namespace {

std::vector<uint8_t> DwordBytes(DWORD v) {
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 24)};
}

bool ScreenSizeFits(int width, int height) { return width > 0 && height > 0 && width <= 4096 && height <= 4096; }

struct ImageSlot {
    Image image;
};

}  // namespace

Device::Device(const DeviceConfig& config) : config_(config), machine_(std::make_unique<Machine>()) {
    if (MaybeM()) throw std::logic_error("only one simulated device can be on at a time");
    if (!ScreenSizeFits(config.width, config.height) || config.dpi <= 0 || config.dpi > 960 || config.dpi_y < 0 ||
        config.dpi_y > 960)
        throw std::invalid_argument("device size or resolution out of range");
    Machine& m = *machine_;
    m.width = config.width;
    m.height = config.height;
    m.dpi_x = config.dpi;
    m.dpi_y = config.dpi_y ? config.dpi_y : config.dpi;
    m.taskbar_height = config.taskbar_height >= 0 ? config.taskbar_height : m.ScaleY(26);
    m.screen_scratch.Resize(m.width, m.height);
    SetCurrentMachine(&m);
    gdi::InitStock();
    shell::Boot(config);
}

Device::~Device() {
    KillAll();
    SetCurrentMachine(nullptr);
}

int Device::ScaleX(int n) const { return machine_->ScaleX(n); }
int Device::ScaleY(int n) const { return machine_->ScaleY(n); }

HWND Device::taskbar() const { return machine_->taskbar; }
HWND Device::desktop() const { return machine_->desktop; }
DWORD Device::shell_pid() const { return machine_->shell ? machine_->shell->pid : 0; }
void Device::Notify() { shell::Notify(); }

void Device::Rotate() { SetDisplay(config_.height, config_.width); }

void Device::SetDisplay(int width, int height) {
    if (!ScreenSizeFits(width, height)) throw std::invalid_argument("screen size out of range");
    config_.width = width;
    config_.height = height;
    shell::ChangeDisplay(width, height);
}

HWND Device::Launch(const AppConfig& app) { return shell::Launch(app); }
HWND Device::Find(const std::string& name) const { return shell::FindApp(name); }

void Device::Activate(HWND hwnd) {
    Window* w = WinOf(hwnd);
    if (!w) return;
    HWND top = TopLevelOf(hwnd);
    if (!(WinOf(top)->style & WS_VISIBLE)) {
        WinOf(top)->style |= WS_VISIBLE;
        Invalidate(WinOf(top), nullptr, true);
    }
    BringToTop(top);
    SetForeground(top);
    sim::RunUntilIdle();
}

void Device::Release(HWND hwnd) { ReleaseHung(hwnd); }

void Device::Destroy(HWND hwnd) {
    Window* w = WinOf(hwnd);
    if (!w) return;
    RunAs(w->thread, [&] { return DestroyWindow(hwnd); });
    sim::RunUntilIdle();
}

void Device::SetTitle(HWND hwnd, const sim::WString& title) {
    Window* w = WinOf(hwnd);
    if (!w) return;
    RunAs(w->thread, [&] { return SetWindowTextW(hwnd, title.c_str()); });
    Invalidate(w, nullptr, true);
    sim::RunUntilIdle();
}

const std::vector<ReceivedMessage>& Device::Received(HWND hwnd) const {
    static const std::vector<ReceivedMessage> kNone;
    auto it = machine_->received.find(hwnd);
    return it == machine_->received.end() ? kNone : it->second;
}

void Device::ClearReceived(HWND hwnd) {
    machine_->received.erase(hwnd);
}

std::optional<MenuView> Device::OpenMenu() const { return TrackedMenu(); }

bool Device::ShowMenuItem(int position) {
    for (;;) {
        std::optional<MenuView> view = OpenMenu();
        if (!view || position < 0 || size_t(position) >= view->items.size()) return false;
        if (view->items[size_t(position)].in_view) return true;
        // Tapped as a user taps it. A gray arrow ends the search, and so does
        // a tap that did not scroll (the menu's thread is stuck elsewhere).
        bool down = position >= view->first;
        if (!(down ? view->can_scroll_down : view->can_scroll_up)) return false;
        const RECT& arrow = down ? view->down : view->up;
        Tap((arrow.left + arrow.right) / 2, (arrow.top + arrow.bottom) / 2);
        std::optional<MenuView> now = OpenMenu();
        if (!now || now->first == view->first) return false;
    }
}

bool Device::IsHung() const {
    for (auto& [tid, t] : machine_->threads)
        if (t->real && t->state == Thread::State::WaitRelease) return true;
    return false;
}

DWORD Device::Start(const ProgramImage& program) {
    // The machine keeps the image for as long as processes may run it.
    auto slot = std::make_shared<ImageSlot>();
    slot->image.exe_path = program.exe_path;
    slot->image.resources = program.resources;
    slot->image.entry = program.entry;
    slot->image.reset = program.reset;
    slot->image.private_heap = program.private_heap;
    slot->image.loaded = program.loaded;
    slot->image.data = program.data;
    // Every instance of one image shares its module handle, as on the device.
    slot->image.instance = ToHandle<HINSTANCE>(program.instance);
    images_.push_back(slot);
    Process* p = StartImage(slot->image);
    return p->pid;
}

bool Device::Running(DWORD pid) const {
    Process* p = FindProcess(pid);
    return p && p->alive;
}

std::optional<int> Device::ExitCode(DWORD pid) const {
    Process* p = FindProcess(pid);
    if (!p || p->alive) return std::nullopt;
    return p->exit_code;
}

void Device::Close(DWORD pid, const sim::WString& class_name) {
    for (Object* o : machine_->handles.OfOwner(pid)) {
        if (o->kind != Kind::Window) continue;
        auto* w = static_cast<Window*>(o);
        if (w->cls->name == class_name) {
            HWND h = w->hwnd();
            RunAs(machine_->shell->threads.front(), [&] { return PostTo(h, WM_CLOSE, 0, 0); });
            break;
        }
    }
    sim::RunUntilIdle();
}

void Device::PenDown(int x, int y) { sim::PenDown(x, y); }
void Device::PenMove(int x, int y) { sim::PenMove(x, y); }
void Device::PenUp(int x, int y) { sim::PenUp(x, y); }
void Device::Tap(int x, int y) {
    sim::PenDown(x, y);
    sim::PenUp(x, y);
}
void Device::Wait(uint64_t ms) { Advance(ms); }
uint64_t Device::Now() const { return machine_->now; }
void Device::RunUntilIdle() { sim::RunUntilIdle(); }

std::vector<WindowInfo> Device::Windows() const {
    std::vector<WindowInfo> out;
    std::function<void(HWND)> add = [&](HWND h) {
        Window* w = WinOf(h);
        if (!w) return;
        WindowInfo info;
        info.hwnd = h;
        info.name = sim::NameOf(h);
        info.class_name = w->cls->name;
        info.title = w->title;
        info.rect = w->rect;
        info.parent = w->parent;
        info.owner = w->owner;
        info.visible = IsShown(w);
        info.pid = w->owner_pid;
        info.style = w->style;
        info.exstyle = w->exstyle;
        info.proc = w->proc;
        info.needs_paint = w->has_update;
        out.push_back(std::move(info));
        for (HWND c : w->children) add(c);
    };
    for (HWND h : machine_->zorder) add(h);
    return out;
}

std::optional<WindowInfo> Device::Info(HWND hwnd) const {
    if (!WinOf(hwnd)) return std::nullopt;
    for (WindowInfo& info : Windows())
        if (info.hwnd == hwnd) return std::move(info);
    return std::nullopt;
}

Surface Device::Pixels(HWND hwnd) const {
    Window* w = WinOf(hwnd);
    return w ? w->surface : Surface{};
}

std::vector<HWND> Device::Hung() const {
    std::vector<HWND> out;
    for (auto& [tid, t] : machine_->threads)
        if (t->hung && t->hung_window) out.push_back(t->hung_window);
    return out;
}

HWND Device::Foreground() const { return machine_->foreground; }
HWND Device::Capture() const { return machine_->capture; }
std::string Device::NameOf(HWND hwnd) const { return sim::NameOf(hwnd); }
Counts Device::CountsOf(DWORD pid) const { return CountObjects(pid); }
int Device::ThreadPriority(DWORD pid) const {
    Process* p = FindProcess(pid);
    return p && !p->threads.empty() ? p->threads.front()->priority : THREAD_PRIORITY_ERROR_RETURN;
}
Counts Device::Reclaimed(DWORD pid) const {
    Process* p = FindProcess(pid);
    return p ? p->reclaimed : Counts{};
}

long Device::Allocations(DWORD pid) const {
    Process* p = FindProcess(pid);
    return p ? p->heap_allocations : 0;
}

const Surface& Device::Screen() {
    screen_ = std::make_unique<Surface>(Compose());
    return *screen_;
}

bool Device::Screenshot(const std::string& path, std::string* error) { return WritePng(Screen(), path, error); }

COLORREF Device::PixelAt(int x, int y) { return Screen().At(x, y); }

void Device::SetDword(HKEY root, const sim::WString& key, const sim::WString& name, DWORD value) {
    reg::Set(root, key, name, REG_DWORD, DwordBytes(value));
}
void Device::SetBinary(HKEY root, const sim::WString& key, const sim::WString& name, const std::vector<uint8_t>& data) {
    reg::Set(root, key, name, REG_BINARY, data);
}
void Device::DeleteValue(HKEY root, const sim::WString& key, const sim::WString& name) { reg::Delete(root, key, name); }
void Device::DeleteKey(HKEY root, const sim::WString& key) { reg::DeleteKey(root, key); }
bool Device::KeyExists(HKEY root, const sim::WString& key) const { return reg::KeyExists(root, key); }
bool Device::ValueExists(HKEY root, const sim::WString& key, const sim::WString& name) const {
    return reg::ValueExists(root, key, name);
}

void Device::AddFileIcon(const sim::WString& path, const std::vector<uint8_t>& ico_file) {
    shell::AddFileIcon(path, ico_file);
}

void Device::StoreFile(const sim::WString& path, const std::vector<uint8_t>& data) { shell::StoreFile(path, data); }

std::optional<std::vector<uint8_t>> Device::StoredFile(const sim::WString& path) const {
    const std::vector<uint8_t>* data = shell::StoredFile(path);
    if (!data) return std::nullopt;
    return *data;
}

std::vector<sim::WString> Device::StoredFiles() const { return shell::StoredFiles(u""); }

bool Device::Install(const std::vector<uint8_t>& cabinet, std::string* error) {
    std::string why;
    bool ok = shell::Install(cabinet, &why);
    if (error) *error = why;
    return ok;
}

std::vector<DWORD> Device::Reset(const ImageFor& image_for) {
    sim::Log("reset");
    SoftReset();
    shell::Boot(config_);
    std::vector<DWORD> started;
    for (const auto& [file, target] : shell::StartUpShortcuts()) {
        std::string line = "startup " + Narrow(file) + " -> " + Narrow(target);
        std::optional<ProgramImage> image;
        const std::vector<uint8_t>* bytes = shell::StoredFile(target);
        std::string why;
        if (!bytes) line += ": there is no such file";
        else if (!(image = image_for(target, *bytes, &why)))
            line += ": " + (why.empty() ? std::string("the simulator has no program image for it") : why);
        sim::Log(line);
        if (image) started.push_back(Start(*image));
    }
    return started;
}

void Device::FailCall(const std::string& api, int nth, int count) { machine_->faults.Arm(api, nth, count); }
void Device::FailAllocation(long nth, long count) { machine_->faults.ArmAllocation(nth, count); }
void Device::ClearFaults() { machine_->faults.Clear(); }
const std::map<std::string, long>& Device::CallCounts() const { return machine_->faults.Calls(); }
long Device::FaultsMade() const { return machine_->faults.Failed(); }

const std::vector<std::string>& Device::Log() const { return machine_->log; }
void Device::Note(const std::string& text) { sim::Log(text); }
void Device::OnLog(std::function<void(const std::string&)> sink) { machine_->log_sink = std::move(sink); }

void Device::LogDump() {
    auto rect = [](const RECT& r) {
        return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
               std::to_string(r.bottom);
    };
    for (const WindowInfo& w : Windows()) {
        sim::Log("window class=\"" + Narrow(w.class_name) + "\" title=\"" + Narrow(w.title) + "\" rect=" +
                 rect(w.rect) + " parent=" + (w.parent ? sim::NameOf(w.parent) : std::string("none")) +
                 " visible=" + (w.visible ? "1" : "0") + " pid=" + std::to_string(w.pid));
    }
    for (auto& [pid, p] : machine_->processes) {
        if (!p->alive) continue;
        Counts c = CountObjects(pid);
        sim::Log("objects pid=" + std::to_string(pid) + " gdi=" + std::to_string(c.gdi) +
                 " icons=" + std::to_string(c.icons) + " handles=" + std::to_string(c.handles + c.snapshots) +
                 " menus=" + std::to_string(c.menus) + " heap=" + std::to_string(c.heap));
    }
}

namespace detail {
int& TlsApiDepth();
}

Bookkeeping::Bookkeeping() { ++detail::TlsApiDepth(); }
Bookkeeping::~Bookkeeping() { --detail::TlsApiDepth(); }

}  // namespace sim
