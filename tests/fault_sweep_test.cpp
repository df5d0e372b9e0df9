// The fault sweep: every end-to-end scenario is played once to record which
// platform calls vesk makes, then again and again with one of those calls
// failing, for every call name and every occurrence of it in turn, and with
// each of vesk's heap allocations failing in turn. Under every fault vesk must
// not crash, must give back everything it took once each menu showing is
// over, must never delete an object that is still selected, must end quietly
// only when start-up cannot go on, and must work normally again once the
// fault has passed.
//
// The scenarios are the scripts of tests/e2e (their actions only: under a
// fault their expectations do not hold) and the start-up and quit path.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include "program.h"
#include "resource.h"
#include "scenario_files.h"
#include "script.h"
#include "vesk_image.h"

namespace fs = std::filesystem;

namespace {

// The start-up and quit path, with one application in front.
const char kStartQuit[] =
    "device 240 320\n"
    "app notes title=\"Notes\"\n"
    "start\n"
    "notify\n"
    "quit\n";

struct Scenario {
    std::string name;
    vesk_sim::Script script;
};

// Twenty applications in a scrolled menu make thousands of calls, and the
// high-resolution twin makes the same ones over four times the pixels:
// sweeping it too would take minutes and reach no call its twin does not.
const char* const kSweptThroughTwin[] = {"close_all_scrolled_192"};

std::vector<std::string> ScenarioNames() {
    std::vector<std::string> names{"start_quit"};
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(fs::path(VESK_SOURCE_DIR) / "tests" / "e2e"))
        if (entry.path().extension() == ".vsk" &&
            std::find(std::begin(kSweptThroughTwin), std::end(kSweptThroughTwin), entry.path().stem().string()) ==
                std::end(kSweptThroughTwin))
            files.push_back(entry.path().stem().string());
    std::sort(files.begin(), files.end());
    names.insert(names.end(), files.begin(), files.end());
    return names;
}

std::optional<vesk_sim::Script> LoadScenario(const std::string& name, std::string* error) {
    std::string text, file;
    if (name == "start_quit") {
        text = kStartQuit;
        file = "start_quit";
    } else {
        file = (fs::path(VESK_SOURCE_DIR) / "tests" / "e2e" / (name + ".vsk")).string();
        auto read = vesk_sim::ReadScriptFile(file, error);
        if (!read) return std::nullopt;
        text = *read;
    }
    auto parsed = vesk_sim::ParseScript(text, file);
    if (!parsed.script) {
        *error = parsed.error.Format();
        return std::nullopt;
    }
    return parsed.script;
}

// What vesk may keep until its process ends: the single-instance mutex and
// the window class's brush, once the class is registered; when its button
// was not destroyed before the end (the "E&xit" path, or a message loop that
// failed), also the bold font and the close glyph, which go with the process.
bool ReclaimedIsLegitimate(const sim::Counts& c, bool button_destroyed, bool class_registered) {
    // Without its class vesk made no button either, so it holds nothing.
    const long gdi = class_registered ? (button_destroyed ? 1 : 2) : 0;
    const long icons = class_registered && !button_destroyed ? 1 : 0;
    return c.handles <= 1 && c.gdi <= gdi && c.icons <= icons && c.menus == 0 && c.snapshots == 0 && c.keys == 0 &&
           c.heap == 0;
}

std::string Describe(const sim::Counts& c) {
    std::ostringstream s;
    s << "gdi=" << c.gdi << " icons=" << c.icons << " menus=" << c.menus << " handles=" << c.handles
      << " snapshots=" << c.snapshots << " keys=" << c.keys << " windows=" << c.windows << " heap=" << c.heap;
    return s.str();
}

// How a run is faulted.
struct Fault {
    std::string api;   // empty: an allocation
    long nth = 0;      // 0: no fault
    long count = 1;    // -1: every call from the nth on
    std::string Name() const {
        if (nth == 0) return "no fault";
        std::string what = api.empty() ? "allocation" : api;
        return what + " #" + std::to_string(nth) + (count < 0 ? " onwards" : "");
    }
};

// What vesk had done by the end of one of the scenario's commands.
struct Step {
    std::map<std::string, long> calls;  // calls vesk made, by name, so far
    long allocations = 0;               // heap blocks vesk took so far
};

struct RunResult {
    std::vector<std::string> problems;
    std::vector<Step> steps;  // one a command, then the end of the scenario
    bool started = false;     // vesk's message loop ran
    long failed = 0;          // calls or allocations that the fault made fail
    std::vector<std::string> log;
    // The run went exactly as another: the same calls between the same
    // commands, and the same events.
    bool SameAs(const RunResult& other) const {
        if (log != other.log || steps.size() != other.steps.size()) return false;
        for (size_t i = 0; i < steps.size(); ++i)
            if (steps[i].calls != other.steps[i].calls || steps[i].allocations != other.steps[i].allocations)
                return false;
        return true;
    }
};

// Plays a scenario's actions with the driver, checking vesk between them.
class Run {
public:
    Run(const vesk_sim::Script& script, const Fault& fault) : script_(script), fault_(fault), device_(script.device) {}

    RunResult Go() {
        if (fault_.nth > 0) {
            if (fault_.api.empty())
                device_.FailAllocation(fault_.nth, fault_.count);
            else
                device_.FailCall(fault_.api, int(fault_.nth), int(fault_.count));
        }
        try {
            for (const vesk_sim::Command& cmd : script_.commands) {
                line_ = cmd.line;
                std::visit([&](const auto& action) { Do(action); }, cmd.action);
                CheckFlat();
                Mark();
            }
            Finish();
        } catch (const std::exception& e) {
            Problem(std::string("the device failed: ") + e.what());
        }
        Mark();
        result_.failed = device_.FaultsMade();
        result_.log = device_.Log();
        for (const std::string& line : device_.Log())
            if (line.find("delete-selected") != std::string::npos) Problem("deleted a selected object: " + line);
            else if (line.find("invalid-free") != std::string::npos) Problem("freed what is no object: " + line);
        return result_;
    }

private:
    void Mark() {
        Step step;
        step.calls = device_.CallCounts();
        step.allocations = device_.Allocations(vesk_);
        result_.steps.push_back(std::move(step));
    }

    void Problem(const std::string& what) {
        result_.problems.push_back(fault_.Name() + ", line " + std::to_string(line_) + ": " + what);
    }

    bool VeskRunning() const { return vesk_ != 0 && device_.Running(vesk_); }

    HWND Button() const {
        for (const sim::WindowInfo& w : device_.Windows())
            if (w.class_name == u"VeskClass" && w.pid == vesk_) return w.hwnd;
        return nullptr;
    }

    // Between actions, with no menu open and nobody hung, vesk holds what it
    // held right after start-up.
    void CheckFlat() {
        if (!VeskRunning() || device_.OpenMenu() || device_.IsHung() || !have_baseline_) return;
        sim::Counts now = device_.CountsOf(vesk_);
        if (FaultFired()) Excuse(&now, baseline_);
        if (!(now == baseline_)) Problem("holds " + Describe(now) + ", after start-up it held " + Describe(baseline_));
    }

    void Do(const vesk_sim::RegCmd& r) {
        switch (r.kind) {
        case vesk_sim::RegCmd::Kind::Dword: device_.SetDword(r.root, r.key, r.name, r.value); break;
        case vesk_sim::RegCmd::Kind::Binary: device_.SetBinary(r.root, r.key, r.name, r.bytes); break;
        case vesk_sim::RegCmd::Kind::Delete: device_.DeleteValue(r.root, r.key, r.name); break;
        }
    }
    void Do(const vesk_sim::ThemeCmd& t) {
        device_.SetDword(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Color", u"8", t.back);
        device_.SetDword(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Color", u"9", t.fore);
    }
    void Do(const vesk_sim::AppCmd& a) {
        if (device_.Find(a.app.name)) return;
        if (!a.app.owner.empty() && !device_.Find(a.app.owner)) return;
        device_.Launch(a.app);
    }
    void Do(const vesk_sim::ActivateCmd& a) {
        if (HWND h = device_.Find(a.name)) device_.Activate(h);
    }
    void Do(const vesk_sim::ReleaseCmd& r) {
        if (HWND h = device_.Find(r.name)) device_.Release(h);
    }
    void Do(const vesk_sim::StartCmd&) { Started(vesk_host::StartVesk(device_)); }
    void Do(const vesk_sim::InstallCmd& i) {
        std::string why;
        if (std::optional<std::string> bytes = ReadScenarioFile(i.path, &why))
            device_.Install(std::vector<uint8_t>(bytes->begin(), bytes->end()));
        else
            Problem("install: cannot read " + i.path + ": " + why);
    }
    // vesk from \Windows\StartUp: the same checks as after `start`.
    void Do(const vesk_sim::ResetCmd&) {
        std::vector<DWORD> started = device_.Reset(vesk_host::ImageFor);
        if (!started.empty()) Started(started.back());
    }
    void Started(DWORD pid) {
        vesk_ = pid;
        result_.started = VeskRunning();
        if (result_.started) {
            baseline_ = device_.CountsOf(vesk_);
            have_baseline_ = true;
            if (baseline_.heap != 0) Problem("holds heap blocks after start-up: " + Describe(baseline_));
        } else if (auto code = device_.ExitCode(vesk_); code && *code != 0) {
            Problem("start-up ended with " + std::to_string(*code));
        }
    }
    void Do(const vesk_sim::PenCmd& p) {
        switch (p.kind) {
        case vesk_sim::PenCmd::Kind::Down: device_.PenDown(p.x, p.y); break;
        case vesk_sim::PenCmd::Kind::Move: device_.PenMove(p.x, p.y); break;
        case vesk_sim::PenCmd::Kind::Up: device_.PenUp(p.x, p.y); break;
        case vesk_sim::PenCmd::Kind::Tap: device_.Tap(p.x, p.y); break;
        }
    }
    void Do(const vesk_sim::WaitCmd& w) { device_.Wait(w.ms); }
    void Do(const vesk_sim::NotifyCmd&) { device_.Notify(); }
    void Do(const vesk_sim::RotateCmd&) { device_.Rotate(); }
    void Do(const vesk_sim::DisplayCmd& d) { device_.SetDisplay(d.width, d.height); }
    void Do(const vesk_sim::DumpCmd&) {}
    void Do(const vesk_sim::ExeCmd& e) {
        std::string why;
        if (!vesk_host::UseExecutable(e.file, &why)) throw std::runtime_error(why);
    }
    void Do(const vesk_sim::ShotCmd&) {}
    void Do(const vesk_sim::QuitCmd&) { Quit(); }
    void Do(const vesk_sim::MenuTapCmd& m) {
        std::optional<sim::MenuView> menu = device_.OpenMenu();
        if (!menu) return;
        if (size_t(m.position) >= menu->items.size() || !device_.ShowMenuItem(m.position) ||
            !(menu = device_.OpenMenu())) {
            Dismiss();
            return;
        }
        const RECT& r = menu->items[size_t(m.position)].rect;
        device_.Tap(m.at ? *m.at : r.left + (r.right - r.left) / 2, r.top + (r.bottom - r.top) / 2);
    }
    void Do(const vesk_sim::MenuScrollCmd& m) {
        for (int i = 0; i < m.times; ++i) {
            std::optional<sim::MenuView> menu = device_.OpenMenu();
            if (!menu || !menu->scrolls) return;
            const RECT& r = m.down ? menu->down : menu->up;
            device_.Tap((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        }
    }
    void Do(const vesk_sim::MenuDismissCmd&) { Dismiss(); }
    void Do(const vesk_sim::ExpectCmd&) {}
    void Do(const vesk_sim::ExpectPixelCmd&) {}
    void Do(const vesk_sim::ExpectWindowCmd&) {}
    void Do(const vesk_sim::ExpectCountsCmd&) {}

    void Dismiss() {
        std::optional<sim::MenuView> menu = device_.OpenMenu();
        if (!menu) return;
        // The bottom-left corner is never under the popup, which hangs from
        // the button at the right end of the taskbar.
        device_.Tap(0, device_.config().height - 1);
    }

    void ReleaseHung() {
        for (int round = 0; round < 16 && device_.IsHung(); ++round) {
            for (HWND hwnd : device_.Hung()) device_.Release(hwnd);
        }
    }

    bool FaultFired() const {
        return fault_.nth > 0 && device_.FaultsMade() > 0;
    }

    // Before vesk is quit, the strip opens the task menu once more. When the
    // fault has struck already, the platform works again by then, and vesk
    // must work too: the menu opens and its showing leaves nothing behind.
    // A fault still to come may strike this showing, or the quit path.
    void CheckRecovered() {
        HWND button = Button();
        if (!button || recovered_) return;
        recovered_ = true;
        const bool after_fault = FaultFired();
        if (after_fault) device_.ClearFaults();
        RECT r{};
        for (const sim::WindowInfo& w : device_.Windows())
            if (w.hwnd == button) r = w.rect;
        device_.Tap(r.left + device_.ScaleX(2), r.top + device_.ScaleY(8));
        if (!device_.OpenMenu() && after_fault) Problem("after the fault, a tap on the strip opens no menu");
        Dismiss();
        CheckFlat();
    }

    // WM_CLOSE to the button ends vesk, which must then have given back
    // everything but what it holds for its life.
    void Quit() {
        if (!VeskRunning()) return;
        ReleaseHung();
        Dismiss();
        CheckRecovered();
        bool has_button = Button() != nullptr;
        device_.Close(vesk_, u"VeskClass");
        ReleaseHung();
        if (VeskRunning()) {
            Problem("vesk did not end after WM_CLOSE to its button");
            return;
        }
        CheckReclaimed(has_button);
        reclaimed_checked_ = true;
    }

    void Finish() {
        line_ = script_.last_line;
        ReleaseHung();
        Dismiss();
        if (VeskRunning()) {
            Quit();
        } else if (vesk_ != 0 && !reclaimed_checked_) {
            CheckReclaimed(false);
        }
        if (vesk_ != 0) {
            auto code = device_.ExitCode(vesk_);
            if (code && *code != 0) Problem("vesk ended with " + std::to_string(*code));
        }
        for (const std::string& line : device_.Log())
            if (line.find("hook dangling") != std::string::npos && fault_.api != "SetWindowLongPtrW")
                Problem("left its hook in the taskbar: " + line);
    }

    // What a failing call that gives something back, or reads what is to be
    // given back, leaves with vesk: what a failed release did not release
    // (vesk cannot give back what the platform refuses to take); the entry
    // (two blocks) of each task item whose read failed in the clean-up.
    void Excuse(sim::Counts* c, const sim::Counts& held) const {
        static const std::map<std::string, long sim::Counts::*> kReleases = {
            {"DeleteObject", &sim::Counts::gdi},          {"ReleaseDC", &sim::Counts::gdi},
            {"DestroyIcon", &sim::Counts::icons},         {"CloseHandle", &sim::Counts::handles},
            {"CloseToolhelp32Snapshot", &sim::Counts::snapshots}, {"RegCloseKey", &sim::Counts::keys},
        };
        if (fault_.api == "DestroyMenu") c->menus = held.menus;  // the popup goes with its menu
        if (auto it = kReleases.find(fault_.api); it != kReleases.end()) {
            long failed = device_.FaultsMade();
            c->*(it->second) = std::max(held.*(it->second), c->*(it->second) - failed);
        }
        if (fault_.api == "GetMenuItemInfoW") {
            long unread = fault_.count < 0 ? c->heap : 2 * fault_.count;
            c->heap = std::max(held.heap, c->heap - unread);
        }
    }

    void CheckReclaimed(bool button_destroyed) {
        sim::Counts c = device_.Reclaimed(vesk_);
        Excuse(&c, sim::Counts{});
        // A class that could not be registered took no brush with it.
        const bool class_registered = !(fault_.api == "RegisterClassW" && FaultFired());
        if (!ReclaimedIsLegitimate(c, button_destroyed, class_registered))
            Problem("left behind " + Describe(c) + (button_destroyed ? " (button destroyed)" : " (button not destroyed)"));
    }

    const vesk_sim::Script& script_;
    Fault fault_;
    sim::Device device_;
    RunResult result_;
    DWORD vesk_ = 0;
    sim::Counts baseline_{};
    bool have_baseline_ = false;
    bool reclaimed_checked_ = false;
    bool recovered_ = false;
    int line_ = 0;
};

RunResult Play(const vesk_sim::Script& script, const Fault& fault) { return Run(script, fault).Go(); }

class FaultSweep : public ::testing::TestWithParam<std::string> {};

// Set only in the binary that records which tests reach which of vesk's
// lines (tests/coverage/recorder.cpp): every faulted run is a unit of its own.
extern "C" void vesk_coverage_unit(const char* name) __attribute__((weak));

std::string CurrentTestName() {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return std::string(info->test_suite_name()) + "." + info->name();
}

// VESK_FAULT_SWEEP_ONLY names a file of "test<TAB>fault" lines: only those
// faults are run, after the clean run, and the first problem ends the sweep
// (scripts/mutate.py runs the faulted runs that reach a changed line). The
// faults listed for the running test are returned; nullopt without the file.
std::optional<std::set<std::string>> ChosenFaults() {
    const char* path = std::getenv("VESK_FAULT_SWEEP_ONLY");
    if (!path || !*path) return std::nullopt;
    std::ifstream in(path);
    if (!in) ADD_FAILURE() << "cannot read " << path;
    std::set<std::string> chosen;
    const std::string test = CurrentTestName() + "\t";
    for (std::string line; std::getline(in, line);)
        if (line.compare(0, test.size(), test) == 0) chosen.insert(line.substr(test.size()));
    return chosen;
}

// Totals over every scenario, printed once at the end.
struct Totals {
    std::set<std::string> names;
    long sites = 0;        // faulted runs of a call
    long allocations = 0;  // faulted runs of an allocation
    long occurrences = 0;  // calls and allocations in the clean runs
    long scenarios = 0;
    ~Totals() {
        if (scenarios > 0)
            std::printf("fault sweep: %ld scenarios, %zu call names, %ld calls and allocations made, %ld faulted "
                        "runs of a call, %ld of an allocation\n",
                        scenarios, names.size(), occurrences, sites, allocations);
    }
};
Totals g_totals;

}  // namespace

// The faults to sweep. Every occurrence of a call (or an allocation) is
// placed in the command of the clean run during which it happened; commands
// that made exactly the same calls ran the same code, so the kth occurrence
// of a call in each of them is the same call site in the same situation and
// is swept once. VESK_FAULT_SWEEP=all sweeps every occurrence.
struct Plan {
    std::vector<Fault> faults;
    long occurrences = 0;  // calls and allocations of the clean run
    long names = 0;
};

Plan MakePlan(const RunResult& clean, bool all) {
    Plan plan;
    const std::vector<Step>& steps = clean.steps;
    std::vector<std::string> signature(steps.size());
    for (size_t i = 0; i < steps.size(); ++i) {
        const Step* before = i > 0 ? &steps[i - 1] : nullptr;
        std::string sig;
        for (const auto& [api, n] : steps[i].calls) {
            long was = before && before->calls.count(api) ? before->calls.at(api) : 0;
            if (n != was) sig += api + "=" + std::to_string(n - was) + ";";
        }
        sig += "alloc=" + std::to_string(steps[i].allocations - (before ? before->allocations : 0));
        signature[i] = sig;
    }
    std::set<std::string> seen;
    auto place = [&](const std::string& what, long nth, auto count_at) {
        for (size_t i = 0; i < steps.size(); ++i) {
            long upto = count_at(steps[i]);
            if (nth > upto) continue;
            long was = i > 0 ? count_at(steps[i - 1]) : 0;
            return seen.insert(signature[i] + "#" + what + "#" + std::to_string(nth - was)).second || all;
        }
        return true;
    };
    const Step& last = steps.back();
    for (const auto& [api, n] : last.calls) {
        ++plan.names;
        plan.occurrences += n;
        // First the call never succeeds at all: if that fails nothing, the
        // platform cannot make this call fail and its occurrences are not swept.
        plan.faults.push_back(Fault{api, 1, -1});
        auto calls_of = [api = api](const Step& s) { return s.calls.count(api) ? s.calls.at(api) : 0L; };
        for (long nth = 1; nth <= n; ++nth)
            if (place(api, nth, calls_of)) plan.faults.push_back(Fault{api, nth, 1});
    }
    plan.occurrences += last.allocations;
    plan.faults.push_back(Fault{"", 1, -1});  // the heap is exhausted
    auto allocations_of = [](const Step& s) { return s.allocations; };
    for (long nth = 1; nth <= last.allocations; ++nth)
        if (place("", nth, allocations_of)) plan.faults.push_back(Fault{"", nth, 1});
    return plan;
}

TEST_P(FaultSweep, VeskSurvivesEveryFailingCallAndAllocation) {
    std::string error;
    auto script = LoadScenario(GetParam(), &error);
    ASSERT_TRUE(script) << error;

    // The clean run: it must pass every check itself, and it says what to fail.
    RunResult clean = Play(*script, Fault{});
    for (const std::string& p : clean.problems) ADD_FAILURE() << p;
    ASSERT_TRUE(clean.started);
    ASSERT_FALSE(clean.steps.empty());
    ASSERT_FALSE(clean.steps.back().calls.empty());

    const char* env = std::getenv("VESK_FAULT_SWEEP");
    Plan plan = MakePlan(clean, env && std::string(env) == "all");
    const std::optional<std::set<std::string>> chosen = ChosenFaults();
    std::vector<std::string> problems;
    std::set<std::string> cannot_fail, failed_names;
    long runs = 0, allocation_runs = 0;
    // VESK_FAULT_SWEEP_SAMPLE=N makes every Nth of the faulted runs, for
    // runs under a slow checker (scripts/memcheck.sh).
    const char* sample_env = std::getenv("VESK_FAULT_SWEEP_SAMPLE");
    const long sample = sample_env ? std::max(1L, std::atol(sample_env)) : 1;
    long candidates = 0;
    for (const Fault& fault : plan.faults) {
        if (chosen) {
            if (!chosen->count(fault.Name())) continue;
        } else if (cannot_fail.count(fault.api) || candidates++ % sample != 0) {
            continue;
        }
        if (vesk_coverage_unit) vesk_coverage_unit(fault.Name().c_str());
        RunResult r = Play(*script, fault);
        if (vesk_coverage_unit) vesk_coverage_unit(nullptr);
        problems.insert(problems.end(), r.problems.begin(), r.problems.end());
        if (chosen) {
            if (!problems.empty()) break;
            continue;
        }
        // A call that fails for good and changes nothing at all is one that
        // the platform does not fail (or whose failure vesk never sees): its
        // single occurrences would change nothing either.
        if (fault.count < 0 && (r.failed == 0 || r.SameAs(clean))) {
            cannot_fail.insert(fault.api);
            continue;
        }
        ++runs;
        if (fault.api.empty()) {
            ++allocation_runs;
        } else {
            failed_names.insert(fault.api);
            g_totals.names.insert(fault.api);
        }
    }

    g_totals.sites += runs - allocation_runs;
    g_totals.allocations += allocation_runs;
    g_totals.occurrences += plan.occurrences;
    ++g_totals.scenarios;
    std::string skipped;
    for (const std::string& api : cannot_fail) skipped += " " + (api.empty() ? std::string("(allocations)") : api);
    std::printf("%s: %ld calls of %ld names and %ld allocations made; %zu names swept; %ld faulted runs "
                "(%ld of allocations); failing changes nothing:%s\n",
                GetParam().c_str(), plan.occurrences - clean.steps.back().allocations, plan.names,
                clean.steps.back().allocations, failed_names.size(), runs, allocation_runs, skipped.c_str());

    const size_t kShown = 40;
    std::string shown;
    for (size_t i = 0; i < problems.size() && i < kShown; ++i) shown += "\n  " + problems[i];
    EXPECT_TRUE(problems.empty()) << problems.size() << " problems" << shown;
}

namespace {

// Launches an application of each name, then starts vesk.
DWORD StartWithApps(sim::Device& device, std::initializer_list<const char*> names) {
    for (const char* name : names) {
        sim::AppConfig app;
        app.name = name;
        device.Launch(app);
    }
    return vesk_host::StartVesk(device);
}

// A tap on the menu strip opens the task menu; a tap in the bottom-left
// corner dismisses it. False when the menu did not open.
bool ShowAndDismissMenu(sim::Device& device) {
    device.Tap(214, 10);
    if (!device.OpenMenu()) return false;
    device.Tap(0, 319);
    return true;
}

}  // namespace

// A device context whose state cannot be saved: the button's face and the
// task items are not drawn, rather than drawn with objects that could not
// be taken out of the context again before their deletion.
TEST(Faults, AnUnsavedDeviceContextIsNotDrawnOn) {
    sim::Device device;
    DWORD vesk = StartWithApps(device, {"alpha"});
    ASSERT_TRUE(device.Running(vesk));
    const sim::Counts baseline = device.CountsOf(vesk);
    auto deleted_selected = [&] {
        long n = 0;
        for (const std::string& line : device.Log())
            if (line.find("delete-selected") != std::string::npos || line.find("invalid-dc") != std::string::npos) ++n;
        return n;
    };

    // Nothing is drawn on the context once its paint has ended either.
    device.FailCall("SaveDC", 1, 1);
    device.Notify();
    EXPECT_EQ(device.FaultsMade(), 1);
    EXPECT_EQ(deleted_selected(), 0);
    EXPECT_EQ(device.CountsOf(vesk), baseline);

    // Every item of a showing of the task menu.
    device.FailCall("SaveDC", 1, -1);
    ASSERT_TRUE(ShowAndDismissMenu(device));
    device.ClearFaults();
    EXPECT_EQ(deleted_selected(), 0);
    EXPECT_EQ(device.CountsOf(vesk), baseline);

    device.Close(vesk, u"VeskClass");
    EXPECT_EQ(device.Reclaimed(vesk).gdi, 1);
}

// A device context whose saved state cannot be put back still has vesk's
// pen, brushes and font selected: vesk selects the stock objects instead
// before it deletes its own, for the button's face (with the cross, and with
// "ok" in its own font) and for every task item.
TEST(Faults, AFailedRestoreLeavesNoOwnObjectSelected) {
    for (DWORD exstyle : {DWORD(0), DWORD(WS_EX_CAPTIONOKBTN)}) {
        sim::Device device;
        device.Launch({.name = "alpha", .exstyle = exstyle});
        DWORD vesk = vesk_host::StartVesk(device);
        ASSERT_TRUE(device.Running(vesk));
        const sim::Counts baseline = device.CountsOf(vesk);

        device.FailCall("RestoreDC", 1, -1);
        device.Notify();
        ASSERT_TRUE(ShowAndDismissMenu(device));
        EXPECT_GE(device.FaultsMade(), 3);  // the face, the Desktop item, alpha's item
        device.ClearFaults();
        for (const std::string& line : device.Log())
            EXPECT_EQ(line.find("delete-selected"), std::string::npos) << exstyle << ": " << line;
        EXPECT_EQ(device.CountsOf(vesk), baseline);
    }
}

// A message loop that ends because GetMessageW failed has no quit message:
// vesk ends with 0, not with the parameter of the last message it handled,
// and still puts the taskbar's procedure back.
TEST(Faults, AFailedMessageLoopEndsWithZero) {
    sim::Device device;
    DWORD vesk = vesk_host::StartVesk(device);
    ASSERT_TRUE(device.Running(vesk));
    device.FailCall("GetMessageW", 1, 1);
    device.PenDown(230, 10);  // WM_LBUTTONDOWN carries MK_LBUTTON
    EXPECT_FALSE(device.Running(vesk));
    EXPECT_EQ(device.ExitCode(vesk), 0);
    bool unhooked = false;
    for (const std::string& line : device.Log())
        if (line.find("hook removed") != std::string::npos) unhooked = true;
    EXPECT_TRUE(unhooked);
    device.PenUp(230, 10);
}

// A quit message posted by another program ends vesk with its code.
TEST(Faults, AQuitMessageEndsVeskWithItsCode) {
    sim::Device other;
    DWORD quitting = vesk_host::StartVesk(other);
    testing_support::RunProgram(other, [&] {
        for (HWND w = GetWindow(other.taskbar(), GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT)) {
            WCHAR name[16] = {0};
            GetClassNameW(w, name, 16);
            if (sim::WString(name) == u"VeskClass") return PostMessageW(w, WM_QUIT, 7, 0) ? 0 : 1;
        }
        return 1;
    });
    EXPECT_FALSE(other.Running(quitting));
    EXPECT_EQ(other.ExitCode(quitting), 7);
}

// Without the separator after the task items, the walks over the popup go on
// through the template's string items to its own separator. Reading an
// owner-drawn item hands its entry back in dwTypeData, and a string item its
// length in cch: the walks must not let the next string item be copied into
// an entry, deleted or alive.
TEST(Faults, APopupWithoutItsSeparatorIsWalkedSafely) {
    sim::Device device;
    DWORD vesk = StartWithApps(device, {"alpha", "bravo"});
    ASSERT_TRUE(device.Running(vesk));
    const sim::Counts baseline = device.CountsOf(vesk);

    // The Desktop entry, two tasks, then the separator: its insertion fails.
    device.FailCall("InsertMenuW", 4, 1);
    device.Tap(214, 10);
    std::optional<sim::MenuView> menu = device.OpenMenu();
    ASSERT_TRUE(menu);
    ASSERT_EQ(menu->items.size(), 3u + 5u);
    EXPECT_FALSE(menu->items[3].separator);
    device.Tap(0, 319);
    EXPECT_EQ(device.CountsOf(vesk), baseline);

    // "Close &All Tasks" walks from the tasks through "&Minimize" and
    // "Close &Background Tasks".
    device.FailCall("InsertMenuW", 4, 1);
    device.Tap(214, 10);
    menu = device.OpenMenu();
    ASSERT_TRUE(menu);
    const RECT& all = menu->items[5].rect;
    ASSERT_EQ(menu->items[5].id, UINT(IDM_CLOSE_ALL));
    device.Tap((all.left + all.right) / 2, (all.top + all.bottom) / 2);
    EXPECT_FALSE(device.Find("alpha"));
    EXPECT_FALSE(device.Find("bravo"));
    EXPECT_EQ(device.CountsOf(vesk), baseline);
    device.Close(vesk, u"VeskClass");
    EXPECT_EQ(device.Reclaimed(vesk).heap, 0);
}

// The menu template without its popup: nothing is built or shown, and
// nothing is left behind.
TEST(Faults, ATemplateWithoutItsPopupShowsNothingAndKeepsNothing) {
    sim::Device device;
    DWORD vesk = StartWithApps(device, {"alpha"});
    ASSERT_TRUE(device.Running(vesk));
    const sim::Counts baseline = device.CountsOf(vesk);
    auto calls = [&](const char* api) {
        auto it = device.CallCounts().find(api);
        return it == device.CallCounts().end() ? 0L : it->second;
    };
    long snapshots = calls("CreateToolhelp32Snapshot"), tracks = calls("TrackPopupMenuEx");
    device.FailCall("GetSubMenu", 1, 1);
    EXPECT_FALSE(ShowAndDismissMenu(device));
    EXPECT_EQ(device.FaultsMade(), 1);
    EXPECT_EQ(device.CountsOf(vesk), baseline);
    EXPECT_EQ(calls("CreateToolhelp32Snapshot"), snapshots);
    EXPECT_EQ(calls("TrackPopupMenuEx"), tracks);
    ASSERT_TRUE(ShowAndDismissMenu(device));  // the next tap shows it
}

// An entry whose item cannot be read in the clean-up is lost, but the walk
// goes on and the entries of the items after it are deleted.
TEST(Faults, AnUnreadableItemLosesOnlyItsOwnEntry) {
    sim::Device device;
    DWORD vesk = StartWithApps(device, {"alpha", "bravo", "charlie"});
    ASSERT_TRUE(device.Running(vesk));
    // Dismissed, the menu reads nothing before its clean-up: the second read
    // is the item at position 1, the first task.
    device.FailCall("GetMenuItemInfoW", 2, 1);
    ASSERT_TRUE(ShowAndDismissMenu(device));
    EXPECT_EQ(device.FaultsMade(), 1);
    EXPECT_EQ(device.CountsOf(vesk).heap, 2);  // that task's entry and its title
    EXPECT_EQ(device.CountsOf(vesk).menus, 0);
}

// One allocation that fails while the menu is built loses one task item at
// most: the walk over the windows goes on past a window whose title or entry
// could not be made.
TEST(Faults, AFailedAllocationLosesOneTaskAtMost) {
    sim::Device device;
    DWORD vesk = StartWithApps(device, {"alpha", "bravo", "charlie"});
    ASSERT_TRUE(device.Running(vesk));
    auto tasks = [&] {
        int n = 0;
        if (auto menu = device.OpenMenu())
            for (const sim::MenuItemView& item : menu->items) n += item.owner_drawn;
        return n;
    };
    device.Tap(214, 10);
    const int all = tasks();  // the desktop and the three applications
    ASSERT_EQ(all, 4);
    device.Tap(0, 319);
    for (long nth = 1; nth <= 24; ++nth) {
        SCOPED_TRACE(nth);
        device.FailAllocation(nth);
        device.Tap(214, 10);
        const bool failed = device.FaultsMade() > 0;
        EXPECT_GE(tasks(), failed ? all - 1 : all);
        device.Tap(0, 319);
        device.ClearFaults();
    }
}

INSTANTIATE_TEST_SUITE_P(Scenarios, FaultSweep, ::testing::ValuesIn(ScenarioNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

// Without the button's place on the screen there is nowhere to show the
// task menu: a tap on the strip opens none, and vesk holds what it held.
TEST(Faults, WithoutTheButtonsPlaceNoMenuOpens) {
    sim::Device device;
    DWORD vesk = StartWithApps(device, {"alpha"});
    const sim::Counts baseline = device.CountsOf(vesk);
    device.FailCall("GetWindowRect", 1, -1);
    device.Tap(device.config().width - 28 + 1, 5);
    device.ClearFaults();
    EXPECT_FALSE(device.OpenMenu());
    EXPECT_TRUE(testing_support::LogLines(device, "menu open").empty());
    EXPECT_EQ(device.CountsOf(vesk), baseline);
}
