// The simulator's program-facing headers offer programs nothing that a
// Windows CE device lacks. Every function that windows.h, tlhelp32.h and
// shellapi.h declare must be exported by the device's DLLs on CE 5 and on
// CE 6 (the export lists of the CE SDK), or be one that CE's own headers
// define as a macro or an inline, which needs no export. What the simulator
// needs beyond that for its shell, driver and tests lives in sim/host_api.h.
#include <gtest/gtest.h>
#include <sim/loader.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

fs::path CeSdk() {
    if (const char* dir = std::getenv("VESK_CE_SDK")) return dir;
    return fs::path(VESK_SOURCE_DIR) / ".." / "shared" / "ce-sdk";
}

std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The names of a .def export list: one a line after EXPORTS.
std::set<std::string> Exports(const std::vector<std::string>& files) {
    std::set<std::string> names;
    static const std::regex name(R"(^\s*([A-Za-z_][A-Za-z0-9_]*))");
    for (const std::string& file : files) {
        std::istringstream lines(Slurp(CeSdk() / "lib" / file));
        bool in_exports = false;
        for (std::string line; std::getline(lines, line);) {
            std::smatch m;
            if (!std::regex_search(line, m, name)) continue;
            if (m[1] == "EXPORTS") in_exports = true;
            else if (in_exports) names.insert(m[1]);
        }
    }
    return names;
}

// What CE's headers define as a macro or as an inline function.
std::set<std::string> DefinedByCeHeaders() {
    std::set<std::string> names;
    static const std::regex macro(R"(#\s*define\s+([A-Za-z_][A-Za-z0-9_]*))");
    static const std::regex inline_fn(R"(\binline\b[^;{()]*?\b([A-Za-z_][A-Za-z0-9_]*)\s*\()");
    for (const auto& entry : fs::recursive_directory_iterator(CeSdk() / "include")) {
        if (!entry.is_regular_file() || entry.path().extension() != ".h") continue;
        const std::string text = Slurp(entry.path());
        for (const std::regex* re : {&macro, &inline_fn})
            for (std::sregex_iterator it(text.begin(), text.end(), *re), end; it != end; ++it)
                names.insert((*it)[1]);
    }
    return names;
}

// Every function a header declares: "TYPE WINAPI Name(".
std::vector<std::string> Declared(const std::string& header_text) {
    std::vector<std::string> names;
    static const std::regex decl(R"(\bWINAPI\s+([A-Za-z_][A-Za-z0-9_]*)\s*\()");
    for (std::sregex_iterator it(header_text.begin(), header_text.end(), decl), end; it != end; ++it)
        names.push_back((*it)[1]);
    return names;
}

TEST(HeaderSurface, EveryProgramFacingFunctionExistsOnTheDevice) {
    if (!fs::exists(CeSdk() / "lib" / "coredll.def"))
        GTEST_SKIP() << "no CE SDK at " << CeSdk() << " (set VESK_CE_SDK)";

    // The other DLLs a Pocket PC program may import from.
    const std::vector<std::string> others = {"toolhelp.def", "aygshell.def", "commctrl.def", "ceshell.def"};
    std::vector<std::string> ce5 = others, ce6 = others;
    ce5.push_back("coredll.def");
    ce6.push_back("coredll6.def");
    const std::set<std::string> exported5 = Exports(ce5), exported6 = Exports(ce6);
    const std::set<std::string> defined = DefinedByCeHeaders();
    ASSERT_GT(exported5.size(), 1000u);
    ASSERT_GT(exported6.size(), 1000u);

    size_t checked = 0;
    std::vector<std::string> lacking;
    // Every program-facing header: windows.h and the headers it includes, tlhelp32.h, shellapi.h.
    std::vector<fs::path> headers;
    for (const auto& entry : fs::directory_iterator(fs::path(VESK_SOURCE_DIR) / "sim" / "include"))
        if (entry.is_regular_file() && entry.path().extension() == ".h") headers.push_back(entry.path());
    ASSERT_GE(headers.size(), 3u);
    for (const fs::path& path : headers) {
        const std::string header = path.filename().string();
        for (const std::string& name : Declared(Slurp(path))) {
            // The program's own entry point: the program defines it.
            if (name == "WinMain") continue;
            ++checked;
            if (defined.count(name)) continue;
            if (!exported5.count(name)) lacking.push_back(header + ": " + name + " (not on CE 5)");
            if (!exported6.count(name)) lacking.push_back(header + ": " + name + " (not on CE 6)");
        }
    }
    EXPECT_GT(checked, 100u) << "the headers' declarations were not found";
    std::string report;
    for (const std::string& line : lacking) report += "\n  " + line;
    EXPECT_TRUE(lacking.empty()) << "declared for programs but exported by no device DLL and not a macro or inline"
                                 << " of CE's headers:" << report;
}

// What a loaded executable may import: each (DLL, function) of the simulated
// device's export table is in that DLL's own export list on CE 5 and CE 6.
TEST(HeaderSurface, EveryExportOfTheSimulatedDllsExistsOnTheDevice) {
    if (!fs::exists(CeSdk() / "lib" / "coredll.def"))
        GTEST_SKIP() << "no CE SDK at " << CeSdk() << " (set VESK_CE_SDK)";
    const std::map<std::string, std::vector<std::vector<std::string>>> lists = {
        {"COREDLL", {{"coredll.def"}, {"coredll6.def"}}},
        {"TOOLHELP", {{"toolhelp.def"}}},
    };
    std::vector<std::string> lacking;
    const auto table = sim::DeviceExports();
    ASSERT_GT(table.size(), 150u);
    for (const auto& [dll, name] : table) {
        auto it = lists.find(dll);
        if (it == lists.end()) {
            lacking.push_back(dll + " (no export list)");
            continue;
        }
        for (const auto& files : it->second)
            if (!Exports(files).count(name)) lacking.push_back(dll + ": " + name + " (not in " + files[0] + ")");
    }
    std::string report;
    for (const std::string& line : lacking) report += "\n  " + line;
    EXPECT_TRUE(lacking.empty()) << "offered to loaded programs but not exported by the device:" << report;
}

}  // namespace
