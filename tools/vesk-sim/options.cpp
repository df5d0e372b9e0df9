#include "options.h"

#include <cstdint>

namespace vesk_sim {

namespace {

const char kHelp[] = R"(Usage:
  vesk-sim [--device WxH] [--dpi N|HxV] [--zoom N] [--out DIR]
           [--install FILE.cab] [--exe FILE]
  vesk-sim --demo [DIR] [--exe FILE]
  vesk-sim --script FILE [--out DIR] [--exe FILE]
  vesk-sim --help | --version

vesk-sim boots a simulated Pocket PC with the stand-in shell (the taskbar
and the desktop) and sample applications, and starts vesk on it.

Without --demo or --script it opens a window that shows the device's screen,
where the mouse is the pen: press, drag and release the left button to tap
and stroke. The device's clock follows real time, so a press of vesk's button
lasts its 200 ms. Keys:
  n          launch another sample application
  s          save a screenshot into the output folder (its path is printed)
  r          turn the screen (portrait to landscape and back); the window
             turns with it
  Escape     end vesk (WM_CLOSE to its button) and the session; closing the
             window does the same. vesk's exit code and the event log's path
             are printed.
Where no display is available (no DISPLAY or WAYLAND_DISPLAY, or the video
system cannot start) it plays the demo tour instead.

Options:
  --device WxH   the window's device screen, 64..4096 pixels each way
                 (default 240x320)
  --dpi N        its resolution, 48..960 dots per inch (default 96); for
                 example --device 480x640 --dpi 192
  --dpi HxV      a screen whose horizontal and vertical resolutions differ,
                 each 48..960: GetDeviceCaps answers LOGPIXELSX with H and
                 LOGPIXELSY with V; text is stretched by H/V (e.g. 96x192)
  --zoom N       screen pixels per device pixel, 1..8 (default 2 for screens
                 up to 320 pixels wide, else 1)
  --out DIR      where the window's screenshots and events.log go, or where a
                 script's go (default vesk-sim-out); created if missing
  --install FILE.cab
                 install a Windows CE installation cabinet on the window's
                 device as the device's installer does (build/wince/vesk.cab,
                 which the Windows CE build makes), then soft-reset the
                 device: the shell starts what the cabinet put in
                 \Windows\StartUp (vesk), and the sample applications are
                 launched. Without a display the install and the reset are
                 played and their events.log written into the --out folder.
                 The simulator cannot run the ARM code of vesk.exe yet:
                 \Program Files\vesk\vesk.exe, where the cabinet installs it,
                 runs vesk built from source. A cabinet the installer cannot
                 use exits with 2 and says why
  --demo [DIR]   play the built-in demo tour and write its screenshots, its
                 events.log and contact-sheet.png (every screenshot captioned
                 with its step) into DIR (default vesk-sim-demo)
  --script FILE  play a script (below) and write its screenshots and
                 events.log into the --out folder
  --exe FILE     run the Windows CE ARM executable FILE (such as
                 build/wince/vesk.exe) as vesk, in place of the vesk built
                 into vesk-sim: its own ARM code calls the simulated device's
                 DLLs, and its menu and icons come from its own resources.
                 Only the 32-bit ARM build (preset arm) runs ARM code. The
                 device's loader refuses, and vesk-sim exits with 2 naming
                 the file and the reason, an image that is not ARM, not of
                 the Windows CE GUI subsystem, truncated or malformed, or
                 that imports a function the device's DLLs do not export
                 (or imports one by ordinal)
  --help         this text
  --version      the version

Exit status: 0 success; 1 an expect... command of the script failed;
2 bad usage, a malformed script, a command that could not be carried out, or a
cabinet that the installer cannot use.

Scripts
  One command a line; '#' starts a comment (outside strings); blank lines are
  ignored; CR LF line ends are accepted. Strings are in double quotes, with \"
  for a quote and \\ for a backslash (any other backslash stands for itself,
  so "Software\Microsoft\Color" is a registry path). Options are KEY=VALUE,
  the value a word or a string. Numbers are decimal or 0x hex; every number
  is checked against its range. Names of windows are single words. A
  malformed script prints FILE:LINE: what is wrong, and exits with 2 before
  anything runs.

  device W H [dpi=N|dpi=HxV] [taskbar=H]
      the device; only as the first command. Default 240 320 dpi=96 and a
      taskbar ScaleY(26) high. W and H 64..4096, dpi 48..960, taskbar 0..H/2.
      dpi=HxV gives the horizontal and the vertical resolution apart (e.g.
      dpi=96x192), as --dpi HxV does.
  reg HKLM|HKCU "KEY" "NAME" dword 0xVALUE | binary HEXBYTES... | delete
      set a DWORD or binary value (hex digit pairs, e.g. binary 00ff8010), or
      delete the value
  theme back=0xBBGGRR fore=0xBBGGRR
      the shell's theme: values "8" and "9" of HKLM
      "Software\Microsoft\Color" as DWORDs
  app NAME [exe=FILE] [class=CLASS] [title="TEXT"] [style=0xN] [exstyle=0xN]
      [ok] [owner=NAME] [hidden] [on-close=destroy|ignore|hang]
      [on-ok=destroy|ignore|hang]
      a top-level window of a simulated application, created in front and
      activated; windows with the same exe share one process. `ok` sets
      extended-style bit 0x80000000 (the caption's OK button). Defaults:
      exe=NAME.exe, class=NAME, title=NAME, style 0x10000000 (WS_VISIBLE),
      below the taskbar, destroyed on WM_CLOSE and on the OK command. `hang`
      keeps the sender waiting until `release NAME`. NAME may not be Desktop
      or vesk, nor the name of a window that is still there.
  activate NAME          the shell brings NAME (or Desktop) to the front
  release NAME           a hung application answers the message it is stuck on
  exe FILE               from here on, `start` runs the Windows CE executable
                         FILE (relative to the script's folder) as vesk, as
                         --exe does (the arm build only); a file the device's
                         loader refuses stops the script with 2
  start                  start vesk; a second `start` while one runs starts a
                         second instance (which ends at once)
  down X Y | move X Y | up X Y | tap X Y
                         the pen, in screen coordinates (on the screen);
                         tap = down then up, no time between
  wait MS                advance the virtual clock, 0..3600000 ms
  notify                 the shell sends message 1024 to the taskbar
  rotate                 the screen turns: width and height swap, dpi kept;
                         the taskbar, the desktop and full-screen applications
                         take the new size (WM_SIZE), every top-level window
                         gets WM_SETTINGCHANGE, an open popup menu is dismissed;
                         later points are checked against the new screen
  display W H            the same for any new size, W and H 64..4096
  dump                   log every window and each process's handle counts
  shot FILE              screenshot: an RGB PNG of the screen's size; FILE is
                         relative to the output folder, ends in .png, may
                         name subfolders with '/' and may not leave the folder
  quit                   WM_CLOSE to vesk's button; waits until vesk has ended
                         and fails if it does not (for example while it waits
                         for a hung application)
  menu-tap POS [at=X]    tap the item at position POS of the open popup menu
                         (0 is the first item) at its vertical centre, at
                         screen x X if given, else at its horizontal centre;
                         fails if no popup is open or POS is past its end.
                         An item out of view is first scrolled into view
                         with the popup's arrows, a tap at a time
  menu-scroll up|down [N]
                         tap the open popup's up or down scroll arrow N
                         times (default 1); a popup taller than the screen
                         has them; a gray arrow does nothing
  menu-dismiss           tap outside the open popup menu (the screen's
                         bottom-left corner unless the popup covers it)
  include "FILE"         the commands of another script, relative to this one
  install "FILE.cab"     the device's installer installs a Windows CE
                         installation cabinet (relative to the script, read
                         when the command plays): its files go into the
                         device's file store, its shortcuts and registry
                         entries are made. One it cannot use (cut short, a
                         .000 that is wrong, a member missing, for another
                         processor or Windows CE release) changes nothing and
                         stops the play with 2, saying why
  reset                  soft reset: vesk and every application end, the shell
                         starts again and starts each file of \Windows\StartUp
                         (a shortcut's target). \Program Files\vesk\vesk.exe
                         (where vesk.cab installs vesk) and \Windows\vesk.exe
                         run vesk built from source; the simulator runs no
                         other program, and says so
  At the end of the script a running vesk is quit as by `quit`.

  Checks (a failed check prints FILE:LINE: expected ..., the play stops, the
  event log is written and vesk-sim exits with 1):
  expect "TEXT"          a line logged after the previous expect's match (or
                         since the start) contains TEXT; the next expect
                         searches after this match, so expects check order.
                         On failure the lines searched are printed.
  expect-not "TEXT"      no line logged after the previous expect's match
                         contains TEXT
  expect-pixel X Y 0xBBGGRR
                         the screen's pixel at X,Y has this colour
  expect-window NAME [visible=0|1] [foreground] [gone]
                         the window exists (or, with gone, does not), is
                         shown or not, and is the foreground window
  expect-counts NAME|vesk [gdi=N] [icons=N] [menus=N] [handles=N] [heap=N]
                         the handle counts of the process of window NAME (or
                         of vesk) are these, as `dump` logs them; any subset

Event log (events.log): one event a line, the virtual time in ms first:
  T start PID                        T exit CODE
  T foreground NAME                  application NAME, Desktop, or the class
  T msg NAME MESSAGE WPARAM LPARAM   a message vesk's process sent or posted to
                                     an application window; MESSAGE is
                                     WM_CLOSE, WM_COMMAND, PSM_PRESSBUTTON or
                                     its number; a known window's handle
                                     prints as its name
  T minimized NAME | hidden NAME | destroyed NAME | shown NAME
  T hook installed | hook removed    the taskbar's window procedure replaced
                                     by another process / given back
  T menu open items=N rect=L,T,R,B [scrolls]
  T menu-item POS id=ID owner-drawn|separator|text="TEXT" [grayed] rect=L,T,R,B
                 [in-view|out-of-view]       (the last word when it scrolls)
  T menu scroll first=K last=L       the popup scrolled: K..L in view
  T menu closed result=ID
  T display W H                      the screen turned or took a new size
  T installed PATH                   the installer stored a file
  T shortcut PATH -> TARGET          the installer made a shortcut
  T registry KEY "NAME"              the installer set a registry value
  T reset                            a soft reset began
  T startup FILE -> TARGET [: why it was not started]
                                     the shell starts a file of StartUp
  T shot FILE                        a screenshot was written
  T window class="C" title="T" rect=L,T,R,B parent=NAME visible=0|1 pid=N
  T objects pid=N gdi=N icons=N handles=N menus=N heap=N     (from dump)
)";

bool Decimal(const std::string& s, int lo, int hi, int* out) {
    if (s.empty() || s.size() > 9) return false;
    int64_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (v < lo || v > hi) return false;
    *out = int(v);
    return true;
}

}  // namespace

const char* HelpText() { return kHelp; }

std::string VersionText() {
#ifdef VESK_VERSION
    return std::string("vesk-sim ") + VESK_VERSION;
#else
    return "vesk-sim";
#endif
}

OptionsResult ParseOptions(const std::vector<std::string>& args) {
    OptionsResult r;
    Options o;
    bool demo = false, script = false, dpi_given = false, zoom_given = false;
    auto error = [&](const std::string& e) {
        r.error = e;
        return r;
    };
    for (size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        std::string value;
        bool inline_value = false;
        if (arg.rfind("--", 0) == 0) {
            size_t eq = arg.find('=');
            if (eq != std::string::npos) {
                value = arg.substr(eq + 1);
                arg = arg.substr(0, eq);
                inline_value = true;
            }
        }
        // The option's value: after '=' or the next argument.
        auto take = [&]() -> bool {
            if (inline_value) return true;
            if (i + 1 >= args.size()) return false;
            value = args[++i];
            return true;
        };
        if (arg == "--help" || arg == "-h") {
            o.mode = Options::Mode::Help;
            r.options = o;
            return r;
        }
        if (arg == "--version") {
            o.mode = Options::Mode::Version;
            r.options = o;
            return r;
        }
        if (arg == "--script") {
            if (!take() || value.empty()) return error("--script needs a file name");
            if (script) return error("--script given twice");
            script = true;
            o.script = value;
        } else if (arg == "--exe") {
            if (!take() || value.empty()) return error("--exe needs a file name");
            if (!o.exe.empty()) return error("--exe given twice");
            o.exe = value;
        } else if (arg == "--install") {
            if (!take() || value.empty()) return error("--install needs a cabinet file name");
            if (!o.install.empty()) return error("--install given twice");
            o.install = value;
        } else if (arg == "--out") {
            if (!take() || value.empty()) return error("--out needs a folder name");
            if (o.out_given) return error("--out given twice");
            o.out = value;
            o.out_given = true;
        } else if (arg == "--demo") {
            if (demo) return error("--demo given twice");
            demo = true;
            // The folder is optional: take the next word unless it is an option.
            if (inline_value) {
                if (value.empty()) return error("--demo= needs a folder name");
                o.out = value;
            } else if (i + 1 < args.size() && args[i + 1].rfind("-", 0) != 0) {
                o.out = args[++i];
            } else {
                o.out = kDefaultDemoDir;
            }
        } else if (arg == "--device") {
            if (!take()) return error("--device needs a size such as 480x640");
            size_t x = value.find_first_of("xX");
            if (x == std::string::npos || !Decimal(value.substr(0, x), 64, 4096, &o.width) ||
                !Decimal(value.substr(x + 1), 64, 4096, &o.height))
                return error("--device needs WxH, each 64..4096, such as 480x640; got \"" + value + "\"");
            o.device_given = true;
        } else if (arg == "--dpi") {
            size_t x = take() ? value.find_first_of("xX") : std::string::npos;
            bool ok = x == std::string::npos ? Decimal(value, 48, 960, &o.dpi)
                                             : Decimal(value.substr(0, x), 48, 960, &o.dpi) &&
                                                   Decimal(value.substr(x + 1), 48, 960, &o.dpi_y);
            if (value.empty() || !ok)
                return error("--dpi needs a resolution of 48..960 dots per inch, such as 192, or HxV such as 96x192");
            dpi_given = true;
        } else if (arg == "--zoom") {
            if (!take() || !Decimal(value, 1, 8, &o.zoom)) return error("--zoom needs a whole number 1..8");
            zoom_given = true;
        } else if (arg.rfind("-", 0) == 0) {
            return error("unknown option " + arg);
        } else {
            return error("unexpected argument \"" + arg + "\"");
        }
    }
    if (script && demo) return error("--script and --demo cannot be combined");
    if (!o.install.empty() && (script || demo))
        return error(script ? "a script installs with its `install` line; --install is for the window"
                            : "the demo tour installs nothing; --install is for the window");
    if ((script || demo) && (o.device_given || dpi_given || zoom_given))
        return error(std::string(script ? "a script chooses its device with its `device` line"
                                        : "the demo tour plays on the device it was made for (240x320, 96 dpi)") +
                     "; --device, --dpi and --zoom are for the window");
    if (demo && o.out_given) return error("the demo's folder is given as --demo DIR, not --out");
    if (script) o.mode = Options::Mode::Script;
    else if (demo) o.mode = Options::Mode::Demo;
    if (!o.out_given && !demo) o.out = kDefaultOutDir;
    r.options = o;
    return r;
}

}  // namespace vesk_sim
