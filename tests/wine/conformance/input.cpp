// The pen: capture, coordinates packed into 16 bits each, and the position
// of the last retrieved message.
#include "check.h"

CHECK(Input, CapturedPenLeftOfAndAboveTheWindowArrivesAsLargeCoordinates) {
    conf::TestWindow window(100, 100, 50, 50);
    conf::Drain();
    SetCapture(window);
    CHECK_EQ(GetCapture(), window.hwnd());

    conf::PenDown(95, 110);
    auto downs = conf::Messages(window, WM_LBUTTONDOWN);
    REQUIRE(downs.size() == 1);
    // -5 in 16 bits: 65535 - 4.
    CHECK_EQ(LOWORD(downs[0].lParam), 65531);
    CHECK_EQ(HIWORD(downs[0].lParam), 10);
    DWORD pos = GetMessagePos();
    CHECK_EQ(LOWORD(pos), 95);
    CHECK_EQ(HIWORD(pos), 110);

    conf::PenMove(120, 97);
    auto moves = conf::Messages(window, WM_MOUSEMOVE);
    REQUIRE(!moves.empty());
    CHECK_EQ(LOWORD(moves.back().lParam), 20);
    CHECK_EQ(HIWORD(moves.back().lParam), 65533);

    conf::PenUp(120, 97);
    auto ups = conf::Messages(window, WM_LBUTTONUP);
    REQUIRE(ups.size() == 1);
    CHECK_EQ(LOWORD(ups[0].lParam), 20);
    CHECK_EQ(HIWORD(ups[0].lParam), 65533);

    CHECK_TRUE(ReleaseCapture());
    CHECK_EQ(GetCapture(), static_cast<HWND>(nullptr));
}

CHECK(Input, PenWithoutCaptureGoesToTheWindowUnderIt) {
    conf::TestWindow window(100, 100, 50, 50);
    conf::TestWindow other(160, 100, 50, 50);
    conf::Drain();
    conf::PenDown(110, 130);
    conf::PenUp(110, 130);
    auto downs = conf::Messages(window, WM_LBUTTONDOWN);
    REQUIRE(downs.size() == 1);
    CHECK_EQ(LOWORD(downs[0].lParam), 10);
    CHECK_EQ(HIWORD(downs[0].lParam), 30);
    CHECK_EQ(conf::Messages(window, WM_LBUTTONUP).size(), 1u);
    CHECK_EQ(conf::Messages(other, WM_LBUTTONDOWN).size(), 0u);
}
