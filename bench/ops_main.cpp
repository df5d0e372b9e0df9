// Runs one of the benchmarked operations a given number of times, for
// instruction counts under callgrind: bench/run.sh runs each case with 0 and
// with N operations and divides the difference by N, so that booting the
// device and starting vesk count for nothing.
//   vesk_bench_ops paint COUNT
//   vesk_bench_ops menu WINDOWS PROCESSES COUNT
//   vesk_bench_ops textfit CHARACTERS COUNT
//   vesk_bench_ops menu-titles WINDOWS CHARACTERS COUNT   (titles of so many characters)
// With VESK_DEVICE_EXE naming a Windows CE executable, the device runs it
// as vesk (paint and the menus; textfit calls the built-in vesk's code).
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench_setup.h"

namespace {

int Usage() {
    std::fputs("usage: vesk_bench_ops paint COUNT | menu WINDOWS PROCESSES COUNT | textfit CHARACTERS COUNT |\n"
               "                      menu-titles WINDOWS CHARACTERS COUNT\n", stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return Usage();
    const std::string what = argv[1];
    if (what == "paint" && argc == 3) {
        vesk_bench::MenuDevice device(3, 3);
        for (int i = std::atoi(argv[2]); i > 0; --i) device.Paint();
        return 0;
    }
    if (what == "menu" && argc == 5) {
        vesk_bench::MenuDevice device(std::atoi(argv[2]), std::atoi(argv[3]));
        for (int i = std::atoi(argv[4]); i > 0; --i)
            if (!device.ShowMenu()) {
                std::fputs("vesk_bench_ops: the task menu did not open with every window listed\n", stderr);
                return 1;
            }
        return 0;
    }
    if (what == "menu-titles" && argc == 5) {
        vesk_bench::MenuDevice device(std::atoi(argv[2]), std::atoi(argv[2]), std::atoi(argv[3]));
        for (int i = std::atoi(argv[4]); i > 0; --i)
            if (!device.ShowMenu()) {
                std::fputs("vesk_bench_ops: the task menu did not open with every window listed\n", stderr);
                return 1;
            }
        return 0;
    }
    if (what == "textfit" && argc == 4) {
        vesk_bench::TextFit fit(std::atoi(argv[2]));
        for (int i = std::atoi(argv[3]); i > 0; --i) fit.Draw();
        return 0;
    }
    return Usage();
}
