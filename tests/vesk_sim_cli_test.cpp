// The vesk-sim program as a person runs it: its options, a script from a
// file, the demo tour, and the interactive window under a virtual X display
// driven with real pointer and key events. Every child process is bounded by
// a deadline and killed if it overruns it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <sim/surface.h>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// A child process with its output read through pipes.
class Child {
public:
    // `env` entries "NAME=value" replace or add to the environment; "NAME=" removes NAME.
    Child(const std::vector<std::string>& argv, const std::vector<std::string>& env = {}, const fs::path& cwd = {},
          bool quiet = false) {
        int out[2], err[2];
        if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return;
        std::vector<std::string> environment;
        for (char** e = environ; *e; ++e) {
            std::string entry = *e;
            bool replaced = false;
            for (const std::string& mine : env)
                if (entry.substr(0, entry.find('=') + 1) == mine.substr(0, mine.find('=') + 1)) replaced = true;
            if (!replaced) environment.push_back(entry);
        }
        for (const std::string& mine : env)
            if (mine.back() != '=') environment.push_back(mine);
        pid_ = fork();
        if (pid_ == 0) {
            setpgid(0, 0);
            int null = open("/dev/null", O_RDWR);
            dup2(null, 0);
            dup2(quiet ? null : out[1], 1);
            dup2(quiet ? null : err[1], 2);
            if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
            std::vector<char*> args, envp;
            for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            for (const auto& e : environment) envp.push_back(const_cast<char*>(e.c_str()));
            envp.push_back(nullptr);
            execvpe(args[0], args.data(), envp.data());
            _exit(127);
        }
        close(out[1]);
        close(err[1]);
        out_fd_ = out[0];
        err_fd_ = err[0];
    }
    ~Child() {
        if (pid_ > 0 && !status_) {
            // Asked first, so that a display server removes its lock and socket.
            kill(pid_, SIGTERM);
            auto deadline = Clock::now() + std::chrono::seconds(3);
            while (waitpid(pid_, nullptr, WNOHANG) == 0) {
                if (Clock::now() >= deadline) {
                    kill(-pid_, SIGKILL);
                    kill(pid_, SIGKILL);
                    waitpid(pid_, nullptr, 0);
                    break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        }
        if (out_fd_ >= 0) close(out_fd_);
        if (err_fd_ >= 0) close(err_fd_);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool started() const { return pid_ > 0; }
    const std::string& out() const { return out_; }
    const std::string& err() const { return err_; }

    // Reads output until `text` shows on stdout (true) or the deadline passes.
    bool ReadUntil(const std::string& text, std::chrono::milliseconds limit) {
        auto deadline = Clock::now() + limit;
        while (out_.find(text, scanned_) == std::string::npos) {
            if (Clock::now() >= deadline || !Pump(deadline)) return false;
        }
        scanned_ = out_.find(text, scanned_) + text.size();
        return true;
    }
    // Waits for the exit (its code, or -1 if killed or overrunning the deadline).
    int Wait(std::chrono::milliseconds limit) {
        auto deadline = Clock::now() + limit;
        while (!status_) {
            if (Clock::now() >= deadline) {
                kill(-pid_, SIGKILL);
                kill(pid_, SIGKILL);
                int st;
                waitpid(pid_, &st, 0);
                status_ = st;
                return -1;
            }
            if (!Pump(deadline)) {
                int st;
                if (waitpid(pid_, &st, WNOHANG) == pid_) status_ = st;
                else std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }
        while (Pump(Clock::now())) {
        }
        return WIFEXITED(*status_) ? WEXITSTATUS(*status_) : -1;
    }
    void Signal(int sig) {
        if (pid_ > 0 && !status_) kill(pid_, sig);
    }

private:
    // Reads what is there, waiting until the deadline; false once both pipes are closed.
    bool Pump(Clock::time_point deadline) {
        pollfd fds[2] = {{out_fd_, POLLIN, 0}, {err_fd_, POLLIN, 0}};
        int open_fds = (out_fd_ >= 0) + (err_fd_ >= 0);
        if (!open_fds) return false;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        int n = poll(fds, 2, int(std::clamp<long long>(left, 0, 100)));
        if (n <= 0) return true;
        for (int i = 0; i < 2; ++i) {
            int& fd = i == 0 ? out_fd_ : err_fd_;
            if (fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            char buf[4096];
            ssize_t got = read(fd, buf, sizeof buf);
            if (got > 0) {
                (i == 0 ? out_ : err_).append(buf, size_t(got));
            } else {
                close(fd);
                fd = -1;
            }
        }
        return true;
    }

    pid_t pid_ = -1;
    int out_fd_ = -1, err_fd_ = -1;
    std::string out_, err_;
    size_t scanned_ = 0;
    std::optional<int> status_;
};

struct Outcome {
    int code;
    std::string out, err;
};

Outcome RunSim(const std::vector<std::string>& args, const fs::path& cwd = {}, const std::vector<std::string>& env = {}) {
    std::vector<std::string> argv = {VESK_SIM_EXE};
    argv.insert(argv.end(), args.begin(), args.end());
    Child child(argv, env, cwd);
    int code = child.Wait(std::chrono::seconds(60));
    return Outcome{code, child.out(), child.err()};
}

bool OnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::string p = path ? path : "";
    size_t start = 0;
    while (start <= p.size()) {
        size_t end = p.find(':', start);
        if (end == std::string::npos) end = p.size();
        fs::path candidate = fs::path(p.substr(start, end - start)) / program;
        if (access(candidate.c_str(), X_OK) == 0) return true;
        start = end + 1;
    }
    return false;
}

class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fs::exists(VESK_SIM_EXE)) << "build the vesk-sim target first";
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() / ("vesk-cli-" + std::to_string(getpid()) + "-" + info->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        if (!HasFailure()) fs::remove_all(dir_);
    }
    fs::path Write(const std::string& name, const std::string& text) {
        fs::path p = dir_ / name;
        std::ofstream(p, std::ios::binary) << text;
        return p;
    }
    static std::string Slurp(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    fs::path dir_;
};

}  // namespace

TEST_F(CliTest, HelpDocumentsEveryOptionAndCommand) {
    Outcome r = RunSim({"--help"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, "");
    for (const char* word :
         {"--device WxH", "--dpi N", "--zoom N", "--out DIR", "--demo [DIR]", "--script FILE", "--version",
          "device W H", "reg HKLM", "theme back=", "app NAME", "activate NAME", "release NAME", "start ",
          "down X Y", "move X Y", "up X Y", "tap X Y", "wait MS", "notify", "dump", "shot FILE", "quit",
          "menu-tap POS [at=X]", "menu-scroll up|down [N]", "menu-dismiss", "include \"FILE\"", "expect \"TEXT\"", "expect-not \"TEXT\"",
          "expect-pixel X Y 0xBBGGRR", "expect-window NAME", "expect-counts NAME|vesk", "T menu open items=N",
          "T shot FILE", "Escape", "--install FILE.cab", "install \"FILE.cab\"", "reset ", "T installed PATH",
          "T shortcut PATH -> TARGET", "T reset", "T startup FILE -> TARGET", "runs vesk built from source"})
        EXPECT_NE(r.out.find(word), std::string::npos) << word;

    Outcome v = RunSim({"--version"});
    EXPECT_EQ(v.code, 0);
    EXPECT_EQ(v.out.rfind("vesk-sim ", 0), 0u) << v.out;
}

TEST_F(CliTest, BadOptionsAreUsageErrors) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--bogus"}, "unknown option --bogus"},
        {{"stray"}, "unexpected argument \"stray\""},
        {{"--script"}, "--script needs a file name"},
        {{"--device", "240"}, "--device needs WxH"},
        {{"--device", "10x10"}, "--device needs WxH, each 64..4096"},
        {{"--dpi", "12x"}, "--dpi needs a resolution"},
        {{"--zoom", "0"}, "--zoom needs a whole number 1..8"},
        {{"--script", "a.vsk", "--demo"}, "--script and --demo cannot be combined"},
        {{"--script", "a.vsk", "--dpi", "192"}, "a script chooses its device"},
        {{"--demo", "--out", "x"}, "the demo's folder is given as --demo DIR, not --out"},
        {{"--install"}, "--install needs a cabinet file name"},
        {{"--script", "a.vsk", "--install", "vesk.cab"}, "a script installs with its `install` line"},
    };
    for (const auto& [args, says] : cases) {
        Outcome r = RunSim(args, dir_);
        EXPECT_EQ(r.code, 2) << args[0];
        EXPECT_NE(r.err.find("vesk-sim: " + says), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("--help"), std::string::npos);
        EXPECT_EQ(r.out, "");
    }
    EXPECT_TRUE(fs::is_empty(dir_)) << "a refused command line writes nothing";
}

TEST_F(CliTest, AScriptPlaysFromItsFileAndErrorsNameTheLine) {
    fs::path good = Write("good.vsk", "start\napp Notes\nshot notes.png\nexpect \"foreground Notes\"\n");
    Outcome ok = RunSim({"--script", good.string(), "--out", (dir_ / "out").string()});
    EXPECT_EQ(ok.code, 0) << ok.err;
    EXPECT_TRUE(fs::exists(dir_ / "out/notes.png"));
    std::string log = Slurp(dir_ / "out/events.log");
    EXPECT_NE(log.find("shot notes.png\n"), std::string::npos) << log;
    EXPECT_NE(log.find("hook removed\n"), std::string::npos) << log;

    fs::path bad = Write("bad.vsk", "start\r\n# fine so far\r\nfrobnicate 1 2\r\n");
    Outcome malformed = RunSim({"--script", bad.string(), "--out", (dir_ / "bad-out").string()});
    EXPECT_EQ(malformed.code, 2);
    EXPECT_EQ(malformed.err.rfind(bad.string() + ":3: unknown command \"frobnicate\"", 0), 0u) << malformed.err;
    EXPECT_FALSE(fs::exists(dir_ / "bad-out")) << "nothing runs before the whole script is read";

    fs::path failing = Write("failing.vsk", "app Notes\nexpect \"foreground Calendar\"\n");
    Outcome failed = RunSim({"--script", failing.string(), "--out", (dir_ / "failed").string()});
    EXPECT_EQ(failed.code, 1);
    EXPECT_NE(failed.err.find(failing.string() + ":2: expected a line containing \"foreground Calendar\""),
              std::string::npos)
        << failed.err;
    EXPECT_TRUE(fs::exists(dir_ / "failed/events.log"));

    Outcome missing = RunSim({"--script", (dir_ / "none.vsk").string()});
    EXPECT_EQ(missing.code, 2);
    EXPECT_NE(missing.err.find("cannot read the script"), std::string::npos) << missing.err;
}

TEST_F(CliTest, TheDemoTourWritesItsShotsLogAndContactSheet) {
    Outcome r = RunSim({"--demo", (dir_ / "demo").string()});
    EXPECT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("contact sheet: " + (dir_ / "demo/contact-sheet.png").string()), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("event log:     " + (dir_ / "demo/events.log").string()), std::string::npos);

    std::string log = Slurp(dir_ / "demo/events.log");
    EXPECT_NE(log.find(" hook removed\n"), std::string::npos);
    int shots = 0;
    for (const auto& entry : fs::directory_iterator(dir_ / "demo")) {
        if (entry.path().extension() != ".png" || entry.path().filename() == "contact-sheet.png") continue;
        ++shots;
        EXPECT_NE(log.find(" shot " + entry.path().filename().string() + "\n"), std::string::npos);
        sim::Surface s;
        ASSERT_TRUE(sim::ReadPng(entry.path().string(), &s));
        // One step of the tour turns the screen to landscape.
        bool landscape = entry.path().filename().string().find("landscape") != std::string::npos;
        EXPECT_EQ(s.width, landscape ? 320 : 240);
        EXPECT_EQ(s.height, landscape ? 240 : 320);
    }
    EXPECT_GE(shots, 10);
    sim::Surface sheet;
    ASSERT_TRUE(sim::ReadPng((dir_ / "demo/contact-sheet.png").string(), &sheet));
    // Four thumbnails a row, a row for every four shots.
    EXPECT_GT(sheet.width, 4 * 160);
    EXPECT_GT(sheet.height, ((shots + 3) / 4) * 213);
}

TEST_F(CliTest, WithoutADisplayTheDemoTourPlaysInstead) {
    Outcome r = RunSim({}, dir_, {"DISPLAY=", "WAYLAND_DISPLAY="});
    EXPECT_NE(r.out.find("no display; playing the demo tour instead"), std::string::npos) << r.out << r.err;
    EXPECT_TRUE(fs::exists(dir_ / "vesk-sim-demo/contact-sheet.png"));
    EXPECT_TRUE(fs::exists(dir_ / "vesk-sim-demo/events.log"));
}

TEST_F(CliTest, WithoutADisplayInstallInstallsAndResetsTheDevice) {
    fs::path cab = fs::path(VESK_E2E_FILES) / "vesk.cab";
    const std::vector<std::string> no_display = {"DISPLAY=", "WAYLAND_DISPLAY="};
    Outcome r = RunSim({"--install", cab.string()}, dir_, no_display);
    EXPECT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("installed " + cab.string() + " and reset the device"), std::string::npos) << r.out;
    std::string log = Slurp(dir_ / "vesk-sim-out/events.log");
    for (const char* line : {" installed \\Program Files\\vesk\\vesk.exe\n", " reset\n",
                             " startup \\Windows\\StartUp\\vesk.lnk -> \\Program Files\\vesk\\vesk.exe\n",
                             " hook installed\n", " hook removed\n", " exit 0\n"})
        EXPECT_NE(log.find(line), std::string::npos) << line << log;

    std::string bytes = Slurp(cab);
    fs::path cut = Write("cut.cab", bytes.substr(0, 100));
    Outcome refused = RunSim({"--install", cut.string()}, dir_, no_display);
    EXPECT_EQ(refused.code, 2);
    // Its last line (a build without SDL2 first says it has no window).
    const std::string said = "vesk-sim: " + cut.string() + ": the cabinet is cut short: its header says " +
                             std::to_string(bytes.size()) + " bytes, the file holds 100\n";
    EXPECT_TRUE(refused.err.ends_with(said)) << refused.err;
}

TEST_F(CliTest, TheWindowTakesRealPointerAndKeyEvents) {
    if (!VESK_SIM_HAS_WINDOW) GTEST_SKIP() << "vesk-sim is built without SDL2 here, so it has no window";
    if (!OnPath("Xvfb") || !OnPath("xdotool"))
        GTEST_SKIP() << "needs Xvfb and xdotool (Debian packages xvfb and xdotool)";

    // A free display number: no lock file and no socket.
    int display = 99 + getpid() % 100;
    while (fs::exists("/tmp/.X" + std::to_string(display) + "-lock") ||
           fs::exists("/tmp/.X11-unix/X" + std::to_string(display)))
        ++display;
    const std::string name = ":" + std::to_string(display);
    Child xvfb({"Xvfb", name, "-screen", "0", "1024x768x24", "-nolisten", "tcp"}, {}, {}, true);
    ASSERT_TRUE(xvfb.started());
    auto ready = Clock::now() + std::chrono::seconds(20);
    while (!fs::exists("/tmp/.X11-unix/X" + std::to_string(display)) && Clock::now() < ready)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(fs::exists("/tmp/.X11-unix/X" + std::to_string(display))) << "Xvfb did not start";
    const std::vector<std::string> env = {"DISPLAY=" + name, "WAYLAND_DISPLAY="};
    auto xdotool = [&](std::vector<std::string> args) {
        args.insert(args.begin(), "xdotool");
        Child c(args, env);
        int code = c.Wait(std::chrono::seconds(20));
        EXPECT_EQ(code, 0) << args[1] << ": " << c.err();
        return c.out();
    };

    // The display libraries under the window (X11, D-Bus) keep a few blocks
    // until the process ends, which a sanitizer build would report as leaks;
    // vesk-sim's own code is leak-checked by the script and demo runs.
    std::vector<std::string> sim_env = env;
    const char* asan = std::getenv("ASAN_OPTIONS");
    sim_env.push_back(std::string("ASAN_OPTIONS=") + (asan && *asan ? std::string(asan) + ":" : "") + "detect_leaks=0");
    Child sim({VESK_SIM_EXE, "--out", (dir_ / "out").string()}, sim_env, dir_);
    ASSERT_TRUE(sim.ReadUntil("the mouse is the pen", std::chrono::seconds(30))) << sim.out() << sim.err();
    EXPECT_NE(sim.out().find("vesk-sim \xE2\x80\x94 Pocket PC 240x320, 96 dpi"), std::string::npos) << sim.out();
    std::string window = xdotool({"search", "--sync", "--name", "vesk-sim"});
    window = window.substr(0, window.find('\n'));
    ASSERT_FALSE(window.empty());

    auto screenshot = [&]() {
        xdotool({"key", "s"});
        EXPECT_TRUE(sim.ReadUntil("screenshot: ", std::chrono::seconds(20))) << sim.out() << sim.err();
        EXPECT_TRUE(sim.ReadUntil("\n", std::chrono::seconds(5)));
        size_t at = sim.out().rfind("screenshot: ");
        std::string path = sim.out().substr(at + 12, sim.out().find('\n', at) - at - 12);
        sim::Surface s;
        EXPECT_TRUE(sim::ReadPng(path, &s)) << path;
        return s;
    };

    // The pointer rests on the desktop (keys go to the window under it), then
    // clicks the button's menu strip: device x 212..218, here at zoom 2.
    xdotool({"mousemove", "--window", window, "100", "400"});
    sim::Surface before = screenshot();
    ASSERT_EQ(before.width, 240);
    ASSERT_EQ(before.height, 320);
    xdotool({"mousemove", "--window", window, "428", "20", "click", "1"});
    sim::Surface after = screenshot();
    ASSERT_EQ(after.width, 240);

    // The task menu hangs below the button: pixels there change, the screen's
    // bottom-left corner (far from the popup) does not.
    int changed_below = 0, changed_corner = 0;
    for (int y = 27; y < 120; ++y)
        for (int x = 160; x < 240; ++x) changed_below += before.At(x, y) != after.At(x, y);
    for (int y = 280; y < 320; ++y)
        for (int x = 0; x < 40; ++x) changed_corner += before.At(x, y) != after.At(x, y);
    EXPECT_GT(changed_below, 200) << "no popup below the button";
    EXPECT_EQ(changed_corner, 0);

    // r turns the screen and the window with it, at the same zoom.
    xdotool({"key", "r"});
    EXPECT_TRUE(sim.ReadUntil("screen 320x240\n", std::chrono::seconds(20))) << sim.out() << sim.err();
    sim::Surface turned = screenshot();
    EXPECT_EQ(turned.width, 320);
    EXPECT_EQ(turned.height, 240);
    std::string geometry;
    for (int i = 0; i < 50 && geometry.find("640x480") == std::string::npos; ++i) {
        if (i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        geometry = xdotool({"getwindowgeometry", window});
    }
    EXPECT_NE(geometry.find("640x480"), std::string::npos) << geometry;

    xdotool({"key", "Escape"});
    EXPECT_EQ(sim.Wait(std::chrono::seconds(30)), 0) << sim.out() << sim.err();
    EXPECT_NE(sim.out().find("vesk exited with code 0\n"), std::string::npos) << sim.out();
    EXPECT_NE(sim.out().find("event log: " + (dir_ / "out/events.log").string()), std::string::npos) << sim.out();
    std::string log = Slurp(dir_ / "out/events.log");
    EXPECT_NE(log.find(" menu open "), std::string::npos) << log;
    EXPECT_NE(log.find(" display 320 240\n"), std::string::npos);
    EXPECT_NE(log.find(" hook removed\n"), std::string::npos);
    EXPECT_NE(log.find(" exit 0\n"), std::string::npos);
}
