// Files that the scenarios of tests/e2e name beside themselves but that the
// build makes: vesk.cab (`install "vesk.cab"`), written by cab_make into the
// build's own tests/e2e folder (VESK_E2E_FILES), since nothing is written
// into the sources.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "script.h"

inline std::optional<std::string> ReadScenarioFile(const std::string& path, std::string* error) {
    namespace fs = std::filesystem;
    fs::path p = fs::path(path).lexically_normal();
    fs::path built = fs::path(VESK_E2E_FILES) / p.filename();
    if (!fs::exists(p) && p.parent_path() == (fs::path(VESK_SOURCE_DIR) / "tests" / "e2e").lexically_normal() &&
        fs::exists(built))
        return vesk_sim::ReadScriptFile(built.string(), error);
    return vesk_sim::ReadScriptFile(path, error);
}
