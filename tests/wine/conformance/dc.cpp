// Device contexts: the state stack, deleting objects, the stock system font,
// the device's capabilities and system colours.
#include "check.h"

namespace {

HFONT MakeFont(int height, int weight) {
    LOGFONTW lf;
    memset(&lf, 0, sizeof(lf));
    lf.lfHeight = height;
    lf.lfWeight = weight;
    wcscpy(lf.lfFaceName, TEXT("Tahoma"));
    return CreateFontIndirectW(&lf);
}

}  // namespace

CHECK(Dc, RestoreDcPutsBackTheSelectedObjectsAndColours) {
    conf::TestWindow window(20, 60, 32, 32);
    HDC dc = GetDC(window);
    HPEN pen1 = CreatePen(PS_SOLID, 1, RGB(1, 2, 3));
    HBRUSH brush1 = CreateSolidBrush(RGB(4, 5, 6));
    HFONT font1 = MakeFont(-11, FW_NORMAL);
    HPEN pen2 = CreatePen(PS_NULL, 1, 0);
    HBRUSH brush2 = CreateSolidBrush(RGB(7, 8, 9));
    HFONT font2 = MakeFont(-10, FW_BOLD);

    HGDIOBJ original_pen = SelectObject(dc, pen1);
    HGDIOBJ original_brush = SelectObject(dc, brush1);
    HGDIOBJ original_font = SelectObject(dc, font1);
    SetTextColor(dc, RGB(10, 20, 30));
    SetBkMode(dc, OPAQUE);

    int saved = SaveDC(dc);
    CHECK_TRUE(saved > 0);
    SelectObject(dc, pen2);
    SelectObject(dc, brush2);
    SelectObject(dc, font2);
    SetTextColor(dc, RGB(40, 50, 60));
    SetBkMode(dc, TRANSPARENT);
    CHECK_EQ(GetCurrentObject(dc, OBJ_PEN), static_cast<HGDIOBJ>(pen2));

    CHECK_TRUE(RestoreDC(dc, saved));
    CHECK_EQ(GetCurrentObject(dc, OBJ_PEN), static_cast<HGDIOBJ>(pen1));
    CHECK_EQ(GetCurrentObject(dc, OBJ_BRUSH), static_cast<HGDIOBJ>(brush1));
    CHECK_EQ(GetCurrentObject(dc, OBJ_FONT), static_cast<HGDIOBJ>(font1));
    CHECK_EQ(GetTextColor(dc), RGB(10, 20, 30));
    CHECK_EQ(GetBkMode(dc), OPAQUE);

    // What the restore took out is no longer selected: deleting it succeeds.
    CHECK_TRUE(DeleteObject(pen2));
    CHECK_TRUE(DeleteObject(brush2));
    CHECK_TRUE(DeleteObject(font2));

    SelectObject(dc, original_pen);
    SelectObject(dc, original_brush);
    SelectObject(dc, original_font);
    DeleteObject(pen1);
    DeleteObject(brush1);
    DeleteObject(font1);
    ReleaseDC(window, dc);
}

CHECK(Dc, RestoreDcOfMinusOnePopsTheLatestState) {
    conf::TestWindow window(20, 60, 32, 32);
    HDC dc = GetDC(window);
    SetTextColor(dc, RGB(1, 1, 1));
    int first = SaveDC(dc);
    SetTextColor(dc, RGB(2, 2, 2));
    int second = SaveDC(dc);
    CHECK_EQ(second, first + 1);
    SetTextColor(dc, RGB(3, 3, 3));

    CHECK_TRUE(RestoreDC(dc, -1));
    CHECK_EQ(GetTextColor(dc), RGB(2, 2, 2));
    CHECK_TRUE(RestoreDC(dc, -1));
    CHECK_EQ(GetTextColor(dc), RGB(1, 1, 1));
    // Nothing is left to restore.
    CHECK_FALSE(RestoreDC(dc, -1));
    ReleaseDC(window, dc);
}

CHECK(Dc, DeletingAnObjectThatIsStillSelected) {
    known_difference(
        "Windows CE refuses to delete a pen, brush or font that a device context still holds: the object stays and "
        "leaks unless it is deleted again once deselected. Desktop Windows answers success and deletes the object "
        "when it is deselected. vesk deletes only what RestoreDC has taken out.");
    conf::TestWindow window(20, 60, 32, 32);
    HDC dc = GetDC(window);
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(1, 2, 3));
    HGDIOBJ original = SelectObject(dc, pen);

    CHECK_EQ(DeleteObject(pen), ce_or_desktop(FALSE, TRUE));
    // Still selected, so still there on both.
    CHECK_EQ(GetObjectType(pen), static_cast<DWORD>(OBJ_PEN));
    CHECK_EQ(GetCurrentObject(dc, OBJ_PEN), static_cast<HGDIOBJ>(pen));

    SelectObject(dc, original);
    CHECK_EQ(GetObjectType(pen), ce_or_desktop(static_cast<DWORD>(OBJ_PEN), static_cast<DWORD>(0)));
    if (GetObjectType(pen) != 0) CHECK_TRUE(DeleteObject(pen));
    ReleaseDC(window, dc);
}

CHECK(Dc, StockSystemFont) {
    known_difference(
        "The device's system font is Tahoma, 12 units high at 96 dpi; the desktop's SYSTEM_FONT is the bold "
        "bitmap face \"System\". ce_on_desktop.h gives vesk the device's font on the desktop.");
    LOGFONTW lf;
    memset(&lf, 0, sizeof(lf));
    CHECK_EQ(GetObjectW(GetStockObject(SYSTEM_FONT), sizeof(lf), &lf), static_cast<int>(sizeof(LOGFONTW)));
    CHECK_EQ(conf::WString(lf.lfFaceName), conf::WString(ce_or_desktop(TEXT("Tahoma"), TEXT("System"))));
    CHECK_EQ(lf.lfWeight, ce_or_desktop(FW_NORMAL, FW_BOLD));
}

CHECK(Dc, DeviceCapabilitiesOfTheScreen) {
    HDC screen = GetDC(nullptr);
    CHECK_EQ(GetDeviceCaps(screen, LOGPIXELSX), 96);
    CHECK_EQ(GetDeviceCaps(screen, LOGPIXELSY), 96);
    CHECK_EQ(GetDeviceCaps(screen, HORZRES), GetSystemMetrics(SM_CXSCREEN));
    CHECK_EQ(GetDeviceCaps(screen, VERTRES), GetSystemMetrics(SM_CYSCREEN));
    ReleaseDC(nullptr, screen);
}

CHECK(Dc, SystemColourIndexes) {
    known_difference(
        "Windows CE marks system colour indexes with the flag 0x40000000 and takes them with or without it; "
        "desktop Windows knows only the plain index and answers 0 for the flagged one. ce_on_desktop.h masks "
        "the flag for vesk.");
    const int highlight = 13;
    const int flag = 0x40000000;
    CHECK_NE(GetSysColor(highlight), GetSysColor(highlight + 1));
    CHECK_EQ(GetSysColor(highlight | flag), ce_or_desktop(GetSysColor(highlight), static_cast<DWORD>(0)));
}
