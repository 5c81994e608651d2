// Strict reading of numbers and flags typed on the command line: the whole text must be the
// value, within range, or a usage Failure names what was wrong.
#ifndef SACCADRIX_TOOLS_PARSE_H
#define SACCADRIX_TOOLS_PARSE_H

#include <cstdint>
#include <string>
#include <vector>

namespace saccadrix::cli {

// A decimal integer (or 0x-prefixed hexadecimal) within [min, max].
int64_t ParseInteger(const std::string& text, int64_t min, int64_t max, const std::string& what);

// A finite decimal number.
double ParseNumber(const std::string& text, const std::string& what);

// on/off, true/false, yes/no, 1/0.
bool ParseSwitch(const std::string& text, const std::string& what);

// Exactly count bytes written as hexadecimal digits, optionally separated by blanks, colons
// or hyphens ("0a1b..." or "0a:1b:...").
std::vector<uint8_t> ParseHexBytes(const std::string& text, size_t count, const std::string& what);

// Bytes as lower-case hexadecimal pairs without separators.
std::string HexBytes(const uint8_t* bytes, size_t count);

}  // namespace saccadrix::cli

#endif  // SACCADRIX_TOOLS_PARSE_H
