// Reading a scenario file whole, within a stated size.
#pragma once

#include <cstddef>
#include <string>

namespace replay {

// Larger files are refused before they are parsed: a written scenario is a few kilobytes
// and a generated one rarely more than a few hundred, while the parsed document and the
// worlds read from it can take fifty times the file's size in memory.
inline constexpr std::size_t maxScenarioBytes = 4 * 1024 * 1024;

// The file's bytes; throws ScenarioError when it cannot be read, is empty or is larger
// than maxScenarioBytes. Reads at most one byte past the limit, so endless files end too.
std::string readScenarioFile(const std::string& path);

}  // namespace replay
