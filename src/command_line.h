#pragma once
// What the demo and the capture program read from their command lines the
// same way: numbers, whole numbers and WIDTHxHEIGHT sizes, each refused in
// the same words, and the nearest-rank percentile of their timing tables.
// Each parser returns an empty string when the text is usable, or else the
// refusal, naming the option as the user typed it.

#include <cstdint>
#include <string>
#include <vector>

namespace cli {

// A decimal number such as 67.2 or 1e1: no blanks, nothing after it, finite.
std::string parseNumber(const std::string& option, const std::string& text, double& value);

// Digits only, at most `max`.
std::string parseWhole(const std::string& option, const std::string& text, std::uint64_t max,
                       std::uint64_t& value);

struct Size {
    std::uint32_t width = 0, height = 0;
};
// WIDTHxHEIGHT in whole pixels, each side at least `minSide` and at most
// the side of `max`.
std::string parseSize(const std::string& option, const std::string& text, std::uint32_t minSide,
                      Size max, Size& size);

// --scale: the fraction of the picture's size to render at, 0.25 to 1.
std::string parseScale(const std::string& option, const std::string& text, float& scale);

// A number as the messages show it, in the fewest digits that read back as
// the same number: 67.2, 96, 95.999999, 1e+12.
std::string shown(double value);

// The nearest-rank percentile: the smallest value that at least `percent` %
// of the set do not exceed (0 for an empty set).
double percentile(std::vector<double> values, unsigned percent);

} // namespace cli
