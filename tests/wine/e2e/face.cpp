// vesk's button face under Wine against the simulator's rendering of the same
// state at 96 dpi: equal pixel for pixel outside the text.
#include <cstdio>
#include <memory>

#include "e2e.h"
#include "faces.h"

namespace {

// Pixels that differ where both sides paint the same, as "(x,y) a vs b"
// strings; empty when the faces are equal.
std::vector<std::string> Differences(const faces::State& state, const faces::Pixels& a, const faces::Pixels& b) {
    std::vector<std::string> out;
    if (a.size() != b.size()) return {"sizes differ"};
    for (int y = 0; y < faces::kHeight; ++y)
        for (int x = 0; x < faces::kWidth; ++x) {
            size_t i = static_cast<size_t>(y) * faces::kWidth + x;
            if (faces::Masked(state, x, y) || a[i] == b[i]) continue;
            char text[64];
            std::snprintf(text, sizeof(text), "(%d,%d) %06lx vs %06lx", x, y, static_cast<unsigned long>(a[i]),
                          static_cast<unsigned long>(b[i]));
            out.push_back(text);
        }
    return out;
}

void CompareFace(const char* name) {
    const faces::State* state = nullptr;
    for (const faces::State& s : faces::States())
        if (std::string(s.name) == name) state = &s;
    REQUIRE(state != nullptr);
    faces::Pixels reference;
    bool have_reference = !e2e::ReferenceFolder().empty() &&
                          faces::ReadPpm(e2e::ReferenceFolder() + "/face-" + name + ".ppm", &reference);

    REQUIRE(host::StartShell());
    std::unique_ptr<host::App> app;
    if (state->desktop) {
        CHECK_TRUE(host::BringToFront(host::Desktop(), 5000));
    } else {
        host::AppSpec request;
        request.exstyle = state->exstyle;
        app = std::make_unique<host::App>();
        REQUIRE(app->Launch(request));
    }
    HWND button = e2e::StartVeskInShell();
    REQUIRE(button != nullptr);

    faces::Pixels captured;
    auto matches = [&] {
        captured = host::Capture(button, faces::kWidth, faces::kHeight);
        return have_reference && Differences(*state, captured, reference).empty();
    };
    bool matched = false;
    if (!state->pressed) {
        matched = host::WaitUntil(3000, matches);
    } else {
        // The press shows for at most 200 ms: press, look, let go, and again.
        for (int attempt = 0; attempt < 5 && !matched; ++attempt) {
            PostMessageW(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(faces::kPressX, faces::kPressY));
            matched = host::WaitUntil(150, matches);
            PostMessageW(button, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(0, faces::kPressY));
            PostMessageW(button, WM_LBUTTONUP, 0, MAKELPARAM(0, faces::kPressY));
            host::WaitUntil(250, [] { return false; });
        }
    }
    faces::WritePpm(e2e::OutputFolder() + "/face-" + name + ".ppm", captured);
    if (!have_reference) {
        e2e::Skip("no rendering by the simulator to compare with (run vesk_wine_faces)");
        return;
    }
    if (!matched) {
        std::string list;
        auto diffs = Differences(*state, captured, reference);
        for (size_t i = 0; i < diffs.size() && i < 12; ++i) list += "\n      " + diffs[i];
        conf::Fail(__FILE__, __LINE__,
                   std::to_string(diffs.size()) + " pixels differ from the simulator's rendering:" + list);
    }
    PostMessageW(button, WM_CLOSE, 0, 0);
    int code = -1;
    CHECK_TRUE(host::WaitVeskExit(5000, &code));
}

}  // namespace

CHECK(E2e, FaceWithCross) { CompareFace("cross"); }
CHECK(E2e, FaceWithCrossPressed) { CompareFace("cross-pressed"); }
CHECK(E2e, FaceWithOk) { CompareFace("ok"); }
CHECK(E2e, FaceWithOkPressed) { CompareFace("ok-pressed"); }
CHECK(E2e, FaceWithDesktopInFront) { CompareFace("desktop"); }
