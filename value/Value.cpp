// Engineering value text: parsing of typed values and the two number-to-text forms.
#include "value/Value.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <string_view>
#include <system_error>

namespace {

bool IsAsciiLetter(char ch) {
  return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z');
}
bool IsDigit(char ch) {
  return ch >= '0' && ch <= '9';
}

// White space as the "%d" conversion skips it in the "C" locale.
bool IsScanSpace(char ch) {
  return ch == ' ' || (ch >= '\t' && ch <= '\r');
}

// Power of ten of a suffix letter, or false when ch is none.
bool SuffixPower(char ch, int& power) {
  switch (ch) {
    case 'f':
      power = -15;
      return true;
    case 'p':
      power = -12;
      return true;
    case 'n':
      power = -9;
      return true;
    case 'u':
      power = -6;
      return true;
    case 'm':
      power = -3;
      return true;
    case 'k':
    case 'K':
      power = 3;
      return true;
    case 'M':
      power = 6;
      return true;
    case 'G':
      power = 9;
      return true;
    case 'T':
      power = 12;
      return true;
    default:
      return false;
  }
}

// A "%d"-style conversion of text[pos..]: white space, optional sign, digits. Returns false when
// no digit follows. An exponent beyond the int range saturates, which gives the same final value
// (infinity or zero) as the exact number would.
bool ScanExponent(std::string_view text, size_t pos, int& result) {
  while (pos < text.size() && IsScanSpace(text[pos])) ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    negative = text[pos] == '-';
    ++pos;
  }
  if (pos >= text.size() || !IsDigit(text[pos])) return false;
  long long magnitude = 0;
  const long long cap = static_cast<long long>(INT_MAX) + 1;
  for (; pos < text.size() && IsDigit(text[pos]); ++pos) {
    magnitude = std::min(cap, magnitude * 10 + (text[pos] - '0'));
  }
  if (negative) {
    result = static_cast<int>(-magnitude);  // -cap is INT_MIN
  } else {
    result = static_cast<int>(std::min(magnitude, static_cast<long long>(INT_MAX)));
  }
  return true;
}

// One left-to-right scan of a trimmed value text: the mantissa's digits, where a suffix or
// unit letter may stand for the decimal point, up to an exponent or the second separator.
struct SMantissaScan {
  std::string_view text;
  size_t pos = 0;
  double value = 0.0;       // unsigned; the sign is applied last
  double place = 1.0;       // weight of the last digit after the separator
  int exponent = 0;         // of the last suffix letter, or of the exponent
  bool multiplier = false;  // the exponent is a suffix letter's
  bool seenDigit = false;
  bool afterSeparator = false;
  bool scanning = true;
};

// Skips a leading sign; returns the factor it stands for.
double ReadSign(SMantissaScan& s) {
  if (s.pos < s.text.size() && s.text[s.pos] == '+') {
    ++s.pos;
  } else if (s.pos < s.text.size() && s.text[s.pos] == '-') {
    ++s.pos;
    return -1.0;
  }
  return 1.0;
}

// Every digit after the separator weighs a rounded tenth of the one before; that rounding
// belongs to the result.
void AddDigit(SMantissaScan& s, int d) {
  if (s.afterSeparator) {
    s.place = s.place * 0.1;
    s.value = s.value + d * s.place;
  } else {
    s.value = s.value * 10 + d;
  }
  s.seenDigit = true;
  ++s.pos;
}

// A suffix or unit letter (or the point) stands for the decimal point the first time; the
// second separator ends the number.
void SeparatorStep(SMantissaScan& s, bool skipLetters) {
  ++s.pos;
  if (skipLetters) {
    while (s.pos < s.text.size() && IsAsciiLetter(s.text[s.pos])) ++s.pos;
  }
  if (s.afterSeparator) {
    s.scanning = false;
  } else {
    s.afterSeparator = true;
  }
}

// Reads one character (or a whole exponent or unit tail); false when the text is no number.
bool ScanStep(SMantissaScan& s) {
  const char ch = s.text[s.pos];
  int power = 0;
  if (IsDigit(ch)) {
    AddDigit(s, ch - '0');
  } else if (ch == 'e' || ch == 'E') {
    int scanned = 0;
    if (ScanExponent(s.text, s.pos + 1, scanned)) {
      s.exponent = scanned;
      s.multiplier = false;
    }
    s.scanning = false;
  } else if (SuffixPower(ch, power)) {
    s.exponent = power;
    s.multiplier = true;
    SeparatorStep(s, true);
  } else if (ch == '.' && !s.afterSeparator) {
    SeparatorStep(s, false);
  } else if (IsAsciiLetter(ch)) {
    if (!s.seenDigit) return false;
    SeparatorStep(s, true);
  } else {
    return false;
  }
  return true;
}

// One power of ten at a time: the rounding of every step belongs to the result. Once the
// value is 0 or infinite no further step can change it, so a huge exponent ends at once.
double ApplyExponent(double value, int exponent) {
  while (exponent < 0 && value != 0.0 && !std::isinf(value)) {
    value = value * 0.1;
    ++exponent;
  }
  while (exponent > 0 && value != 0.0 && !std::isinf(value)) {
    value = value * 10;
    --exponent;
  }
  return value;
}

// `x` as "%.*g" prints it at `precision`, always with the point ("C" locale by construction).
std::string GeneralText(double x, int precision) {
  char buffer[64];
  auto res =
      std::to_chars(buffer, buffer + sizeof buffer, x, std::chars_format::general, precision);
  return std::string(buffer, res.ptr);
}

// The rounded significant digits of |x| > 0 at `precision` and the decimal exponent of the
// rounded value ("%.*e" of 999.7 at 3 digits gives "100" and 3).
void RoundedDigits(double x, int precision, std::string& digits, int& exponent) {
  char buffer[64];
  auto res = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(x),
                           std::chars_format::scientific, precision - 1);
  std::string_view text(buffer, static_cast<size_t>(res.ptr - buffer));
  size_t e = text.find('e');
  digits.clear();
  for (size_t i = 0; i < e; ++i) {
    if (text[i] != '.') digits += text[i];
  }
  exponent = 0;
  std::from_chars(text.data() + e + (text[e + 1] == '+' ? 2 : 1), text.data() + text.size(),
                  exponent);
}

// Positional text of a mantissa 1 <= |g| < 1000 with `digits` significant digits, trailing
// zeros and point dropped, from its rounded digits and their decimal exponent. Where "%g" would
// switch to scientific form (2 digits of 123, or any mantissa that rounds up to 1000) the digits
// are padded with zeros instead; the caller has already carried a mantissa of 1000 into the
// exponent.
std::string MantissaText(double g, int digits, const std::string& digitText, int exponent) {
  std::string text;
  if (exponent < digits) {
    text = GeneralText(std::fabs(g), digits);
  } else {
    // Integer of exponent + 1 places whose first `digits` places are significant.
    text = digitText + std::string(static_cast<size_t>(exponent + 1 - digits), '0');
  }
  return g < 0 ? "-" + text : text;
}

}  // namespace

std::string TrimText(const std::string& text) {
  auto isBlank = [](char ch) { return static_cast<unsigned char>(ch) <= 32; };
  size_t first = 0;
  size_t last = text.size();
  while (first < last && isBlank(text[first])) ++first;
  while (last > first && isBlank(text[last - 1])) --last;
  return text.substr(first, last - first);
}

namespace {

// The whole scan of a trimmed text; the sign is kept apart. Throws for text that is no number.
SMantissaScan ScanValue(std::string_view text, double& sign) {
  SMantissaScan scan{text};
  sign = ReadSign(scan);
  while (scan.scanning && scan.pos < text.size()) {
    if (!ScanStep(scan)) throw Exception("Syntax error: " + std::string(text));
  }
  if (!scan.seenDigit) throw Exception("Syntax error: " + std::string(text));
  return scan;
}

}  // namespace

double ParseValue(const std::string& input) {
  const std::string text = TrimText(input);
  double sign = 1.0;
  const SMantissaScan scan = ScanValue(text, sign);
  return ApplyExponent(scan.value, scan.exponent) * sign;
}

bool HasMultiplier(const std::string& input) {
  const std::string text = TrimText(input);
  double sign = 1.0;
  return ScanValue(text, sign).multiplier;
}

std::optional<double> PositiveValue(const std::string& text) {
  try {
    const double v = ParseValue(text);
    if (std::isfinite(v) && v > 0) return v;
  } catch (const Exception&) {
  }
  return std::nullopt;
}

std::string FormatValue(int digits, double x) {
  if (std::isnan(x)) return "NaN";
  if (std::isinf(x)) return x < 0 ? "-Infinity" : "Infinity";
  if (x == 0.0) return "0";
  // A double carries at most 17 significant decimal digits; the settings offer 2 to 8 and the
  // parameter dialog 12. Anything outside 1..17 is clamped so no digits value can misbehave.
  digits = std::clamp(digits, 1, 17);

  double g = x;
  int n = 0;
  while (std::fabs(g) < 1) {
    g = g * 1000;
    n -= 3;
  }
  while (std::fabs(g) >= 1000) {
    g = g * 0.001;
    n += 3;
  }

  std::string roundedDigits;
  int roundedExponent = 0;
  RoundedDigits(g, digits, roundedDigits, roundedExponent);
  std::string text;
  if (roundedExponent >= 3) {
    // The mantissa rounds up to 1000: carry it into the exponent. The carried mantissa is
    // exactly 1; printing g * 0.001 again could round to 0.999... after the product's rounding.
    text = g < 0 ? "-1" : "1";
    n += 3;
  } else {
    text = MantissaText(g, digits, roundedDigits, roundedExponent);
  }
  if (n != 0) text += (n > 0 ? "e+" : "e-") + std::to_string(n > 0 ? n : -n);
  return text == "-0" ? "0" : text;
}

std::string FloatText(double x) {
  if (std::isnan(x)) return "NaN";
  if (std::isinf(x)) return x < 0 ? "-Infinity" : "Infinity";
  if (x == 0.0) return "0";
  // "%.15g" chooses positional form exactly for 1e-4 <= |rounded x| < 1e15; only the exponent
  // is rewritten from "5e-05" and "1e+15" to "5E-5" and "1E15".
  std::string text = GeneralText(x, 15);
  size_t e = text.find('e');
  if (e == std::string::npos) return text;
  std::string mantissa = text.substr(0, e);
  bool negative = text[e + 1] == '-';
  size_t d = e + 2;
  while (d + 1 < text.size() && text[d] == '0') ++d;
  return mantissa + "E" + (negative ? "-" : "") + text.substr(d);
}

std::string PrefixedValue(int digits, double x) {
  static const char* const prefixes[] = {"f", "p", "n", "\u00b5", "m", "", "k", "M", "G", "T"};
  const std::string text = FormatValue(digits, x);
  const size_t e = text.find('e');
  if (e == std::string::npos || !std::isfinite(x)) return text;
  int exponent = 0;
  std::from_chars(text.data() + e + (text[e + 1] == '+' ? 2 : 1), text.data() + text.size(),
                  exponent);
  const int index = exponent / 3 + 5;
  if (exponent % 3 != 0 || index < 0 || index > 9) return text;
  return text.substr(0, e) + " " + prefixes[index];
}
