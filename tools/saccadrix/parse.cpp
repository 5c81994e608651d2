#include "parse.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "status.h"

namespace saccadrix::cli {

namespace {

[[noreturn]] void Bad(const std::string& what, const std::string& text, const std::string& why) {
  throw Failure(Exit::kUsage, "bad " + what + " '" + text + "': " + why);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

int64_t ParseInteger(const std::string& text, int64_t min, int64_t max, const std::string& what) {
  if (text.empty() || text.find_first_of(" \t\n") != std::string::npos) {
    Bad(what, text, "expected a whole number");
  }
  errno = 0;
  char* end = nullptr;
  // Hexadecimal only when asked for with 0x: a leading zero does not make a number octal.
  const size_t digits = (text[0] == '-' || text[0] == '+') ? 1 : 0;
  const bool hex = text.size() > digits + 2 && text[digits] == '0' &&
                   (text[digits + 1] == 'x' || text[digits + 1] == 'X');
  const long long value = std::strtoll(text.c_str(), &end, hex ? 16 : 10);
  if (end == text.c_str() || *end != '\0') {
    Bad(what, text, "expected a whole number");
  }
  if (errno == ERANGE || value < min || value > max) {
    Bad(what, text,
        "must be between " + std::to_string(min) + " and " + std::to_string(max));
  }
  return value;
}

double ParseNumber(const std::string& text, const std::string& what) {
  if (text.empty() || text.find_first_of(" \t\n") != std::string::npos) {
    Bad(what, text, "expected a number");
  }
  errno = 0;
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (end == text.c_str() || *end != '\0') {
    Bad(what, text, "expected a number");
  }
  if (errno == ERANGE || !std::isfinite(value)) {
    Bad(what, text, "must be a finite number");
  }
  return value;
}

bool ParseSwitch(const std::string& text, const std::string& what) {
  for (const char* on : {"on", "true", "yes", "1"}) {
    if (text == on) return true;
  }
  for (const char* off : {"off", "false", "no", "0"}) {
    if (text == off) return false;
  }
  Bad(what, text, "expected on or off");
}

std::vector<uint8_t> ParseHexBytes(const std::string& text, size_t count,
                                   const std::string& what) {
  std::vector<uint8_t> bytes;
  int high = -1;
  for (char c : text) {
    if (c == ' ' || c == ':' || c == '-') {
      if (high >= 0) Bad(what, text, "hexadecimal digits must come in pairs");
      continue;
    }
    const int digit = HexDigit(c);
    if (digit < 0) Bad(what, text, "expected hexadecimal digits");
    if (high < 0) {
      high = digit;
    } else {
      bytes.push_back(static_cast<uint8_t>(high * 16 + digit));
      high = -1;
    }
  }
  if (high >= 0) Bad(what, text, "hexadecimal digits must come in pairs");
  if (bytes.size() != count) {
    Bad(what, text,
        "expected " + std::to_string(count) + " bytes, got " + std::to_string(bytes.size()));
  }
  return bytes;
}

std::string HexBytes(const uint8_t* bytes, size_t count) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(count * 2);
  for (size_t i = 0; i < count; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 15];
  }
  return text;
}

}  // namespace saccadrix::cli
