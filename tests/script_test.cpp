// vesk-sim's script language and player, in-process: every command parsed,
// every malformed line refused with its file and line, and scripts played on
// a simulated device with vesk running on it.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "player.h"
#include "script.h"
#include <sim/surface.h>

namespace fs = std::filesystem;
using namespace vesk_sim;

namespace {

Script Parse(const std::string& text) {
    ParseResult r = ParseScript(text, "t.vsk", nullptr);
    EXPECT_TRUE(r.ok()) << r.error.Format();
    return r.ok() ? *r.script : Script{};
}

ScriptError ParseError(const std::string& text, const Loader& loader = nullptr) {
    ParseResult r = ParseScript(text, "t.vsk", loader);
    EXPECT_FALSE(r.ok()) << "accepted:\n" << text;
    return r.error;
}

template <class T>
const T& At(const Script& s, size_t i) {
    static const T kNone{};
    if (i >= s.commands.size()) {
        ADD_FAILURE() << "no command " << i;
        return kNone;
    }
    const T* t = std::get_if<T>(&s.commands[i].action);
    if (!t) {
        ADD_FAILURE() << "command " << i << " (" << s.commands[i].source << ") is not the expected kind";
        return kNone;
    }
    return *t;
}

// A fresh output folder per test, removed afterwards.
class PlayTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() /
               ("vesk-script-" + std::to_string(getpid()) + "-" + info->test_suite_name() + "-" + info->name());
        fs::remove_all(dir_);
    }
    void TearDown() override {
        if (!HasFailure()) fs::remove_all(dir_);
    }

    PlayResult PlayText(const std::string& text) {
        ParseResult parsed = ParseScript(text, "t.vsk", nullptr);
        EXPECT_TRUE(parsed.ok()) << parsed.error.Format();
        if (!parsed.ok()) return PlayResult{kExitScript, parsed.error.Format(), {}, {}, {}, {}};
        std::ostringstream err;
        PlayResult r = Play(*parsed.script, dir_, err);
        EXPECT_EQ(err.str(), r.message.empty() ? "" : r.message + "\n");
        return r;
    }

    static std::string Joined(const std::vector<std::string>& lines) {
        std::string out;
        for (const auto& l : lines) out += l + "\n";
        return out;
    }
    // Index of the first line containing `text` at or after `from`, or -1.
    static long Find(const std::vector<std::string>& log, const std::string& text, size_t from = 0) {
        for (size_t i = from; i < log.size(); ++i)
            if (log[i].find(text) != std::string::npos) return long(i);
        return -1;
    }

    fs::path dir_;
};

}  // namespace

// ---------------------------------------------------------------------------
// Parsing

TEST(ScriptParse, EveryCommandWithItsArguments) {
    Script s = Parse(R"(device 480 640 dpi=192 taskbar=52
reg HKLM "Software\Microsoft\Color" "8" dword 0xFF00AA
reg HKCU "Key" "Blob" binary 00ff 10
reg HKLM "Key" "Gone" delete
theme back=0x102030 fore=0xFFFFFF
app Mail exe=pmail.exe class="Mail Window" title="Inbox \"new\"" style=0x90000004 exstyle=0x8 ok owner=Other hidden on-close=hang on-ok=ignore
activate Desktop
release Mail
start
down 1 2
move 3 4
up 479 639
tap 0x10 20
wait 250
notify
dump
shot sub/a.png
quit
menu-tap 3
menu-tap 0 at=231
menu-dismiss
expect "msg Mail WM_CLOSE"
expect-not hook
expect-pixel 5 6 0x00ff80
expect-window Mail visible=0 foreground
expect-window Gone gone
expect-counts vesk gdi=2 heap=0
menu-scroll down 12
menu-scroll up
install "cabs/vesk.cab"
reset
)");
    EXPECT_TRUE(s.device_given);
    EXPECT_EQ(s.device.width, 480);
    EXPECT_EQ(s.device.height, 640);
    EXPECT_EQ(s.device.dpi, 192);
    EXPECT_EQ(s.device.taskbar_height, 52);
    ASSERT_EQ(s.commands.size(), 30u);

    const auto& r0 = At<RegCmd>(s, 0);
    EXPECT_EQ(r0.root, HKEY_LOCAL_MACHINE);
    EXPECT_EQ(r0.key, u"Software\\Microsoft\\Color");
    EXPECT_EQ(r0.name, u"8");
    EXPECT_EQ(r0.kind, RegCmd::Kind::Dword);
    EXPECT_EQ(r0.value, 0xFF00AAu);
    const auto& r1 = At<RegCmd>(s, 1);
    EXPECT_EQ(r1.root, HKEY_CURRENT_USER);
    EXPECT_EQ(r1.bytes, (std::vector<uint8_t>{0x00, 0xFF, 0x10}));
    EXPECT_EQ(At<RegCmd>(s, 2).kind, RegCmd::Kind::Delete);
    EXPECT_EQ(At<ThemeCmd>(s, 3).back, 0x102030u);
    EXPECT_EQ(At<ThemeCmd>(s, 3).fore, 0xFFFFFFu);

    const sim::AppConfig& app = At<AppCmd>(s, 4).app;
    EXPECT_EQ(app.name, "Mail");
    EXPECT_EQ(app.exe, u"pmail.exe");
    EXPECT_EQ(app.class_name, u"Mail Window");
    EXPECT_EQ(app.title, std::optional<sim::WString>(u"Inbox \"new\""));
    EXPECT_EQ(app.style, 0x90000004u);
    EXPECT_EQ(app.exstyle, 0x80000008u);  // `ok` adds the caption's OK button bit
    EXPECT_EQ(app.owner, "Other");
    EXPECT_TRUE(app.hidden);
    EXPECT_EQ(app.on_close, sim::OnClose::Hang);
    EXPECT_EQ(app.on_ok, sim::OnOk::Ignore);

    EXPECT_EQ(At<ActivateCmd>(s, 5).name, "Desktop");
    EXPECT_EQ(At<ReleaseCmd>(s, 6).name, "Mail");
    At<StartCmd>(s, 7);
    EXPECT_EQ(At<PenCmd>(s, 8).kind, PenCmd::Kind::Down);
    EXPECT_EQ(At<PenCmd>(s, 9).kind, PenCmd::Kind::Move);
    EXPECT_EQ(At<PenCmd>(s, 10).kind, PenCmd::Kind::Up);
    EXPECT_EQ(At<PenCmd>(s, 10).x, 479);
    EXPECT_EQ(At<PenCmd>(s, 10).y, 639);
    EXPECT_EQ(At<PenCmd>(s, 11).kind, PenCmd::Kind::Tap);
    EXPECT_EQ(At<PenCmd>(s, 11).x, 16);
    EXPECT_EQ(At<WaitCmd>(s, 12).ms, 250u);
    At<NotifyCmd>(s, 13);
    At<DumpCmd>(s, 14);
    EXPECT_EQ(At<ShotCmd>(s, 15).file, "sub/a.png");
    At<QuitCmd>(s, 16);
    EXPECT_EQ(At<MenuTapCmd>(s, 17).position, 3);
    EXPECT_FALSE(At<MenuTapCmd>(s, 17).at.has_value());
    EXPECT_EQ(At<MenuTapCmd>(s, 18).at, std::optional<int>(231));
    At<MenuDismissCmd>(s, 19);
    EXPECT_EQ(At<ExpectCmd>(s, 20).text, "msg Mail WM_CLOSE");
    EXPECT_FALSE(At<ExpectCmd>(s, 20).negated);
    EXPECT_TRUE(At<ExpectCmd>(s, 21).negated);
    EXPECT_EQ(At<ExpectPixelCmd>(s, 22).x, 5);
    EXPECT_EQ(At<ExpectPixelCmd>(s, 22).colour, 0x00FF80u);
    const auto& win = At<ExpectWindowCmd>(s, 23);
    EXPECT_EQ(win.visible, std::optional<bool>(false));
    EXPECT_TRUE(win.foreground);
    EXPECT_FALSE(win.gone);
    EXPECT_TRUE(At<ExpectWindowCmd>(s, 24).gone);
    const auto& counts = At<ExpectCountsCmd>(s, 25);
    EXPECT_EQ(counts.name, "vesk");
    EXPECT_EQ(counts.gdi, std::optional<long>(2));
    EXPECT_EQ(counts.heap, std::optional<long>(0));
    EXPECT_FALSE(counts.icons.has_value());
    EXPECT_TRUE(At<MenuScrollCmd>(s, 26).down);
    EXPECT_EQ(At<MenuScrollCmd>(s, 26).times, 12);
    EXPECT_FALSE(At<MenuScrollCmd>(s, 27).down);
    EXPECT_EQ(At<MenuScrollCmd>(s, 27).times, 1);
    EXPECT_EQ(At<InstallCmd>(s, 28).file, "cabs/vesk.cab");
    At<ResetCmd>(s, 29);
    // A cabinet is found beside the script, as an included file is.
    EXPECT_EQ(std::get<InstallCmd>(ParseScript("install \"c.cab\"\n", "dir/t.vsk").script->commands[0].action).path,
              (std::filesystem::path("dir") / "c.cab").string());

    EXPECT_EQ(s.commands[11].line, 13);
    EXPECT_EQ(s.commands[11].source, "tap 0x10 20");
}

TEST(ScriptParse, DefaultsWithoutADeviceLine) {
    Script s = Parse("app Notes\n");
    EXPECT_FALSE(s.device_given);
    EXPECT_EQ(s.device.width, 240);
    EXPECT_EQ(s.device.height, 320);
    EXPECT_EQ(s.device.dpi, 96);
    EXPECT_EQ(s.device.taskbar_height, -1);  // ScaleY(26)
    const sim::AppConfig& app = At<AppCmd>(s, 0).app;
    EXPECT_EQ(app.style, DWORD(WS_VISIBLE));
    EXPECT_EQ(app.exstyle, 0u);
    EXPECT_TRUE(app.exe.empty());         // NAME.exe
    EXPECT_TRUE(app.class_name.empty());  // NAME
    EXPECT_FALSE(app.title.has_value());  // NAME
    EXPECT_EQ(app.on_close, sim::OnClose::Destroy);
    EXPECT_EQ(app.on_ok, sim::OnOk::Destroy);
}

TEST(ScriptParse, LayoutStringsAndComments) {
    // CR LF ends, tabs, blank and comment-only lines, '#' inside strings,
    // the two escapes, other backslashes kept, a trailing comment, no final newline.
    Script s = Parse("# heading\r\n\r\n\tapp  A\ttitle=\"a # b \\\\ c \\q\"  # trailing\r\n"
                     "   \r\nexpect \"say \\\"hi\\\"\"");
    ASSERT_EQ(s.commands.size(), 2u);
    EXPECT_EQ(At<AppCmd>(s, 0).app.title, std::optional<sim::WString>(u"a # b \\ c \\q"));
    EXPECT_EQ(s.commands[0].line, 3);
    EXPECT_EQ(s.commands[0].source, "app  A\ttitle=\"a # b \\\\ c \\q\"");
    EXPECT_EQ(At<ExpectCmd>(s, 1).text, "say \"hi\"");
    EXPECT_EQ(s.commands[1].line, 5);
    EXPECT_EQ(s.last_line, 5);

    EXPECT_TRUE(Parse("").commands.empty());
    EXPECT_EQ(Parse("\xEF\xBB\xBFstart\n").commands.size(), 1u);  // a byte-order mark is no part of the command
    EXPECT_TRUE(Parse("\n\n# only comments\n").commands.empty());
    // An empty title is a title.
    EXPECT_EQ(At<AppCmd>(Parse("app A title=\"\"\n"), 0).app.title, std::optional<sim::WString>(u""));
    // Strings are UTF-8 on the script's side and wide on the device's.
    EXPECT_EQ(At<AppCmd>(Parse("app A title=\"Zprávy \xE2\x82\xAC\"\n"), 0).app.title,
              std::optional<sim::WString>(u"Zpr\u00E1vy \u20AC"));
}

TEST(ScriptParse, NumbersAreDecimalOrHexWithinTheirRange) {
    Script s = Parse("reg HKLM \"K\" \"V\" dword 0xFFFFFFFF\nreg HKLM \"K\" \"V\" dword 4294967295\n"
                     "app A style=0XaBcD\nwait 3600000\ntap 239 319\nexpect-pixel 0 0 0xffffff\n");
    EXPECT_EQ(At<RegCmd>(s, 0).value, 0xFFFFFFFFu);
    EXPECT_EQ(At<RegCmd>(s, 1).value, 0xFFFFFFFFu);
    EXPECT_EQ(At<AppCmd>(s, 2).app.style, 0xABCDu);
    EXPECT_EQ(At<WaitCmd>(s, 3).ms, 3600000u);

    // Pen coordinates are on the device's screen, whichever it is.
    EXPECT_EQ(At<PenCmd>(Parse("device 480 640\ntap 479 639\n"), 0).x, 479);
    EXPECT_EQ(ParseError("device 480 640\ntap 480 0\n").line, 2);
}

TEST(ScriptParse, MalformedLinesNameTheirLineAndWhatIsWrong) {
    struct Case {
        std::string line;
        std::string says;
    };
    const std::string huge(1 << 20, 'x');
    const Case cases[] = {
        {"frobnicate 1", "unknown command \"frobnicate\""},
        {"\"tap\" 1 2", "a line starts with a command"},
        {"tap 1", "tap: missing y"},
        {"tap 1 2 3", "tap: unexpected \"3\""},
        {"tap -1 2", "tap: x -1 is out of range 0..239"},
        {"tap 240 2", "tap: x 240 is out of range 0..239"},
        {"tap 1 320", "tap: y 320 is out of range 0..319"},
        {"tap 1x 2", "tap: x must be a number (decimal or 0x hex)"},
        {"tap 0x 2", "must be a number"},
        {"tap \"5\" 2", "tap: x must be a number, not a string"},
        {"tap 99999999999999999999999999 1", "out of range"},
        {"wait 3600001", "wait: milliseconds 3600001 is out of range 0..3600000"},
        {"reg HKLM \"K\" \"V\" dword 0x100000000", "out of range 0x0..0xFFFFFFFF"},
        {"reg HKXX \"K\" \"V\" delete", "root key must be HKLM or HKCU"},
        {"reg HKLM \"K\" \"V\" binary 0f0", "pairs of digits"},
        {"reg HKLM \"K\" \"V\" binary zz", "not hex bytes"},
        {"reg HKLM \"K\" \"V\" text 1", "expected dword, binary or delete"},
        {"reg HKLM \"\" \"V\" delete", "empty key path"},
        {"theme back=0x1", "theme: needs back=0xBBGGRR and fore=0xBBGGRR"},
        {"theme back=0x1 fore=0x1000000", "theme: fore 0x1000000 is out of range"},
        {"app", "app: missing application name"},
        {"app Desktop", "reserved"},
        {"app vesk", "reserved"},
        {"app A colour=red", "app: unknown option colour=red"},
        {"app A title=x title=y", "app: title given twice"},
        {"app A title", "option title needs a value"},
        {"app A on-close=explode", "on-close must be destroy, ignore or hang"},
        {"app A =x", "an option needs a name"},
        {"app A title=\"open", "unterminated string"},
        {"app A title=\"x\"y", "a closing \" must be followed by a space"},
        {"app A ti\"tle", "unexpected \" in"},
        {"app \"two words\"", "may not hold spaces"},
        {"app A title=\"" + huge + "\"", "string longer than 4096 bytes"},
        {"app " + huge, "word longer than 4096 bytes"},
        {"activate", "activate: missing window name"},
        {"start now", "start: unexpected \"now\""},
        {"shot ../escape.png", "may not leave the output folder"},
        {"shot /tmp/abs.png", "must be a path relative to the output folder"},
        {"shot picture.bmp", "must end in .png"},
        {"shot a\\b.png", "write folders with '/'"},
        {"shot contact-sheet.png", "kept for the demo's contact sheet"},
        {"menu-tap", "menu-tap: missing item position"},
        {"menu-tap 1 at=240", "menu-tap: at 240 is out of range 0..239"},
        {"menu-scroll sideways", "menu-scroll: expected up or down, got \"sideways\""},
        {"menu-scroll down 0", "menu-scroll: count 0 is out of range 1..10000"},
        {"expect \"\"", "expect: the text is empty"},
        {"expect-not", "expect-not: missing the text to look for"},
        {"expect-pixel 1 2 0x1000000", "colour 0x1000000 is out of range"},
        {"expect-window A gone foreground", "gone cannot be combined"},
        {"expect-window A visible=2", "visible 2 is out of range 0..1"},
        {"expect-counts vesk", "give at least one of gdi="},
        {"expect-counts vesk windows=1", "unknown option windows=1"},
        {"include", "include: missing file name"},
        {"rotate now", "rotate: unexpected \"now\""},
        {"install", "install: missing cabinet file name"},
        {"install \"\"", "install: empty file name"},
        {"reset now", "reset: unexpected \"now\""},
        {"display 320", "display: missing height"},
        {"display 63 240", "display: width 63 is out of range 64..4096"},
        {"device 240 320", "device must be the first command"},
        {std::string("tap 1 2\x01"), "control character 0x01 in column 8"},
        {"app A title=\"\xC3\x28\"", "not valid UTF-8"},
    };
    for (const Case& c : cases) {
        // Each bad line is the third line, after a good one and a blank one.
        ScriptError e = ParseError("app Good\n\n" + c.line + "\nquit\n");
        EXPECT_EQ(e.file, "t.vsk");
        EXPECT_EQ(e.line, 3) << c.line.substr(0, 60);
        EXPECT_NE(e.message.find(c.says), std::string::npos)
            << "for " << c.line.substr(0, 60) << "\n got: " << e.message.substr(0, 200);
        EXPECT_EQ(e.Format().rfind("t.vsk:3: ", 0), 0u);
    }

    // The device line is checked too, and only stands first.
    EXPECT_NE(ParseError("device 32 320\n").message.find("width 32 is out of range 64..4096"), std::string::npos);
    EXPECT_NE(ParseError("device 240 320 dpi=0\n").message.find("dpi 0 is out of range"), std::string::npos);
    EXPECT_NE(ParseError("device 240 320 dpi=96x961\n").message.find("vertical dpi 961 is out of range"),
              std::string::npos);
    EXPECT_NE(ParseError("device 240 320 taskbar=161\n").message.find("taskbar 161 is out of range 0..160"),
              std::string::npos);
    EXPECT_EQ(ParseError("# first\n\ndevice 240 320\ndevice 240 320\n").line, 4);
    // Points after a turn are checked against the turned screen.
    EXPECT_EQ(Parse("rotate\ntap 319 239\n").commands.size(), 2u);
    EXPECT_NE(ParseError("rotate\ntap 1 240\n").message.find("y 240 is out of range 0..239"), std::string::npos);
    EXPECT_NE(ParseError("display 100 500\nrotate\nmenu-tap 0 at=500\n").message.find("at 500 is out of range 0..499"),
              std::string::npos);
    // Two shots may not write the same file.
    ScriptError twice = ParseError("shot a.png\nshot ./a.png\n");
    EXPECT_EQ(twice.line, 2);
    EXPECT_NE(twice.message.find("already taken"), std::string::npos);
}

TEST(ScriptParse, IncludesAreRelativeReportTheirOwnLinesAndRefuseCycles) {
    std::map<std::string, std::string> files = {
        {"dir/sub/a.vsk", "app FromA\ninclude \"b.vsk\"\n"},
        {"dir/sub/b.vsk", "\napp FromB\n"},
        {"dir/bad.vsk", "app Ok\ntap 1\n"},
        {"dir/loop1.vsk", "include \"loop2.vsk\"\n"},
        {"dir/loop2.vsk", "\ninclude \"loop1.vsk\"\n"},
        {"dir/device.vsk", "device 240 320\n"},
    };
    Loader loader = [&](const std::string& path, std::string* why) -> std::optional<std::string> {
        auto it = files.find(fs::path(path).lexically_normal().string());
        if (it == files.end()) {
            *why = "no such file";
            return std::nullopt;
        }
        return it->second;
    };
    auto parse = [&](const std::string& text) { return ParseScript(text, "dir/main.vsk", loader); };

    ParseResult ok = parse("app Main\ninclude \"sub/a.vsk\"\napp After\n");
    ASSERT_TRUE(ok.ok()) << ok.error.Format();
    const Script& s = *ok.script;
    ASSERT_EQ(s.commands.size(), 4u);
    EXPECT_EQ(At<AppCmd>(s, 1).app.name, "FromA");
    EXPECT_EQ(s.commands[1].file, "dir/sub/a.vsk");
    EXPECT_EQ(s.commands[2].file, "dir/sub/b.vsk");
    EXPECT_EQ(s.commands[2].line, 2);
    EXPECT_EQ(s.commands[3].file, "dir/main.vsk");
    EXPECT_EQ(s.commands[3].line, 3);
    EXPECT_EQ(s.last_line, 3);

    ParseResult bad = parse("include \"bad.vsk\"\n");
    EXPECT_EQ(bad.error.Format(), "dir/bad.vsk:2: tap: missing y");

    ParseResult loop = parse("include \"loop1.vsk\"\n");
    ASSERT_FALSE(loop.ok());
    EXPECT_EQ(loop.error.file, "dir/loop2.vsk");
    EXPECT_EQ(loop.error.line, 2);
    EXPECT_NE(loop.error.message.find("includes itself"), std::string::npos);

    ParseResult self = ParseScript("include \"main.vsk\"\n", "dir/main.vsk", loader);
    EXPECT_NE(self.error.message.find("includes itself"), std::string::npos);

    ParseResult missing = parse("\ninclude \"nope.vsk\"\n");
    EXPECT_EQ(missing.error.Format(), "dir/main.vsk:2: include: cannot read dir/nope.vsk: no such file");

    EXPECT_NE(parse("include \"device.vsk\"\n").error.message.find("device must be the first command"),
              std::string::npos);
}

TEST(ScriptParse, ShotsAreCaptionedWithTheCommentOrCommandBeforeThem) {
    Script s = Parse(R"(# The tour begins
app A
shot 1.png
app B
shot 2.png
# The task menu
# over two applications

tap 214 13
shot 3.png # with its own words
shot 4.png
)");
    EXPECT_EQ(At<ShotCmd>(s, 1).caption, "The tour begins");
    EXPECT_EQ(At<ShotCmd>(s, 3).caption, "app B");
    EXPECT_EQ(At<ShotCmd>(s, 5).caption, "with its own words");
    EXPECT_EQ(At<ShotCmd>(s, 6).caption, "tap 214 13");
}

TEST(ScriptParse, ShotNamesStayInsideTheOutputFolder) {
    EXPECT_EQ(CheckShotName("a.png"), "");
    EXPECT_EQ(CheckShotName("menus/open.PNG"), "");
    EXPECT_EQ(CheckShotName("./a.png"), "");
    EXPECT_NE(CheckShotName(""), "");
    EXPECT_NE(CheckShotName("a/../../b.png"), "");
    EXPECT_NE(CheckShotName("/etc/x.png"), "");
    EXPECT_NE(CheckShotName("dir/"), "");
    EXPECT_NE(CheckShotName(".png/.."), "");
}

// ---------------------------------------------------------------------------
// Playing

TEST_F(PlayTest, TheButtonSitsAtTheRightEndOfTheTaskbarAtEveryResolution) {
    const std::pair<std::string, std::string> cases[] = {
        {"device 240 320 dpi=96\n", "rect=212,0,240,26 parent=HHTaskBar visible=1"},
        {"device 480 640 dpi=192\n", "rect=424,0,480,52 parent=HHTaskBar visible=1"},
        {"device 240 640 dpi=96x192\n", "rect=212,0,240,52 parent=HHTaskBar visible=1"},
    };
    for (const auto& [device, rect] : cases) {
        PlayResult r = PlayText(device + "start\ndump\n");
        ASSERT_EQ(r.exit_code, kExitOk) << r.message;
        long at = Find(r.log, "window class=\"VeskClass\" title=\"VeskWindow\" ");
        ASSERT_GE(at, 0) << Joined(r.log);
        EXPECT_NE(r.log[size_t(at)].find(rect), std::string::npos) << r.log[size_t(at)];
        EXPECT_GE(Find(r.log, "objects pid="), 0);
    }
}

TEST_F(PlayTest, ASecondStartEndsAtOnceAndQuitGivesTheTaskbarBack) {
    PlayResult r = PlayText("start\nstart\nexpect-counts vesk menus=0\nquit\nexpect \"hook removed\"\n");
    ASSERT_EQ(r.exit_code, kExitOk) << r.message;
    std::smatch m;
    std::vector<std::string> starts;
    for (const auto& line : r.log)
        if (std::regex_match(line, m, std::regex("\\d+ start (\\d+)"))) starts.push_back(m[1]);
    ASSERT_EQ(starts.size(), 2u) << Joined(r.log);
    long second = Find(r.log, "start " + starts[1]);
    long first_exit = Find(r.log, " exit ", size_t(second));
    long hook_removed = Find(r.log, "hook removed");
    // The second instance ends with 0 right after it started, the hook still in place.
    ASSERT_GE(first_exit, 0);
    EXPECT_EQ(r.log[size_t(first_exit)].substr(r.log[size_t(first_exit)].find(' ')), " exit 0");
    EXPECT_GT(hook_removed, first_exit);
    EXPECT_EQ(std::count_if(r.log.begin(), r.log.end(),
                            [](const std::string& l) { return l.find("hook installed") != std::string::npos; }),
              1);
    // quit: the hook is given back, then the first instance ends with 0.
    long last_exit = Find(r.log, " exit 0", size_t(hook_removed));
    EXPECT_GT(last_exit, hook_removed) << Joined(r.log);
    EXPECT_EQ(std::count_if(r.log.begin(), r.log.end(),
                            [](const std::string& l) { return l.find(" exit ") != std::string::npos; }),
              2);
}

TEST_F(PlayTest, TheEndOfTheScriptQuitsARunningVesk) {
    PlayResult r = PlayText("start\n");
    ASSERT_EQ(r.exit_code, kExitOk) << r.message;
    ASSERT_GE(r.log.size(), 2u);
    EXPECT_NE(r.log[r.log.size() - 2].find("hook removed"), std::string::npos) << Joined(r.log);
    EXPECT_NE(r.log.back().find("exit 0"), std::string::npos);
}

TEST_F(PlayTest, TheLogIsTimedInOrderAndWrittenToEventsLog) {
    PlayResult r = PlayText("app A\nwait 250\nshot a.png\nwait 0x10\napp B\nactivate A\n");
    ASSERT_EQ(r.exit_code, kExitOk) << r.message;
    std::ifstream in(dir_ / "events.log");
    std::vector<std::string> file;
    for (std::string line; std::getline(in, line);) file.push_back(line);
    EXPECT_EQ(file, r.log);
    uint64_t last = 0;
    for (const auto& line : file) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, std::regex("(\\d+) [a-z-]+( .*)?"))) << line;
        uint64_t t = std::stoull(m[1]);
        EXPECT_GE(t, last) << line;
        last = t;
    }
    EXPECT_GE(Find(file, "0 foreground A"), 0);
    EXPECT_GE(Find(file, "250 shot a.png"), 0);
    EXPECT_GE(Find(file, "266 foreground B"), 0);
    EXPECT_GE(Find(file, "266 foreground A", size_t(Find(file, "266 foreground B"))), 0);
}

TEST_F(PlayTest, ScreenshotsAreRgbPngsOfTheScreenItself) {
    PlayResult r = PlayText(
        "device 480 640 dpi=192\ntheme back=0x123456 fore=0xFFFFFF\nnotify\n"
        "expect-pixel 300 2 0x123456\nshot a.png\nshot deep/er/b.png\n");
    ASSERT_EQ(r.exit_code, kExitOk) << r.message;
    ASSERT_EQ(r.shots.size(), 2u);
    EXPECT_EQ(r.shots[1].path, dir_ / "deep/er/b.png");
    for (const ShotRecord& shot : r.shots) {
        std::ifstream in(shot.path, std::ios::binary);
        char header[26] = {};
        in.read(header, sizeof header);
        ASSERT_EQ(std::string(header + 1, 3), "PNG");
        EXPECT_EQ(header[25], 2) << "colour type RGB";
        sim::Surface s;
        ASSERT_TRUE(sim::ReadPng(shot.path.string(), &s));
        EXPECT_EQ(s.width, 480);
        EXPECT_EQ(s.height, 640);
        EXPECT_EQ(s.At(300, 2), COLORREF(0x123456));  // the taskbar in the theme's colour
    }
}

TEST_F(PlayTest, ExpectationsCheckTheLogInOrder) {
    PlayResult ok = PlayText(
        "app A\napp B\nexpect \"foreground A\"\nexpect \"foreground B\"\nexpect-not \"foreground A\"\n"
        "expect-window B visible=1 foreground\nexpect-window A visible=1\nexpect-window Nobody gone\n");
    EXPECT_EQ(ok.exit_code, kExitOk) << ok.message;

    // Each expect searches after the previous match, so the order counts.
    PlayResult order = PlayText("app A\napp B\n\nexpect \"foreground B\"\nexpect \"foreground A\"\n");
    EXPECT_EQ(order.exit_code, kExitExpectation);
    EXPECT_EQ(order.message.rfind("t.vsk:5: expected a line containing \"foreground A\"; ", 0), 0u) << order.message;
    EXPECT_NE(order.message.find("no line was logged since the previous match"), std::string::npos);

    PlayResult seen = PlayText("app A\nexpect \"foreground Z\"\n");
    EXPECT_EQ(seen.exit_code, kExitExpectation);
    EXPECT_NE(seen.message.find("the lines logged since the previous match:\n    0 foreground Desktop\n    0 foreground A"), std::string::npos)
        << seen.message;
    // The log is written all the same.
    EXPECT_TRUE(fs::exists(dir_ / "events.log"));
}

TEST_F(PlayTest, FailedChecksSayWhatWasFound) {
    struct Case {
        std::string script;
        std::string says;
    };
    const Case cases[] = {
        {"app A\nexpect-not \"foreground\"\n", "t.vsk:2: expected no line containing \"foreground\", found:\n    0 foreground Desktop"},
        {"app A\napp B\nexpect-window A foreground\n", "t.vsk:3: expected the window \"A\" in front; in front is B"},
        {"app A hidden\nexpect-window A visible=1\n", "expected the window \"A\" to be visible, it is hidden"},
        {"app A\nexpect-window A gone\n", "expected the window \"A\" to be gone, it is still there"},
        {"expect-window A\n", "expected the window \"A\", there is none"},
        {"theme back=0x123456 fore=0xFFFFFF\nnotify\nexpect-pixel 150 2 0x654321\n",
         "t.vsk:3: expected pixel 150,2 to be 0x654321 (0xBBGGRR), found 0x123456"},
        {"start\nexpect-counts vesk icons=7 menus=0\n", "expected counts icons=7 menus=0 for vesk (pid "},
        {"expect-counts vesk gdi=0\n", "vesk is not running"},
    };
    for (const Case& c : cases) {
        PlayResult r = PlayText(c.script);
        EXPECT_EQ(r.exit_code, kExitExpectation) << c.script;
        EXPECT_NE(r.message.find(c.says), std::string::npos) << c.script << "\ngot: " << r.message;
    }
}

TEST_F(PlayTest, CommandsThatCannotBeCarriedOutStopWithTheirLine) {
    struct Case {
        std::string script;
        std::string says;
    };
    const Case cases[] = {
        {"activate Nobody\n", "t.vsk:1: activate: there is no window named \"Nobody\""},
        {"release Nobody\n", "release: there is no window named"},
        {"app A\napp A\n", "t.vsk:2: app: a window named \"A\" is already running"},
        {"app A owner=Nobody\n", "the owner \"Nobody\" is not a running application"},
        {"quit\n", "t.vsk:1: quit: vesk is not running"},
        {"menu-tap 0\n", "menu-tap: no popup menu is open"},
        {"menu-dismiss\n", "menu-dismiss: no popup menu is open"},
        {"menu-scroll up\n", "menu-scroll: no popup menu is open"},
        {"start\ntap 214 13\nmenu-scroll down\n", "t.vsk:3: menu-scroll: the open menu fits on the screen"},
    };
    for (const Case& c : cases) {
        PlayResult r = PlayText(c.script);
        EXPECT_EQ(r.exit_code, kExitScript) << c.script;
        EXPECT_NE(r.message.find(c.says), std::string::npos) << c.script << "\ngot: " << r.message;
    }
}

TEST_F(PlayTest, QuitSaysWhenVeskWaitsForAHungApplication) {
    // A tap on the close zone sends WM_CLOSE to an application that never answers.
    PlayResult hung = PlayText("app Stuck on-close=hang\nstart\ntap 228 13\nexpect \"msg Stuck WM_CLOSE\"\nquit\n");
    EXPECT_EQ(hung.exit_code, kExitScript);
    EXPECT_NE(hung.message.find("t.vsk:5: quit: vesk did not end: it waits for a hung application"),
              std::string::npos)
        << hung.message;

    PlayResult released = PlayText(
        "app Stuck on-close=hang\nstart\ntap 228 13\nrelease Stuck\nexpect \"destroyed Stuck\"\nquit\n"
        "expect \"exit 0\"\n");
    EXPECT_EQ(released.exit_code, kExitOk) << released.message;

    // Left hanging to the end of the script, the end says so with the last line.
    PlayResult end = PlayText("app Stuck on-close=hang\nstart\ntap 228 13\n# done\n");
    EXPECT_EQ(end.exit_code, kExitScript);
    EXPECT_NE(end.message.find("t.vsk:4: at the end of the script, quit: vesk did not end"), std::string::npos)
        << end.message;
}

TEST_F(PlayTest, MenuCommandsTapTheOpenPopup) {
    // The strip opens the task menu; the last item is "E&xit".
    PlayResult exit = PlayText("start\ntap 214 13\nexpect \"menu open\"\nmenu-tap 99\n");
    EXPECT_EQ(exit.exit_code, kExitScript);
    EXPECT_NE(exit.message.find("t.vsk:4: menu-tap: the open menu has "), std::string::npos) << exit.message;

    PlayResult chosen = PlayText(
        "start\ntap 214 13\nexpect \"menu-item 6 id=40007\"\nmenu-tap 6\nexpect \"menu closed result=40007\"\n"
        "expect \"hook removed\"\nexpect \"exit 0\"\n");
    EXPECT_EQ(chosen.exit_code, kExitOk) << chosen.message;

    PlayResult dismissed = PlayText(
        "start\ntap 214 13\nexpect \"menu open\"\nmenu-dismiss\nexpect \"menu closed result=0\"\n");
    EXPECT_EQ(dismissed.exit_code, kExitOk) << dismissed.message;
}

TEST_F(PlayTest, AnOutputFolderThatCannotBeMadeIsAnError) {
    fs::create_directories(dir_.parent_path());
    { std::ofstream(dir_.string()) << "a file where the folder should be"; }
    std::ostringstream err;
    PlayResult r = Play(Parse("app A\n"), dir_ / "out", err);
    EXPECT_EQ(r.exit_code, kExitScript);
    EXPECT_NE(err.str().find("cannot create the output folder"), std::string::npos) << err.str();
    fs::remove(dir_);
}

// A title past U+FFFF crosses into the device as a surrogate pair (two
// WCHARs, as the device counts it) and comes back unchanged in the log.
TEST_F(PlayTest, ATitlePastUFFFFIsAPairOnTheDeviceAndUtf8InTheLog) {
    PlayResult r = PlayText("app smile title=\"A\xF0\x9F\x98\x80\"\ndump\n");
    ASSERT_EQ(r.exit_code, kExitOk) << r.message;
    EXPECT_GE(Find(r.log, "class=\"smile\" title=\"A\xF0\x9F\x98\x80\""), 0) << Joined(r.log);
    EXPECT_EQ(sim::Widen("A\xF0\x9F\x98\x80"), (sim::WString{u'A', WCHAR(0xD83D), WCHAR(0xDE00)}));
    // A lone half, and malformed UTF-8, become U+FFFD.
    EXPECT_EQ(sim::Narrow(sim::WString{u'a', WCHAR(0xD83D)}), "a\xEF\xBF\xBD");
    EXPECT_EQ(sim::Widen("\xF0\x9F"), u"\uFFFD\uFFFD");
}
