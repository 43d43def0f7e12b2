#include "DataUnit.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

DataUnit::DataUnit(const char* column) {
    const char* space = std::strchr(column, ' ');
    if (!space) {
        symbolText = column;
        return;
    }
    // The scale is a decimal such as 0.001 or 1e-7; the decimals shown are
    // those of the smallest step it names.
    char* end = nullptr;
    const double scale = std::strtod(column, &end);
    if (end != space || !(scale > 0)) {
        symbolText = column;  // not a scale: the whole column is the symbol
        return;
    }
    factor = scale;
    symbolText = space + 1;
    places = scale >= 1 ? 0 : static_cast<int>(std::lround(std::ceil(-std::log10(scale) - 1e-9)));
}

std::string DataUnit::format(int64_t raw) const {
    if (places == 0 && factor == 1.0) return std::to_string(raw);
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", places, value(raw));
    return text;
}

std::string DataUnit::withSymbol(int64_t raw) const {
    return symbolText.empty() ? format(raw) : format(raw) + " " + symbolText;
}
