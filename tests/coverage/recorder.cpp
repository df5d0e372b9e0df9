// Notes which of vesk's basic blocks each test reaches, for scripts/mutate.py.
//
// vesk's objects in this binary are compiled with -fsanitize-coverage=trace-pc:
// every basic block begins with a call of __sanitizer_cov_trace_pc, whose
// return address names the block. The blocks reached are kept in a set that
// is written out and emptied at the end of every test, and wherever a test
// starts a unit of its own (vesk_coverage_unit: the fault sweep's faulted
// runs). VESK_COVERAGE_OUT names the file; without it nothing is noted.
//
// A line of the file: the unit's name, its time in microseconds, and the
// blocks' addresses as offsets into the executable, all separated by tabs.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" char __executable_start;

namespace {

// Far more slots than vesk has blocks; the set is open-addressed, and the
// simulator's threads may add to it at the same time.
constexpr size_t kSlots = size_t{1} << 16;
std::atomic<uintptr_t> g_slots[kSlots];
std::atomic<size_t> g_used{0};
std::atomic<bool> g_on{false};

std::FILE* g_out = nullptr;
std::string g_test;  // the running test's full name
std::string g_unit;  // what the blocks now reached belong to
std::chrono::steady_clock::time_point g_since;

void Note(uintptr_t pc) {
    size_t i = (pc ^ (pc >> 12)) & (kSlots - 1);
    for (;;) {
        uintptr_t seen = g_slots[i].load(std::memory_order_relaxed);
        if (seen == pc) return;
        if (seen == 0) {
            if (g_slots[i].compare_exchange_strong(seen, pc)) {
                if (g_used.fetch_add(1) > kSlots / 2) {
                    std::fprintf(stderr, "coverage: more than %zu blocks in one unit\n", kSlots / 2);
                    std::abort();
                }
                return;
            }
            if (seen == pc) return;
        }
        i = (i + 1) & (kSlots - 1);
    }
}

// Writes the unit gathered so far and empties the set.
void Flush() {
    auto now = std::chrono::steady_clock::now();
    long us = static_cast<long>(std::chrono::duration_cast<std::chrono::microseconds>(now - g_since).count());
    std::fprintf(g_out, "%s\t%ld", g_unit.c_str(), us);
    const uintptr_t base = reinterpret_cast<uintptr_t>(&__executable_start);
    for (auto& slot : g_slots) {
        uintptr_t pc = slot.exchange(0, std::memory_order_relaxed);
        if (pc != 0) std::fprintf(g_out, "\t%lx", static_cast<unsigned long>(pc - base));
    }
    std::fputc('\n', g_out);
    g_used = 0;
    g_since = now;
}

class Recorder : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo& info) override {
        g_test = std::string(info.test_suite_name()) + "." + info.name();
        g_unit = g_test;
        for (auto& slot : g_slots) slot = 0;
        g_used = 0;
        g_since = std::chrono::steady_clock::now();
        g_on = true;
    }
    void OnTestEnd(const ::testing::TestInfo&) override {
        g_on = false;
        Flush();
        std::fflush(g_out);
    }
};

const bool g_installed = [] {
    const char* path = std::getenv("VESK_COVERAGE_OUT");
    if (!path || !*path) return false;
    g_out = std::fopen(path, "w");
    if (!g_out) {
        std::perror(path);
        std::exit(2);
    }
    ::testing::UnitTest::GetInstance()->listeners().Append(new Recorder);
    return true;
}();

}  // namespace

extern "C" void __sanitizer_cov_trace_pc() {
    if (g_on.load(std::memory_order_relaxed)) Note(reinterpret_cast<uintptr_t>(__builtin_return_address(0)));
}

// What vesk reaches from here on belongs to the unit NAME, a part of the
// running test; NULL: to the test itself again.
extern "C" void vesk_coverage_unit(const char* name) {
    if (!g_out || !g_on) return;
    Flush();
    g_unit = name ? g_test + "@" + name : g_test;
}
