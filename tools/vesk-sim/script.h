// The script language of vesk-sim: one command a line, played on a
// simulated device by the player (player.h). Parsing checks everything that
// can be checked before the device boots (words, numbers and their ranges,
// strings, file names), so that a malformed script fails with its file and
// line before anything has run.
#pragma once

#include <sim/device.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace vesk_sim {

struct RegCmd {
    enum class Kind { Dword, Binary, Delete };
    HKEY root = HKEY_LOCAL_MACHINE;
    sim::WString key;
    sim::WString name;
    Kind kind = Kind::Dword;
    DWORD value = 0;
    std::vector<uint8_t> bytes;
};
struct ThemeCmd {
    COLORREF back = 0;
    COLORREF fore = 0;
};
struct AppCmd {
    sim::AppConfig app;
};
struct ActivateCmd {
    std::string name;
};
struct ReleaseCmd {
    std::string name;
};
struct StartCmd {};
struct ExeCmd {
    std::string file;  // a Windows CE executable, relative to the script's folder
};
struct PenCmd {
    enum class Kind { Down, Move, Up, Tap };
    Kind kind = Kind::Tap;
    int x = 0;
    int y = 0;
};
struct WaitCmd {
    uint64_t ms = 0;
};
struct NotifyCmd {};
struct DumpCmd {};
struct ShotCmd {
    std::string file;     // relative to the output folder
    std::string caption;  // the comment or command that says what the shot shows
};
struct QuitCmd {};
struct MenuTapCmd {
    int position = 0;
    std::optional<int> at;  // screen x; else the item's horizontal centre
};
struct MenuScrollCmd {
    bool down = true;
    int times = 1;
};
struct MenuDismissCmd {};
struct RotateCmd {};
struct InstallCmd {
    std::string file;  // as the script names it
    std::string path;  // relative to the script's folder; read when the command plays
};
struct ResetCmd {};
struct DisplayCmd {
    int width = 0;
    int height = 0;
};
struct ExpectCmd {
    std::string text;
    bool negated = false;  // expect-not
};
struct ExpectPixelCmd {
    int x = 0;
    int y = 0;
    COLORREF colour = 0;
};
struct ExpectWindowCmd {
    std::string name;
    std::optional<bool> visible;
    bool foreground = false;
    bool gone = false;
};
struct ExpectCountsCmd {
    std::string name;  // an application window, "Desktop", or "vesk"
    std::optional<long> gdi, icons, menus, handles, heap;
};

using Action = std::variant<RegCmd, ThemeCmd, AppCmd, ActivateCmd, ReleaseCmd, StartCmd, PenCmd, WaitCmd, NotifyCmd,
                            DumpCmd, ShotCmd, QuitCmd, MenuTapCmd, MenuScrollCmd, MenuDismissCmd, ExpectCmd,
                            ExpectPixelCmd, ExpectWindowCmd, ExpectCountsCmd, RotateCmd, DisplayCmd, InstallCmd,
                            ResetCmd, ExeCmd>;

struct Command {
    std::string file;    // the script file the command came from (an included one too)
    int line = 0;        // 1-based
    std::string source;  // the command as written, without its comment
    Action action;
};

struct Script {
    std::string file;
    sim::DeviceConfig device;  // from the `device` line, else the default device
    bool device_given = false;
    std::vector<Command> commands;
    int last_line = 0;  // the top-level file's line count: where "the end of the script" is
};

struct ScriptError {
    std::string file;
    int line = 0;
    std::string message;
    std::string Format() const;  // "FILE:LINE: message"
};

struct ParseResult {
    std::optional<Script> script;
    ScriptError error;
    bool ok() const { return script.has_value(); }
};

// Reads an included file (or, for the player, a cabinet to install); returns
// nullopt and says why in *error if it cannot.
using Loader = std::function<std::optional<std::string>(const std::string& path, std::string* error)>;

// Reads a file from disk (the default loader); scripts larger than 16 MiB are refused.
std::optional<std::string> ReadScriptFile(const std::string& path, std::string* error);

// Parses a script. `file` names it in messages and is the base of relative
// `include` paths. `default_device` is the device when the script has no `device` line.
ParseResult ParseScript(const std::string& text, const std::string& file, const Loader& loader = ReadScriptFile,
                        const sim::DeviceConfig& default_device = {});

// A shot's file name is a relative path that stays inside the output folder and ends in ".png".
// Returns an empty string when it is acceptable, else what is wrong with it.
std::string CheckShotName(const std::string& name);

}  // namespace vesk_sim
