// Choosing the desktop's scale from what the desktop publishes: whole
// numbers given as such (KORU_BENCH_SCALE, GDK_SCALE, Gdk/WindowScalingFactor)
// and dots per inch (Xft/DPI, Xft.dpi), 96 to a factor of 1, to the nearest
// whole number with halves up, so that 150 % gives 2 as on Windows, where
// such a program is stretched from 150 % on.
#include "desktop_scale.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace koru::posix {

namespace {

constexpr double DPI_OF_ONE = 96.0;

bool IsBlank(const char* text)
{
    while (*text == ' ' || *text == '\t') {
        ++text;
    }
    return *text == '\0';
}

// A whole number, alone but for blanks; false otherwise.
bool ReadWhole(const char* text, long& value)
{
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text, &end, 10);
    return end != text && errno == 0 && IsBlank(end);
}

bool ReadNumber(const char* text, double& value)
{
    char* end = nullptr;
    errno = 0;
    value = std::strtod(text, &end);
    return end != text && errno == 0 && std::isfinite(value) && IsBlank(end);
}

// 0 where the dots per inch give no factor in range.
int ScaleOfDpi(double dpi)
{
    if (!(dpi > 0.0) || dpi / DPI_OF_ONE >= MOST_SCALE + 0.5) {
        return 0;
    }
    return std::max(1, static_cast<int>(std::floor(dpi / DPI_OF_ONE + 0.5)));
}

int InRange(long scale)
{
    return scale >= 1 && scale <= MOST_SCALE ? static_cast<int>(scale) : 0;
}

std::string Describe(const char* source, const std::string& value, const char* wanted)
{
    return std::string(source) + "=" + value + " is not " + wanted;
}

const char* const WHOLE_WANTED = "a whole number from 1 to 4";
const char* const DPI_WANTED = "a number of dots per inch from 1 to 431";

}  // namespace

int ChooseScale(const ScaleSources& sources, std::string& complaint)
{
    long whole = 0;
    for (const auto& [name, text] : {std::pair{"KORU_BENCH_SCALE", sources.override},
                                     std::pair{"GDK_SCALE", sources.gdkScale}}) {
        if (text == nullptr || *text == '\0') {
            continue;
        }
        if (ReadWhole(text, whole) && InRange(whole) != 0) {
            return InRange(whole);
        }
        complaint = Describe(name, text, WHOLE_WANTED);
    }
    if (sources.xsettingsScale != 0) {
        if (InRange(sources.xsettingsScale) != 0) {
            return InRange(sources.xsettingsScale);
        }
        complaint = Describe("Gdk/WindowScalingFactor", std::to_string(sources.xsettingsScale),
                             WHOLE_WANTED);
    }
    if (sources.xsettingsDpi != 0) {
        if (const int scale = ScaleOfDpi(sources.xsettingsDpi / 1024.0); scale != 0) {
            return scale;
        }
        complaint = Describe("Xft/DPI", std::to_string(sources.xsettingsDpi / 1024), DPI_WANTED);
    }
    if (sources.xftDpi != nullptr && *sources.xftDpi != '\0') {
        double dpi = 0.0;
        if (ReadNumber(sources.xftDpi, dpi) && ScaleOfDpi(dpi) != 0) {
            return ScaleOfDpi(dpi);
        }
        complaint = Describe("Xft.dpi", sources.xftDpi, DPI_WANTED);
    }
    return 1;
}

int FitScale(int scale, int workWidth, int workHeight, int outerWidth, int outerHeight)
{
    while (scale > 1 && (static_cast<long>(outerWidth) * scale > workWidth ||
                         static_cast<long>(outerHeight) * scale > workHeight)) {
        --scale;
    }
    return std::max(scale, 1);
}

std::string FindXftDpi(const char* resources)
{
    // One resource a line, "name:\tvalue"; the last one of a name counts,
    // as Xlib's own lookup would have it.
    constexpr const char* NAME = "Xft.dpi:";
    std::string value;
    for (const char* line = resources; line != nullptr && *line != '\0';) {
        const char* end = std::strchr(line, '\n');
        const std::size_t length = end != nullptr ? static_cast<std::size_t>(end - line) : std::strlen(line);
        if (std::strncmp(line, NAME, std::strlen(NAME)) == 0) {
            std::size_t start = std::strlen(NAME);
            while (start < length && (line[start] == ' ' || line[start] == '\t')) {
                ++start;
            }
            value.assign(line + start, length - start);
        }
        line = end != nullptr ? end + 1 : nullptr;
    }
    return value;
}

bool ReadXSettings(const unsigned char* data, std::size_t size, long& scale, long& dpi)
{
    // Byte order, 3 bytes of padding, serial, count; then each setting: its
    // type, a pad byte, its name's length, the name padded to 4 bytes, its
    // last-change serial, and its value (an integer; a string: length, then
    // bytes padded to 4; a colour: four 16-bit parts).
    if (data == nullptr || size < 12 || (data[0] != 0 && data[0] != 1)) {
        return false;
    }
    const bool mostFirst = data[0] == 1;
    const auto word = [&](std::size_t at, int bytes) {
        std::uint32_t value = 0;
        for (int i = 0; i < bytes; ++i) {
            const std::uint32_t byte = data[at + (mostFirst ? i : bytes - 1 - i)];
            value = value << 8 | byte;
        }
        return value;
    };
    const auto padded = [](std::size_t length) { return (length + 3) / 4 * 4; };
    const std::uint32_t count = word(8, 4);
    std::size_t at = 12;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (size - at < 4) {
            return false;
        }
        const unsigned type = data[at];
        const std::size_t nameLength = word(at + 2, 2);
        const std::size_t nameAt = at + 4;
        if (size - nameAt < padded(nameLength) + 4) {
            return false;
        }
        const std::string name(reinterpret_cast<const char*>(data + nameAt), nameLength);
        at = nameAt + padded(nameLength) + 4;
        std::size_t valueSize = 0;
        if (type == 0) {
            valueSize = 4;
        } else if (type == 1) {
            if (size - at < 4) {
                return false;
            }
            valueSize = 4 + padded(word(at, 4));
        } else if (type == 2) {
            valueSize = 8;
        } else {
            return false;
        }
        if (size - at < valueSize) {
            return false;
        }
        // Xft/DPI is -1 where the daemon leaves it at the default.
        if (const auto value = static_cast<std::int32_t>(word(at, 4)); type == 0 && value > 0) {
            if (name == "Gdk/WindowScalingFactor") {
                scale = value;
            } else if (name == "Xft/DPI") {
                dpi = value;
            }
        }
        at += valueSize;
    }
    return true;
}

}  // namespace koru::posix
