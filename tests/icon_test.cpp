// Icons on the simulated device: LoadIconW from a program's compiled
// resources, their lifetime and count, and DrawIconEx's choice of image,
// scaling and transparency.
#include <gtest/gtest.h>
#include <sim/device.h>
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>


namespace {

constexpr COLORREF kBackground = RGB(200, 30, 30);
constexpr uint32_t kClear = 0x00000000;  // masked out

void Put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

// One icon image as the resource compiler stores it: a BITMAPINFOHEADER
// whose height counts the AND mask too, 32-bit colour rows and the 1-bit
// mask, both bottom-up. `pixel` gives 0xAARRGGBB; alpha 0 is masked out.
std::vector<uint8_t> IconDib(int w, int h, const std::function<uint32_t(int, int)>& pixel) {
    std::vector<uint8_t> dib;
    Put32(dib, 40);
    Put32(dib, uint32_t(w));
    Put32(dib, uint32_t(2 * h));
    Put16(dib, 1);
    Put16(dib, 32);
    for (int i = 0; i < 6; ++i) Put32(dib, 0);
    for (int y = h - 1; y >= 0; --y)
        for (int x = 0; x < w; ++x) {
            uint32_t p = pixel(x, y);
            dib.push_back(uint8_t(p));
            dib.push_back(uint8_t(p >> 8));
            dib.push_back(uint8_t(p >> 16));
            dib.push_back(0);
        }
    int mask_row = (w + 31) / 32 * 4;
    for (int y = h - 1; y >= 0; --y) {
        std::vector<uint8_t> row(size_t(mask_row), 0);
        for (int x = 0; x < w; ++x)
            if ((pixel(x, y) >> 24) == 0) row[size_t(x / 8)] |= uint8_t(0x80 >> (x % 8));
        dib.insert(dib.end(), row.begin(), row.end());
    }
    return dib;
}

// A 32-bit .res file: the empty entry that marks the format, then RT_ICON
// images 1..n and the RT_GROUP_ICON `group` that lists them.
std::vector<uint8_t> ResFile(uint16_t group, const std::vector<std::pair<int, std::vector<uint8_t>>>& images) {
    std::vector<uint8_t> out;
    auto entry = [&](uint16_t type, uint16_t name, const std::vector<uint8_t>& data) {
        Put32(out, uint32_t(data.size()));
        Put32(out, 32);
        Put16(out, 0xFFFF);
        Put16(out, type);
        Put16(out, 0xFFFF);
        Put16(out, name);
        Put32(out, 0);
        Put16(out, 0x1010);
        Put16(out, 0x0405);
        Put32(out, 0);
        Put32(out, 0);
        out.insert(out.end(), data.begin(), data.end());
        while (out.size() % 4) out.push_back(0);
    };
    entry(0, 0, {});
    std::vector<uint8_t> dir;
    Put16(dir, 0);
    Put16(dir, 1);
    Put16(dir, uint16_t(images.size()));
    uint16_t id = 1;
    for (const auto& [size, dib] : images) {
        entry(3, id, dib);
        dir.push_back(uint8_t(size));
        dir.push_back(uint8_t(size));
        dir.push_back(0);
        dir.push_back(0);
        Put16(dir, 1);
        Put16(dir, 32);
        Put32(dir, uint32_t(dib.size()));
        Put16(dir, id++);
    }
    entry(14, group, dir);
    return out;
}

uint32_t Solid(COLORREF c) { return 0xFF000000u | uint32_t(GetRValue(c)) << 16 | uint32_t(GetGValue(c)) << 8 | GetBValue(c); }

constexpr COLORREF kRed16 = RGB(255, 0, 0);
constexpr COLORREF kGreen32 = RGB(0, 255, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kYellow = RGB(255, 255, 0);
constexpr COLORREF kBlack = RGB(0, 0, 0);

// Quadrants of a size x size image: top-left masked out, then blue, yellow, black.
uint32_t Quadrants(int x, int y, int size) {
    bool right = x >= size / 2, bottom = y >= size / 2;
    if (!right && !bottom) return kClear;
    if (right && !bottom) return Solid(kBlue);
    if (!right) return Solid(kYellow);
    return Solid(kBlack);
}

// Runs a test's code as a program of the device whose resources hold the
// icon group 104 (16 x 16 quadrants and a plain 32 x 32), on a screen filled
// with the background colour.
class IconTest : public ::testing::Test {
protected:
    void InProgram(const std::function<void()>& body,
                   std::vector<uint8_t> resources = ResFile(
                       104, {{16, IconDib(16, 16, [](int x, int y) { return Quadrants(x, y, 16); })},
                             {32, IconDib(32, 32, [](int, int) { return Solid(kGreen32); })}})) {
        sim::ProgramImage image;
        image.exe_path = u"\\Windows\\iconic.exe";
        image.resources = std::move(resources);
        image.entry = [&](HINSTANCE self) {
            instance = self;
            dc = GetDC(nullptr);
            RECT all{0, 0, 240, 320};
            HBRUSH b = CreateSolidBrush(kBackground);
            FillRect(dc, &all, b);
            DeleteObject(b);
            body();
            ReleaseDC(nullptr, dc);
            return 0;
        };
        DWORD pid = device.Start(image);
        EXPECT_EQ(device.ExitCode(pid), 0);
    }

    long Icons() { return device.CountsOf(GetCurrentProcessId()).icons; }
    HICON Load(int id) { return LoadIconW(instance, MAKEINTRESOURCEW(id)); }
    COLORREF At(int x, int y) { return GetPixel(dc, x, y); }

    sim::Device device;
    HINSTANCE instance = nullptr;
    HDC dc = nullptr;
};

TEST_F(IconTest, EveryLoadIsANewIconOfTheCallerUntilDestroyed) {
    InProgram([&] {
        const long before = Icons();
        HICON first = Load(104);
        HICON second = Load(104);
        ASSERT_NE(first, nullptr);
        ASSERT_NE(second, nullptr);
        EXPECT_NE(first, second);
        EXPECT_EQ(Icons(), before + 2);

        EXPECT_TRUE(DestroyIcon(first));
        EXPECT_FALSE(DestroyIcon(first));
        EXPECT_TRUE(DestroyIcon(second));
        EXPECT_EQ(Icons(), before);
    });
}

TEST_F(IconTest, LoadFailsForAMissingIconOrAnUnknownModule) {
    InProgram([&] {
        EXPECT_EQ(Load(105), nullptr);
        EXPECT_EQ(LoadIconW(reinterpret_cast<HINSTANCE>(uintptr_t(0x123000)), MAKEINTRESOURCEW(104)),
                  nullptr);
        EXPECT_FALSE(DestroyIcon(reinterpret_cast<HICON>(uintptr_t(0x7770))));
    });
}

TEST_F(IconTest, DrawsTheImageOfTheRequestedSizeWithTransparency) {
    InProgram([&] {
        HICON icon = Load(104);
        DrawIconEx(dc, 10, 10, icon, 16, 16, 0, nullptr, DI_NORMAL);
        EXPECT_EQ(At(10, 10), kBackground);  // masked quadrant
        EXPECT_EQ(At(17, 17), kBackground);
        EXPECT_EQ(At(18, 10), kBlue);
        EXPECT_EQ(At(25, 17), kBlue);
        EXPECT_EQ(At(10, 18), kYellow);
        EXPECT_EQ(At(25, 25), kBlack);
        EXPECT_EQ(At(26, 26), kBackground);

        DrawIconEx(dc, 40, 10, icon, 32, 32, 0, nullptr, DI_NORMAL);
        EXPECT_EQ(At(40, 10), kGreen32);
        EXPECT_EQ(At(71, 41), kGreen32);
        EXPECT_EQ(At(72, 42), kBackground);
        DestroyIcon(icon);
    });
}

TEST_F(IconTest, ScalesTheNextLargerImageByNearestNeighbour) {
    InProgram([&] {
        HICON icon = Load(104);
        // No size given: the icon's standard size. Between sizes: the next larger image.
        DrawIconEx(dc, 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL);
        EXPECT_EQ(At(31, 31), kGreen32);
        EXPECT_EQ(At(32, 32), kBackground);
        DrawIconEx(dc, 50, 0, icon, 20, 12, 0, nullptr, DI_NORMAL);
        EXPECT_EQ(At(50, 0), kGreen32);
        EXPECT_EQ(At(69, 11), kGreen32);
        EXPECT_EQ(At(70, 11), kBackground);
        EXPECT_EQ(At(69, 12), kBackground);
        DestroyIcon(icon);
    });
}

TEST_F(IconTest, ScaledQuadrantsKeepTheirEdgesAndTheirTransparency) {
    InProgram([&] {
        HICON icon = Load(101);
        EXPECT_EQ(Icons(), 1);
        DrawIconEx(dc, 0, 0, icon, 40, 40, 0, nullptr, DI_NORMAL);
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 40; ++x) {
                COLORREF expected = x < 20 && y < 20 ? kBackground : x >= 20 && y < 20 ? kBlue : x < 20 ? kYellow : kBlack;
                ASSERT_EQ(At(x, y), expected) << x << "," << y;
            }
        DrawIconEx(dc, 100, 0, icon, 6, 6, 0, nullptr, DI_NORMAL);
        EXPECT_EQ(At(102, 2), kBackground);
        EXPECT_EQ(At(103, 2), kBlue);
        EXPECT_EQ(At(102, 3), kYellow);
        EXPECT_EQ(At(105, 5), kBlack);
        EXPECT_EQ(At(106, 5), kBackground);

        // A flicker-free brush shows through the mask. DrawIcon draws the icon's
        // own size: on the device it is DrawIconEx with no size and DI_NORMAL.
        HBRUSH white = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        DrawIconEx(dc, 150, 0, icon, 16, 16, 0, white, DI_NORMAL);
        EXPECT_EQ(At(150, 0), RGB(255, 255, 255));
        EXPECT_EQ(At(158, 0), kBlue);
        EXPECT_TRUE(DrawIcon(dc, 0, 100, icon));
        EXPECT_EQ(At(15, 115), kBlack);
        EXPECT_EQ(At(16, 115), kBackground);
        EXPECT_EQ(At(0, 100), kBackground);
        // A cell far larger than the screen costs only the pixels it covers.
        DrawIconEx(dc, -1000000000, -1000000000, icon, 2000000000, 2000000000, 0, nullptr, DI_NORMAL);
        EXPECT_EQ(At(5, 5), kBlack);
        EXPECT_TRUE(DestroyIcon(icon));
        EXPECT_EQ(Icons(), 0);
        EXPECT_FALSE(DrawIconEx(dc, 0, 0, icon, 16, 16, 0, nullptr, DI_NORMAL));
    }, ResFile(101, {{16, IconDib(16, 16, [](int x, int y) { return Quadrants(x, y, 16); })}}));
}

}  // namespace
