#pragma once
// The unit column of DataIds.def read as a number a person can use: "0.1
// degC" is a scale of 0.1 and the symbol "degC", so the raw integer 215 reads
// 21.5 degC. Every tool that shows a value in units (the monitor, orq-dump,
// the server's JSON) goes through this one reading, so they never disagree;
// the Python package reads the same column by the same rule.
//
// A value object: immutable once built, any thread may use it.
#include <cstdint>
#include <string>

class DataUnit {
public:
    // The column as DataIds.def spells it: "[SCALE ]SYMBOL", "raw" or "".
    explicit DataUnit(const char* column);

    // Whether the unit is known: false for "raw" (the integer as received).
    bool known() const { return symbolText != "raw"; }
    // The symbol ("degC", "Pa"), "raw" when not known, "" for a value without
    // a unit (a code, a flag, a count).
    const std::string& symbol() const { return symbolText; }
    double scale() const { return factor; }
    // Decimals that show every step of the scale (1 for 0.1, 7 for 1e-7).
    int decimals() const { return places; }

    double value(int64_t raw) const { return static_cast<double>(raw) * factor; }
    // The value in the unit with decimals() decimals ("21.5"); the integer
    // itself for a scale of 1 and for a unit not known.
    std::string format(int64_t raw) const;
    // format() and the symbol, as a person reads it ("21.5 degC", "17 raw",
    // "3" for a value without a unit).
    std::string withSymbol(int64_t raw) const;

private:
    std::string symbolText;
    double factor = 1.0;
    int places = 0;
};
