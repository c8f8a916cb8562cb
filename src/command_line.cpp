#include "command_line.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace cli {

std::string parseNumber(const std::string& option, const std::string& text, double& value) {
    // strtod would skip leading blanks and read "nan" and "inf"; only plain
    // decimals are numbers here.
    const bool plain = !text.empty() && text.find_first_not_of("0123456789.eE+-") == std::string::npos;
    errno = 0;
    char* end = nullptr;
    const double v = plain ? std::strtod(text.c_str(), &end) : 0.0;
    if (!plain || *end != '\0') return option + " takes a number, not \"" + text + "\"";
    // A number too small to hold is as good as 0; one too large is no time.
    if (errno == ERANGE && std::isinf(v)) return option + " " + text + " is out of range";
    value = v;
    return "";
}

std::string parseWhole(const std::string& option, const std::string& text, std::uint64_t max,
                       std::uint64_t& value) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
        return option + " takes a whole number, not \"" + text + "\"";
    // More digits than the maximum has is out of range whatever they say,
    // and never overflows.
    if (text.size() > std::to_string(max).size() || std::stoull(text) > max)
        return option + " " + text + " is out of range: at most " + std::to_string(max);
    value = std::stoull(text);
    return "";
}

std::string parseSize(const std::string& option, const std::string& text, std::uint32_t minSide,
                      Size max, Size& size) {
    const std::size_t x = text.find('x');
    const std::string sides[2] = {text.substr(0, x), x == std::string::npos ? "" : text.substr(x + 1)};
    for (const std::string& side : sides)
        if (side.empty() || side.find_first_not_of("0123456789") != std::string::npos)
            return option + " takes WIDTHxHEIGHT in whole pixels, such as 1280x720, not \"" + text + "\"";
    // Ten digits or more could overflow; they are too large for any screen.
    auto value = [](const std::string& side) { return side.size() > 9 ? ~0ull : std::stoull(side); };
    const unsigned long long w = value(sides[0]), h = value(sides[1]);
    if (w < minSide || h < minSide)
        return option + " " + text + " is too small: each side needs at least " + std::to_string(minSide) +
               " pixels";
    if (w > max.width || h > max.height)
        return option + " " + text + " is too large: at most " + std::to_string(max.width) + "x" +
               std::to_string(max.height);
    size = {std::uint32_t(w), std::uint32_t(h)};
    return "";
}

std::string parseScale(const std::string& option, const std::string& text, float& scale) {
    double number = 0.0;
    std::string error = parseNumber(option, text, number);
    if (error.empty() && (number < 0.25 || number > 1.0))
        error = option + " " + shown(number) + " is out of range: it takes 0.25 to 1";
    if (error.empty()) scale = float(number);
    return error;
}

std::string shown(double value) {
    // The fewest digits that read back as the same number: 67.2, but
    // 95.999999 rather than a rounded 96.
    char text[32];
    for (int digits = 6; digits <= 17; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, value);
        if (std::strtod(text, nullptr) == value) break;
    }
    return text;
}

double percentile(std::vector<double> values, unsigned percent) {
    if (values.empty()) return 0.0;
    const std::size_t rank = std::max<std::size_t>(1, (values.size() * percent + 99) / 100);
    std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(rank - 1), values.end());
    return values[rank - 1];
}

} // namespace cli
