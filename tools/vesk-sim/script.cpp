// The script parser: lines to tokens, tokens to commands, every value
// checked against its range, included files read and guarded against cycles.
#include "script.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include "text_util.h"

namespace vesk_sim {

namespace {

namespace fs = std::filesystem;

constexpr size_t kMaxToken = 4096;
constexpr size_t kMaxName = 64;
constexpr int kMaxIncludeDepth = 16;
constexpr uint64_t kMaxWait = 3600000;  // an hour of virtual time
constexpr size_t kMaxScriptBytes = 16u << 20;

// Thrown by the parsing helpers; the line loop turns it into a ScriptError.
struct Bad {
    std::string message;
};

struct Token {
    std::string key;   // "style" of "style=0x10000000"; empty for a plain word
    std::string text;  // the word, the string's contents, or the option's value
    bool keyed = false;
    bool quoted = false;
};

struct Line {
    std::vector<Token> tokens;
    std::string comment;
    std::string source;  // the command as written, without its comment
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Words in messages are cut short: a line may be a megabyte long.
std::string Clip(const std::string& s) {
    if (s.size() <= 40) return s;
    size_t n = 40;
    while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;  // not inside a character
    return s.substr(0, n) + "...";
}
std::string Quote(const std::string& s) { return "\"" + Clip(s) + "\""; }

std::string Trim(std::string_view s) {
    size_t a = 0, b = s.size();
    while (a < b && IsBlank(s[a])) ++a;
    while (b > a && IsBlank(s[b - 1])) --b;
    return std::string(s.substr(a, b - a));
}

void CheckCharacters(std::string_view s) {
    for (size_t i = 0; i < s.size(); ++i) {
        auto c = static_cast<unsigned char>(s[i]);
        if ((c < 0x20 && c != '\t') || c == 0x7F) {
            char buf[64];
            std::snprintf(buf, sizeof buf, "control character 0x%02X in column %zu", c, i + 1);
            throw Bad{buf};
        }
    }
    if (!ValidUtf8(s)) throw Bad{"the line is not valid UTF-8"};
}

// A string in double quotes; `\"` and `\\` are escapes, any other backslash
// is kept as written (registry paths read naturally).
std::string ReadQuoted(std::string_view s, size_t& i) {
    std::string out;
    ++i;
    for (;;) {
        if (i >= s.size()) throw Bad{"unterminated string: missing closing \""};
        char c = s[i];
        if (c == '\\' && i + 1 < s.size() && (s[i + 1] == '"' || s[i + 1] == '\\')) {
            out += s[i + 1];
            i += 2;
        } else if (c == '"') {
            ++i;
            break;
        } else {
            out += c;
            ++i;
        }
        if (out.size() > kMaxToken) throw Bad{"string longer than " + std::to_string(kMaxToken) + " bytes"};
    }
    if (i < s.size() && !IsBlank(s[i])) throw Bad{"a closing \" must be followed by a space"};
    return out;
}

Line Tokenize(std::string_view s) {
    CheckCharacters(s);
    Line line;
    size_t i = 0, source_end = 0;
    while (i < s.size()) {
        if (IsBlank(s[i])) {
            ++i;
            continue;
        }
        if (s[i] == '#') {
            line.comment = Trim(s.substr(i + 1));
            break;
        }
        Token t;
        if (s[i] == '"') {
            t.text = ReadQuoted(s, i);
            t.quoted = true;
        } else {
            size_t start = i;
            while (i < s.size() && !IsBlank(s[i])) {
                char c = s[i];
                if (c == '=' && !t.keyed) {
                    t.keyed = true;
                    t.key = std::move(t.text);
                    t.text.clear();
                    if (t.key.empty()) throw Bad{"an option needs a name before '='"};
                    ++i;
                    if (i < s.size() && s[i] == '"') {
                        t.text = ReadQuoted(s, i);
                        t.quoted = true;
                        break;
                    }
                    continue;
                }
                if (c == '"')
                    throw Bad{"unexpected \" in " + Quote(std::string(s.substr(start, i - start + 1))) +
                              " (a string starts at the beginning of a word or after '=')"};
                t.text += c;
                ++i;
                if (t.text.size() > kMaxToken) throw Bad{"word longer than " + std::to_string(kMaxToken) + " bytes"};
            }
        }
        source_end = i;
        line.tokens.push_back(std::move(t));
    }
    line.source = Trim(s.substr(0, source_end));
    return line;
}

std::string Shown(const Token& t) {
    if (t.keyed) return Clip(t.key) + "=" + (t.quoted ? Quote(t.text) : Clip(t.text));
    return Quote(t.text);
}

// Decimal or 0x hex, optionally negative, checked against [lo, hi].
int64_t Number(const Token& t, const std::string& what, int64_t lo, int64_t hi) {
    if (t.quoted) throw Bad{what + " must be a number, not a string"};
    std::string_view s = t.text;
    bool negative = !s.empty() && s[0] == '-';
    if (negative) s.remove_prefix(1);
    int base = 10;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        s.remove_prefix(2);
    }
    if (s.empty()) throw Bad{what + " must be a number (decimal or 0x hex), got " + Shown(t)};
    uint64_t v = 0;
    bool huge = false;
    for (char c : s) {
        int d;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
        else throw Bad{what + " must be a number (decimal or 0x hex), got " + Shown(t)};
        if (v > (uint64_t(1) << 56)) huge = true;
        else v = v * uint64_t(base) + uint64_t(d);
    }
    auto range = [&] {
        auto fmt = [&](int64_t n) {
            if (base == 16 && n >= 0) {
                char buf[32];
                std::snprintf(buf, sizeof buf, "0x%llX", static_cast<unsigned long long>(n));
                return std::string(buf);
            }
            return std::to_string(n);
        };
        return what + " " + t.text + " is out of range " + fmt(lo) + ".." + fmt(hi);
    };
    if (huge) throw Bad{range()};
    int64_t value = negative ? -int64_t(v) : int64_t(v);
    if (value < lo || value > hi) throw Bad{range()};
    return value;
}

// The tokens of one command after its word, read in order.
class Args {
public:
    Args(const std::string& command, const std::vector<Token>& tokens) : command_(command), tokens_(tokens) {}

    bool More() const { return pos_ < tokens_.size(); }
    const Token& Peek() const { return tokens_[pos_]; }

    const Token& Positional(const std::string& what) {
        if (!More()) throw Bad{command_ + ": missing " + what};
        const Token& t = tokens_[pos_];
        if (t.keyed) throw Bad{command_ + ": expected " + what + ", got option " + Shown(t)};
        ++pos_;
        return t;
    }
    int64_t Num(const std::string& what, int64_t lo, int64_t hi) {
        return Number(Positional(what), command_ + ": " + what, lo, hi);
    }
    std::string Name(const std::string& what) { return CheckName(Positional(what), what); }
    std::string CheckName(const Token& t, const std::string& what) const {
        if (t.text.empty()) throw Bad{command_ + ": " + what + " is empty"};
        if (t.text.size() > kMaxName)
            throw Bad{command_ + ": " + what + " longer than " + std::to_string(kMaxName) + " bytes"};
        for (char c : t.text)
            if (IsBlank(c) || c == '=' || c == '"')
                throw Bad{command_ + ": " + what + " " + Quote(t.text) + " may not hold spaces, '=' or '\"'"};
        return t.text;
    }
    // The remaining tokens as options: `key=value` for the keys in `valued`,
    // bare words for those in `flags`; each at most once.
    std::map<std::string, Token> Options(const std::set<std::string>& valued, const std::set<std::string>& flags) {
        std::map<std::string, Token> out;
        for (; More(); ++pos_) {
            const Token& t = tokens_[pos_];
            std::string key = t.keyed ? t.key : t.text;
            bool known = t.keyed ? valued.count(key) > 0 : (!t.quoted && flags.count(key) > 0);
            if (!known) {
                std::string all;
                for (const auto& v : valued) all += (all.empty() ? "" : ", ") + v + "=";
                for (const auto& f : flags) all += (all.empty() ? "" : ", ") + f;
                if (!t.keyed && valued.count(key))
                    throw Bad{command_ + ": option " + key + " needs a value (" + key + "=...)"};
                throw Bad{command_ + ": unknown option " + Shown(t) + (all.empty() ? "" : " (known: " + all + ")")};
            }
            if (out.count(key)) throw Bad{command_ + ": " + key + " given twice"};
            out[key] = t;
        }
        return out;
    }
    void End() {
        if (More()) throw Bad{command_ + ": unexpected " + Shown(tokens_[pos_])};
    }

private:
    std::string command_;
    const std::vector<Token>& tokens_;
    size_t pos_ = 1;
};

const std::vector<std::string>& CommandWords() {
    static const std::vector<std::string> kWords = {
        "device", "reg",  "theme", "app",  "activate", "release",     "start",     "down",
        "move",   "up",   "tap",   "wait", "notify",   "dump",        "shot",      "quit",
        "menu-tap", "menu-scroll", "menu-dismiss", "expect", "expect-not", "expect-pixel", "expect-window",
        "expect-counts", "include", "rotate", "display", "install", "reset", "exe"};
    return kWords;
}

std::vector<uint8_t> HexBytes(const std::string& hex, const std::string& what) {
    if (hex.size() % 2) throw Bad{what + ": hex bytes come in pairs of digits, got " + Quote(hex)};
    std::vector<uint8_t> out;
    for (size_t i = 0; i < hex.size(); i += 2) {
        auto digit = [&](char c) -> int {
            if (c >= '0' && c <= '9') return c - '0';
            if (c >= 'a' && c <= 'f') return c - 'a' + 10;
            if (c >= 'A' && c <= 'F') return c - 'A' + 10;
            throw Bad{what + ": " + Quote(hex) + " is not hex bytes"};
        };
        out.push_back(static_cast<uint8_t>(digit(hex[i]) * 16 + digit(hex[i + 1])));
    }
    return out;
}

// Names one file however it is reached.
std::string FileKey(const fs::path& path) {
    std::error_code ec;
    fs::path canonical = fs::weakly_canonical(path, ec);
    return ec ? path.lexically_normal().string() : canonical.string();
}

class Parser {
public:
    Parser(const Loader& loader, const sim::DeviceConfig& device) : loader_(loader) { script_.device = device; }

    ParseResult Run(const std::string& text, const std::string& file) {
        script_.file = file;
        including_.insert(FileKey(file));
        ParseResult result;
        if (!ParseFile(text, file, 0, &result.error)) return result;
        result.script = std::move(script_);
        return result;
    }

private:
    bool ParseFile(const std::string& text, const std::string& file, int depth, ScriptError* error) {
        int number = 0;
        size_t start = 0;
        if (text.rfind("\xEF\xBB\xBF", 0) == 0) start = 3;  // a byte-order mark some editors write
        while (start < text.size() || number == 0) {
            size_t end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            std::string_view raw(text.data() + start, end - start);
            if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
            ++number;
            if (depth == 0) script_.last_line = number;
            try {
                ParseLine(raw, file, number, depth, error);
                if (!error->message.empty()) return false;  // an included file's error, already placed
            } catch (const Bad& bad) {
                *error = ScriptError{file, number, bad.message};
                return false;
            }
            start = end + 1;
            if (end == text.size()) break;
        }
        return true;
    }

    void ParseLine(std::string_view raw, const std::string& file, int number, int depth, ScriptError* error) {
        Line line = Tokenize(raw);
        if (line.tokens.empty()) {
            // Comment lines that follow one another make one paragraph.
            bool continues = in_comment_;
            in_comment_ = !line.comment.empty();
            if (in_comment_) last_comment_ = continues ? last_comment_ + " " + line.comment : line.comment;
            return;
        }
        in_comment_ = false;
        const Token& head = line.tokens[0];
        if (head.quoted || head.keyed) throw Bad{"a line starts with a command, got " + Shown(head)};
        const std::string& word = head.text;
        Args args(word, line.tokens);

        if (word == "device") {
            if (depth > 0 || seen_command_) throw Bad{"device must be the first command of the script"};
            DeviceLine(args);
            seen_command_ = true;
            return;
        }
        seen_command_ = true;
        if (word == "include") {
            Include(args, file, depth, error);
            return;
        }
        if (word == "install") {
            script_.commands.push_back(Command{file, number, line.source, Install(args, file)});
            previous_source_ = line.source;
            return;
        }
        Command cmd;
        cmd.file = file;
        cmd.line = number;
        cmd.source = line.source;
        line_file_ = file;
        cmd.action = Parse(word, args, line);
        if (!std::holds_alternative<ShotCmd>(cmd.action)) previous_source_ = line.source;
        script_.commands.push_back(std::move(cmd));
    }

    void DeviceLine(Args& a) {
        sim::DeviceConfig& d = script_.device;
        d.width = int(a.Num("width", 64, 4096));
        d.height = int(a.Num("height", 64, 4096));
        auto opts = a.Options({"dpi", "taskbar"}, {});
        if (opts.count("dpi")) {
            // N for both axes, or HxV: the horizontal and the vertical resolution.
            const Token& t = opts["dpi"];
            size_t from = t.text.size() > 1 && t.text[0] == '0' && (t.text[1] == 'x' || t.text[1] == 'X') ? 2 : 0;
            size_t x = t.quoted ? std::string::npos : t.text.find_first_of("xX", from);
            Token h = t, v = t;
            if (x != std::string::npos) {
                h.text = t.text.substr(0, x);
                v.text = t.text.substr(x + 1);
            }
            d.dpi = int(Number(h, "device: dpi", 48, 960));
            d.dpi_y = x == std::string::npos ? 0 : int(Number(v, "device: vertical dpi", 48, 960));
        }
        d.taskbar_height = -1;
        if (opts.count("taskbar")) d.taskbar_height = int(Number(opts["taskbar"], "device: taskbar", 0, d.height / 2));
        script_.device_given = true;
    }

    void Include(Args& a, const std::string& file, int depth, ScriptError* error) {
        std::string name = a.Positional("file name").text;
        a.End();
        if (name.empty()) throw Bad{"include: empty file name"};
        if (depth + 1 > kMaxIncludeDepth)
            throw Bad{"include: files nested more than " + std::to_string(kMaxIncludeDepth) + " deep"};
        fs::path path = fs::path(name).is_absolute() ? fs::path(name) : fs::path(file).parent_path() / name;
        std::string key = FileKey(path);
        if (including_.count(key)) throw Bad{"include: " + Quote(name) + " includes itself (directly or through others)"};
        std::string why;
        std::optional<std::string> text = loader_ ? loader_(path.string(), &why) : std::nullopt;
        if (!text) throw Bad{"include: cannot read " + path.string() + (why.empty() ? "" : ": " + why)};
        including_.insert(key);
        bool ok = ParseFile(*text, path.string(), depth + 1, error);
        including_.erase(key);
        if (!ok && error->message.empty()) throw Bad{"include: " + Quote(name) + " failed"};
    }

    // The cabinet is found relative to the script's folder, as an included
    // file is, and read when the command plays, as the device reads a file
    // when it is tapped.
    InstallCmd Install(Args& a, const std::string& file) {
        InstallCmd cmd;
        cmd.file = a.Positional("cabinet file name").text;
        a.End();
        if (cmd.file.empty()) throw Bad{"install: empty file name"};
        fs::path path = fs::path(cmd.file).is_absolute() ? fs::path(cmd.file) : fs::path(file).parent_path() / cmd.file;
        cmd.path = path.string();
        return cmd;
    }

    Action Parse(const std::string& word, Args& a, const Line& line) {
        // Points are checked against the screen as it stands at this line.
        const struct {
            int width, height;
        } d{screen_ ? screen_->first : script_.device.width, screen_ ? screen_->second : script_.device.height};
        auto x_of = [&](const std::string& what) { return int(a.Num(what, 0, d.width - 1)); };
        auto y_of = [&](const std::string& what) { return int(a.Num(what, 0, d.height - 1)); };

        if (word == "reg") return Reg(a);
        if (word == "theme") {
            auto opts = a.Options({"back", "fore"}, {});
            if (!opts.count("back") || !opts.count("fore")) throw Bad{"theme: needs back=0xBBGGRR and fore=0xBBGGRR"};
            ThemeCmd t;
            t.back = COLORREF(Number(opts["back"], "theme: back", 0, 0xFFFFFF));
            t.fore = COLORREF(Number(opts["fore"], "theme: fore", 0, 0xFFFFFF));
            return t;
        }
        if (word == "app") return App(a);
        if (word == "activate" || word == "release") {
            std::string name = a.Name("window name");
            a.End();
            if (word == "activate") return ActivateCmd{name};
            return ReleaseCmd{name};
        }
        if (word == "down" || word == "move" || word == "up" || word == "tap") {
            PenCmd p;
            p.kind = word == "down" ? PenCmd::Kind::Down
                     : word == "move" ? PenCmd::Kind::Move
                     : word == "up"   ? PenCmd::Kind::Up
                                      : PenCmd::Kind::Tap;
            p.x = x_of("x");
            p.y = y_of("y");
            a.End();
            return p;
        }
        if (word == "wait") {
            WaitCmd w{uint64_t(a.Num("milliseconds", 0, int64_t(kMaxWait)))};
            a.End();
            return w;
        }
        if (word == "exe") {
            std::string name = a.Positional("file name").text;
            a.End();
            if (name.empty()) throw Bad{"exe: empty file name"};
            fs::path path = fs::path(name).is_absolute() ? fs::path(name) : fs::path(line_file_).parent_path() / name;
            return ExeCmd{path.string()};
        }
        if (word == "shot") {
            ShotCmd s;
            s.file = a.Positional("file name").text;
            a.End();
            std::string wrong = CheckShotName(s.file);
            if (!wrong.empty()) throw Bad{"shot: " + wrong};
            std::string key = fs::path(s.file).lexically_normal().string();
            auto [it, fresh] = shots_.emplace(key, 0);
            if (!fresh) throw Bad{"shot: " + Quote(s.file) + " is already taken by an earlier shot"};
            s.caption = !line.comment.empty() ? line.comment
                        : !last_comment_.empty() ? last_comment_
                                                 : previous_source_;
            last_comment_.clear();
            return s;
        }
        if (word == "rotate") {
            a.End();
            screen_ = {d.height, d.width};
            return RotateCmd{};
        }
        if (word == "display") {
            DisplayCmd c;
            c.width = int(a.Num("width", 64, 4096));
            c.height = int(a.Num("height", 64, 4096));
            a.End();
            screen_ = {c.width, c.height};
            return c;
        }
        if (word == "menu-tap") {
            MenuTapCmd m;
            m.position = int(a.Num("item position", 0, 9999));
            auto opts = a.Options({"at"}, {});
            if (opts.count("at")) m.at = int(Number(opts["at"], "menu-tap: at", 0, d.width - 1));
            return m;
        }
        if (word == "menu-scroll") {
            MenuScrollCmd m;
            const Token& way = a.Positional("up or down");
            if (way.quoted || (way.text != "up" && way.text != "down"))
                throw Bad{"menu-scroll: expected up or down, got " + Shown(way)};
            m.down = way.text == "down";
            if (a.More()) m.times = int(a.Num("count", 1, 10000));
            a.End();
            return m;
        }
        if (word == "expect" || word == "expect-not") {
            ExpectCmd e;
            e.text = a.Positional("the text to look for").text;
            e.negated = word == "expect-not";
            a.End();
            if (e.text.empty()) throw Bad{word + ": the text is empty"};
            return e;
        }
        if (word == "expect-pixel") {
            ExpectPixelCmd e;
            e.x = x_of("x");
            e.y = y_of("y");
            e.colour = COLORREF(a.Num("colour", 0, 0xFFFFFF));
            a.End();
            return e;
        }
        if (word == "expect-window") {
            ExpectWindowCmd e;
            e.name = a.Name("window name");
            auto opts = a.Options({"visible"}, {"foreground", "gone"});
            if (opts.count("visible")) e.visible = Number(opts["visible"], "expect-window: visible", 0, 1) == 1;
            e.foreground = opts.count("foreground") > 0;
            e.gone = opts.count("gone") > 0;
            if (e.gone && (e.visible || e.foreground))
                throw Bad{"expect-window: gone cannot be combined with visible= or foreground"};
            return e;
        }
        if (word == "expect-counts") {
            ExpectCountsCmd e;
            e.name = a.Name("window name or vesk");
            auto opts = a.Options({"gdi", "icons", "menus", "handles", "heap"}, {});
            if (opts.empty()) throw Bad{"expect-counts: give at least one of gdi=, icons=, menus=, handles=, heap="};
            auto get = [&](const char* key, std::optional<long>* slot) {
                if (opts.count(key)) *slot = long(Number(opts[key], std::string("expect-counts: ") + key, 0, 1000000000));
            };
            get("gdi", &e.gdi);
            get("icons", &e.icons);
            get("menus", &e.menus);
            get("handles", &e.handles);
            get("heap", &e.heap);
            return e;
        }
        if (std::find(CommandWords().begin(), CommandWords().end(), word) == CommandWords().end()) {
            std::string all;
            for (const auto& w : CommandWords()) all += (all.empty() ? "" : ", ") + w;
            throw Bad{"unknown command " + Quote(word) + " (commands: " + all + ")"};
        }
        a.End();  // the commands without arguments
        if (word == "start") return StartCmd{};
        if (word == "notify") return NotifyCmd{};
        if (word == "dump") return DumpCmd{};
        if (word == "quit") return QuitCmd{};
        if (word == "reset") return ResetCmd{};
        return MenuDismissCmd{};
    }

    RegCmd Reg(Args& a) {
        RegCmd r;
        const Token& root = a.Positional("root key");
        if (root.text == "HKLM" || root.text == "HKEY_LOCAL_MACHINE") r.root = HKEY_LOCAL_MACHINE;
        else if (root.text == "HKCU" || root.text == "HKEY_CURRENT_USER") r.root = HKEY_CURRENT_USER;
        else throw Bad{"reg: root key must be HKLM or HKCU, got " + Shown(root)};
        r.key = Widen(a.Positional("key path").text);
        r.name = Widen(a.Positional("value name").text);
        const Token& kind = a.Positional("dword, binary or delete");
        if (kind.text == "dword" && !kind.quoted) {
            r.kind = RegCmd::Kind::Dword;
            r.value = DWORD(a.Num("value", 0, 0xFFFFFFFF));
        } else if (kind.text == "binary" && !kind.quoted) {
            r.kind = RegCmd::Kind::Binary;
            // One or more words of hex digit pairs, joined: "binary 00ff 1034 ..."
            do {
                const Token& t = a.Positional("hex bytes");
                if (t.quoted) throw Bad{"reg: hex bytes are written without quotes"};
                std::vector<uint8_t> b = HexBytes(t.text, "reg");
                r.bytes.insert(r.bytes.end(), b.begin(), b.end());
            } while (a.More());
            if (r.bytes.size() > 65536) throw Bad{"reg: a binary value holds at most 65536 bytes"};
        } else if (kind.text == "delete" && !kind.quoted) {
            r.kind = RegCmd::Kind::Delete;
        } else {
            throw Bad{"reg: expected dword, binary or delete, got " + Shown(kind)};
        }
        a.End();
        if (r.key.empty()) throw Bad{"reg: empty key path"};
        return r;
    }

    AppCmd App(Args& a) {
        AppCmd cmd;
        sim::AppConfig& app = cmd.app;
        app.name = a.Name("application name");
        if (app.name == "Desktop" || app.name == "vesk")
            throw Bad{"app: the name " + Quote(app.name) + " is reserved (it names the shell's desktop or vesk)"};
        auto opts = a.Options({"exe", "class", "title", "style", "exstyle", "owner", "on-close", "on-ok"},
                              {"ok", "hidden"});
        if (opts.count("exe")) {
            if (opts["exe"].text.empty()) throw Bad{"app: empty exe="};
            app.exe = Widen(opts["exe"].text);
        }
        if (opts.count("class")) {
            if (opts["class"].text.empty()) throw Bad{"app: empty class="};
            if (opts["class"].text.size() > 255) throw Bad{"app: a class name holds at most 255 bytes"};
            app.class_name = Widen(opts["class"].text);
        }
        if (opts.count("title")) app.title = Widen(opts["title"].text);
        if (opts.count("style")) app.style = DWORD(Number(opts["style"], "app: style", 0, 0xFFFFFFFF));
        if (opts.count("exstyle")) app.exstyle = DWORD(Number(opts["exstyle"], "app: exstyle", 0, 0xFFFFFFFF));
        if (opts.count("ok")) app.exstyle |= WS_EX_CAPTIONOKBTN;
        if (opts.count("hidden")) app.hidden = true;
        if (opts.count("owner")) app.owner = a.CheckName(opts["owner"], "owner");
        auto behaviour = [&](const char* key) -> int {
            const std::string& v = opts[key].text;
            if (v == "destroy") return 0;
            if (v == "ignore") return 1;
            if (v == "hang") return 2;
            throw Bad{std::string("app: ") + key + " must be destroy, ignore or hang, got " + Quote(v)};
        };
        if (opts.count("on-close")) app.on_close = static_cast<sim::OnClose>(behaviour("on-close"));
        if (opts.count("on-ok")) app.on_ok = static_cast<sim::OnOk>(behaviour("on-ok"));
        return cmd;
    }

    const Loader& loader_;
    Script script_;
    bool seen_command_ = false;
    std::optional<std::pair<int, int>> screen_;  // after a rotate or display line
    std::set<std::string> including_;
    std::map<std::string, int> shots_;
    std::string last_comment_;
    bool in_comment_ = false;
    std::string previous_source_;
    std::string line_file_;  // the file of the command being parsed
};

}  // namespace

std::string ScriptError::Format() const { return file + ":" + std::to_string(line) + ": " + message; }

std::optional<std::string> ReadScriptFile(const std::string& path, std::string* error) {
    std::error_code ec;
    if (fs::is_directory(path, ec)) {
        if (error) *error = "it is a folder";
        return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error) *error = std::strerror(errno);
        return std::nullopt;
    }
    std::string text;
    char buf[65536];
    while (in.read(buf, sizeof buf) || in.gcount() > 0) {
        text.append(buf, size_t(in.gcount()));
        if (text.size() > kMaxScriptBytes) {
            if (error) *error = "larger than 16 MiB";
            return std::nullopt;
        }
    }
    if (in.bad()) {
        if (error) *error = "read error";
        return std::nullopt;
    }
    return text;
}

ParseResult ParseScript(const std::string& text, const std::string& file, const Loader& loader,
                        const sim::DeviceConfig& default_device) {
    Parser parser(loader, default_device);
    return parser.Run(text, file);
}

std::string CheckShotName(const std::string& name) {
    if (name.empty()) return "empty file name";
    fs::path p(name);
    if (p.is_absolute() || p.has_root_name() || p.has_root_directory())
        return Quote(name) + " must be a path relative to the output folder";
    for (char c : name)
        if (c == '\\') return Quote(name) + ": write folders with '/'";
    for (const auto& part : p)
        if (part == "..") return Quote(name) + " may not leave the output folder ('..')";
    if (p.filename().empty() || p.filename() == ".") return Quote(name) + " names a folder, not a file";
    std::string ext = p.extension().string();
    for (auto& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    if (ext != ".png") return Quote(name) + " must end in .png";
    if (p.lexically_normal() == "contact-sheet.png") return "contact-sheet.png is kept for the demo's contact sheet";
    return {};
}

}  // namespace vesk_sim
