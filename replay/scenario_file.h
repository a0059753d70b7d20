// Reading a scenario file whole, within a stated size.
#pragma once

#include <cstddef>
#include <string>

namespace replay {

// Larger files are refused before they are parsed: a scenario is a few kilobytes, and the
// parsed document takes many times the file's size in memory.
inline constexpr std::size_t maxScenarioBytes = 16 * 1024 * 1024;

// The file's bytes; throws ScenarioError when it cannot be read, is empty or is larger
// than maxScenarioBytes. Reads at most one byte past the limit, so endless files end too.
std::string readScenarioFile(const std::string& path);

}  // namespace replay
