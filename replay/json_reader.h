// Strict JSON for scenario files: a repeated key, nesting deeper than a scenario can use
// and a number out of a double's range are mistakes, reported with where they are.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace replay {

// Objects and lists nested deeper than this are refused; a scenario needs six levels.
inline constexpr std::size_t maxJsonDepth = 64;

// Throws ScenarioError.
nlohmann::json readStrictJson(const std::string& text);

// A key as error messages show it: on one line (control characters as \u00XX escapes) and
// cut short after a few dozen bytes.
std::string shownKey(std::string_view key);

// "line L, column C" of the byte at offset `byte` (0-based).
std::string positionOf(const std::string& text, std::size_t byte);

}  // namespace replay
