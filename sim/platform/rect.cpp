// Rectangle helpers. Rectangles are half-open: [left, right) x [top, bottom).
#include <windows.h>

#include <algorithm>

#include "core.h"

namespace {

bool Empty(const RECT& r) { return r.right <= r.left || r.bottom <= r.top; }

}  // namespace

extern "C" {

BOOL WINAPI SetRect(LPRECT lprc, int xLeft, int yTop, int xRight, int yBottom) {
    SIM_API("SetRect");
    if (!lprc) return FALSE;
    *lprc = RECT{xLeft, yTop, xRight, yBottom};
    return TRUE;
}

BOOL WINAPI SetRectEmpty(LPRECT lprc) {
    SIM_API("SetRectEmpty");
    if (!lprc) return FALSE;
    *lprc = RECT{0, 0, 0, 0};
    return TRUE;
}

BOOL WINAPI CopyRect(LPRECT lprcDst, const RECT* lprcSrc) {
    SIM_API("CopyRect");
    if (!lprcDst || !lprcSrc) return FALSE;
    *lprcDst = *lprcSrc;
    return TRUE;
}

BOOL WINAPI InflateRect(LPRECT lprc, int dx, int dy) {
    SIM_API("InflateRect");
    if (!lprc) return FALSE;
    lprc->left -= dx;
    lprc->right += dx;
    lprc->top -= dy;
    lprc->bottom += dy;
    return TRUE;
}

BOOL WINAPI OffsetRect(LPRECT lprc, int dx, int dy) {
    SIM_API("OffsetRect");
    if (!lprc) return FALSE;
    lprc->left += dx;
    lprc->right += dx;
    lprc->top += dy;
    lprc->bottom += dy;
    return TRUE;
}

BOOL WINAPI IntersectRect(LPRECT lprcDst, const RECT* lprcSrc1, const RECT* lprcSrc2) {
    SIM_API("IntersectRect");
    if (!lprcDst || !lprcSrc1 || !lprcSrc2) return FALSE;
    RECT r{std::max(lprcSrc1->left, lprcSrc2->left), std::max(lprcSrc1->top, lprcSrc2->top),
           std::min(lprcSrc1->right, lprcSrc2->right), std::min(lprcSrc1->bottom, lprcSrc2->bottom)};
    // No overlap gives the empty rectangle at the origin.
    if (Empty(r)) {
        *lprcDst = RECT{0, 0, 0, 0};
        return FALSE;
    }
    *lprcDst = r;
    return TRUE;
}

BOOL WINAPI UnionRect(LPRECT lprcDst, const RECT* lprcSrc1, const RECT* lprcSrc2) {
    SIM_API("UnionRect");
    if (!lprcDst || !lprcSrc1 || !lprcSrc2) return FALSE;
    // Empty rectangles take no part in a union.
    bool e1 = Empty(*lprcSrc1), e2 = Empty(*lprcSrc2);
    if (e1 && e2) {
        *lprcDst = RECT{0, 0, 0, 0};
        return FALSE;
    }
    if (e1) {
        *lprcDst = *lprcSrc2;
        return TRUE;
    }
    if (e2) {
        *lprcDst = *lprcSrc1;
        return TRUE;
    }
    *lprcDst = RECT{std::min(lprcSrc1->left, lprcSrc2->left), std::min(lprcSrc1->top, lprcSrc2->top),
                    std::max(lprcSrc1->right, lprcSrc2->right), std::max(lprcSrc1->bottom, lprcSrc2->bottom)};
    return TRUE;
}

BOOL WINAPI IsRectEmpty(const RECT* lprc) {
    SIM_API("IsRectEmpty");
    return !lprc || Empty(*lprc);
}

BOOL WINAPI PtInRect(const RECT* lprc, POINT pt) {
    SIM_API("PtInRect");
    return lprc && pt.x >= lprc->left && pt.x < lprc->right && pt.y >= lprc->top && pt.y < lprc->bottom;
}

}  // extern "C"
