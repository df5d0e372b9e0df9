// The end-to-end runner: one scenario a process, so that every scenario has
// a vesk of its own (vesk runs once per process, as on the device).
//
//   shell32.exe --list                      the scenarios, one a line
//   shell32.exe NAME [--ref DIR] [--out DIR]
//   shell32.exe --script FILE [--out DIR]   plays a vesk-sim script (player.h)
//   shell32.exe --interactive               the stand-in shell with vesk, until vesk ends
#include <cstdio>
#include <cstring>

#include "e2e.h"
#include "faces.h"
#include "player.h"

namespace e2e {

namespace {

std::string g_reference;
std::string g_output = ".";
std::string g_skipped;

}  // namespace

const std::string& ReferenceFolder() { return g_reference; }
const std::string& OutputFolder() { return g_output; }
void Skip(const char* why) { g_skipped = why; }

HWND StartVeskInShell() {
    if (!host::SetTheme(faces::kThemeBack, faces::kThemeFore)) {
        conf::Fail(__FILE__, __LINE__, "the theme could not be written to the registry");
        return nullptr;
    }
    if (!host::StartShell()) {
        conf::Fail(__FILE__, __LINE__, "the stand-in shell did not start");
        return nullptr;
    }
    if (!host::StartVesk()) {
        conf::Fail(__FILE__, __LINE__, "vesk's thread did not start");
        return nullptr;
    }
    HWND button = host::WaitForButton(10000);
    if (!button) conf::Fail(__FILE__, __LINE__, "vesk's button did not appear on the taskbar");
    return button;
}

}  // namespace e2e

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: shell32.exe --list | NAME [--ref DIR] [--out DIR] | --script FILE [--out DIR] | "
                     "--interactive\n");
        return 2;
    }
    conf::SetInstance(GetModuleHandleW(nullptr));
    if (std::strcmp(argv[1], "--list") == 0) {
        for (const conf::Check& check : conf::Checks()) std::printf("%s\n", check.Name().c_str());
        return 0;
    }
    if (std::strcmp(argv[1], "--script") == 0 && argc >= 3) {
        std::string out = ".";
        bool on_device = false, last_play = false;
        for (int i = 3; i < argc; ++i) {
            if (std::strcmp(argv[i], "--out") == 0 && i + 1 < argc) out = argv[++i];
            else if (std::strcmp(argv[i], "--on-device") == 0) on_device = true;
            else if (std::strcmp(argv[i], "--last-play") == 0) last_play = true;
        }
        int code = host::PlayScript(argv[2], out, on_device, last_play);
        // vesk's thread may still run: end the process here.
        ExitProcess(static_cast<UINT>(code));
    }
    if (std::strcmp(argv[1], "--interactive") == 0) {
        if (!host::StartShell() || !host::StartVesk()) return 1;
        int code = 0;
        while (!host::WaitVeskExit(60000, &code)) {
        }
        return code;
    }
    for (int i = 2; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--ref") == 0) e2e::g_reference = argv[i + 1];
        if (std::strcmp(argv[i], "--out") == 0) e2e::g_output = argv[i + 1];
    }
    for (const conf::Check& check : conf::Checks()) {
        if (check.Name() != argv[1]) continue;
        check.body();
        int passed = 0, failed = 0, skipped = 0;
        const conf::Outcome& outcome = conf::Current();
        if (!e2e::g_skipped.empty() && outcome.failures.empty()) {
            std::printf("[ SKIP ] %s: %s\n", check.Name().c_str(), e2e::g_skipped.c_str());
            ++skipped;
        } else if (conf::Report(check, outcome) == conf::Verdict::Passed) {
            ++passed;
        } else {
            ++failed;
        }
        std::printf("e2e: %d passed, %d failed, %d skipped\n", passed, failed, skipped);
        std::fflush(stdout);
        // vesk's thread may still run: end the process here.
        ExitProcess(failed == 0 ? 0 : 1);
    }
    std::fprintf(stderr, "no scenario named %s\n", argv[1]);
    return 2;
}
