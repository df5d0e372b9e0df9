// The screen turns under vesk. After every turn the button stands at the
// taskbar's new right end, the whole screen is pixel for pixel the screen of
// a device booted in that size (so the face's standard or compact layout
// follows the width), the task menu opens right-aligned below the button,
// and vesk holds exactly what it held before the first turn.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include <unistd.h>

#include "program.h"

namespace fs = std::filesystem;

namespace {

struct Size {
    int width = 0;
    int height = 0;
};

struct Case {
    const char* name;
    Size boot;
    int dpi = 96;
    bool turn_before_start = false;  // the first turn comes before vesk starts
    std::vector<Size> turns;
};
// Named by its name: the bytes gtest would print hold the padding.
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

const Case kCases[] = {
    {"Portrait96", {240, 320}, 96, false, {{320, 240}, {240, 320}, {320, 240}, {240, 320}}},
    {"Portrait192", {480, 640}, 192, false, {{640, 480}, {480, 640}}},
    {"Landscape96", {320, 240}, 96, false, {{240, 320}, {320, 240}}},
    {"Square", {240, 240}, 96, false, {{240, 240}, {240, 320}, {240, 240}}},
    // 120 pixels wide the face is compact, 160 wide standard.
    {"CompactSwitch", {120, 320}, 96, false, {{160, 320}, {120, 320}}},
    {"BeforeStart", {240, 320}, 96, true, {{320, 240}, {240, 320}}},
};

void LaunchApps(sim::Device& device) {
    device.Launch(sim::AppConfig{.name = "notes"});
    device.Launch(sim::AppConfig{.name = "word"});
}

RECT ButtonRect(const sim::Device& device) {
    for (const sim::WindowInfo& w : device.Windows())
        if (w.class_name == u"VeskClass") return w.rect;
    return RECT{};
}

std::string Bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string Shot(sim::Device& device, const fs::path& path) {
    std::string why;
    EXPECT_TRUE(device.Screenshot(path.string(), &why)) << why;
    return Bytes(path);
}

std::string RectText(const RECT& r) {
    std::ostringstream s;
    s << r.left << "," << r.top << "," << r.right << "," << r.bottom;
    return s.str();
}

class Rotation : public ::testing::TestWithParam<Case> {};

TEST_P(Rotation, ButtonFollowsTheTaskbar) {
    const Case& c = GetParam();
    fs::path dir = fs::temp_directory_path() / ("vesk-rotate-" + std::to_string(getpid()) + "-" + c.name);
    fs::remove_all(dir);
    fs::create_directories(dir);

    // The screen of a device booted in each size, vesk started on it.
    std::map<std::pair<int, int>, std::string> booted;
    for (Size s : c.turns) {
        auto key = std::make_pair(s.width, s.height);
        if (booted.count(key)) continue;
        sim::Device device(sim::DeviceConfig{.width = s.width, .height = s.height, .dpi = c.dpi});
        LaunchApps(device);
        vesk_host::StartVesk(device);
        booted[key] = Shot(device, dir / ("booted-" + std::to_string(s.width) + "x" + std::to_string(s.height) + ".png"));
    }

    sim::Device device(sim::DeviceConfig{.width = c.boot.width, .height = c.boot.height, .dpi = c.dpi});
    LaunchApps(device);
    size_t first = 0;
    if (c.turn_before_start) device.SetDisplay(c.turns[first].width, c.turns[first].height);
    DWORD vesk = vesk_host::StartVesk(device);
    const sim::Counts held = device.CountsOf(vesk);
    const int bar = device.ScaleY(26), cx = device.ScaleX(28);

    for (size_t i = 0; i < c.turns.size(); ++i) {
        const Size s = c.turns[i];
        SCOPED_TRACE("turn " + std::to_string(i) + " to " + std::to_string(s.width) + "x" + std::to_string(s.height));
        if (i > 0 || !c.turn_before_start) device.SetDisplay(s.width, s.height);

        EXPECT_EQ(RectText(ButtonRect(device)), RectText(RECT{s.width - cx, 0, s.width, bar}));
        std::string name = "turn" + std::to_string(i) + ".png";
        EXPECT_TRUE(Shot(device, dir / name) == booted[std::make_pair(s.width, s.height)])
            << "the screen after the turn differs from a device booted in that size: see " << (dir / name);

        // The strip's first column opens the menu, right-aligned on the button's right edge, below it.
        device.Tap(s.width - cx, bar / 2);
        std::optional<sim::MenuView> menu = device.OpenMenu();
        ASSERT_TRUE(menu);
        EXPECT_EQ(menu->rect.right, s.width);
        EXPECT_EQ(menu->rect.top, bar);
        device.Tap(0, s.height - 1);
        EXPECT_FALSE(device.OpenMenu());

        EXPECT_EQ(device.CountsOf(vesk), held);
    }
    if (!HasFailure()) fs::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(Screens, Rotation, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// The platform's order on a turn: full-screen windows are resized and get
// WM_SIZE, then every top-level window gets WM_SETTINGCHANGE; a window that
// is not full-screen keeps its rectangle.
TEST(Rotation, FullScreenWindowsAreResizedThenEveryWindowIsTold) {
    sim::Device device(sim::DeviceConfig{.width = 240, .height = 320});
    HWND full = device.Launch(sim::AppConfig{.name = "full"});
    HWND small = device.Launch(sim::AppConfig{.name = "small", .rect = RECT{20, 60, 200, 200}});
    device.ClearReceived(full);
    device.ClearReceived(small);

    device.Rotate();
    EXPECT_EQ(device.config().width, 320);
    EXPECT_EQ(device.config().height, 240);
    EXPECT_EQ(testing_support::LogLines(device, "display 320 240").size(), 1u);

    auto messages = [&](HWND h) {
        std::vector<std::pair<UINT, std::pair<WPARAM, LPARAM>>> out;
        for (const sim::ReceivedMessage& m : device.Received(h))
            if (m.message == WM_SIZE || m.message == WM_SETTINGCHANGE) out.push_back({m.message, {m.wparam, m.lparam}});
        return out;
    };
    using M = std::vector<std::pair<UINT, std::pair<WPARAM, LPARAM>>>;
    EXPECT_EQ(messages(full), (M{{WM_SIZE, {SIZE_RESTORED, MAKELPARAM(320, 240 - 26)}},
                                 {WM_SETTINGCHANGE, {SETTINGCHANGE_RESET, 0}}}));
    EXPECT_EQ(messages(small), (M{{WM_SETTINGCHANGE, {SETTINGCHANGE_RESET, 0}}}));
    std::map<HWND, std::string> rects;
    for (const sim::WindowInfo& w : device.Windows()) rects[w.hwnd] = RectText(w.rect);
    EXPECT_EQ(rects[full], "0,26,320,240");
    EXPECT_EQ(rects[small], "20,60,200,200");
    EXPECT_EQ(rects[device.desktop()], "0,26,320,240");
    EXPECT_EQ(rects[device.taskbar()], "0,0,320,26");
    EXPECT_THROW(device.SetDisplay(0, 240), std::invalid_argument);
}

}  // namespace
