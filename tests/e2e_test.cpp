// End-to-end scenarios: every script in tests/e2e is played by the same
// player as vesk-sim's, against vesk on a simulated device, and checks its
// own event log, windows, pixels and handle counts.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include <unistd.h>

#include "player.h"
#include "scenario_files.h"
#include "script.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> Scenarios() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(fs::path(VESK_SOURCE_DIR) / "tests" / "e2e"))
        if (entry.path().extension() == ".vsk") names.push_back(entry.path().stem().string());
    std::sort(names.begin(), names.end());
    return names;
}

class Scenario : public ::testing::TestWithParam<std::string> {};

}  // namespace

TEST_P(Scenario, Plays) {
    fs::path script = fs::path(VESK_SOURCE_DIR) / "tests" / "e2e" / (GetParam() + ".vsk");
    std::string error;
    auto text = vesk_sim::ReadScriptFile(script.string(), &error);
    ASSERT_TRUE(text) << error;
    auto parsed = vesk_sim::ParseScript(*text, script.string());
    ASSERT_TRUE(parsed.script) << parsed.error.Format();
    // Per process: runs of other users or checkouts leave their own folders.
    fs::path out = fs::temp_directory_path() / ("vesk-e2e-" + std::to_string(getpid()) + "-" + GetParam());
    fs::remove_all(out);
    std::ostringstream err;
    vesk_sim::PlayResult result = vesk_sim::Play(*parsed.script, out, err, ReadScenarioFile);
    std::string log;
    for (const auto& line : result.log) log += "  " + line + "\n";
    EXPECT_EQ(result.exit_code, vesk_sim::kExitOk) << result.message << "\n" << err.str() << "events:\n" << log;
    // Every screenshot is on disk.
    for (const auto& shot : result.shots) EXPECT_TRUE(fs::exists(shot.path)) << shot.file;
    if (!HasFailure()) fs::remove_all(out);
}

INSTANTIATE_TEST_SUITE_P(E2e, Scenario, ::testing::ValuesIn(Scenarios()),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });
