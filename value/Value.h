// Engineering value text: the one parser and the one formatter between numbers and the
// texts that the user types (4k7, 10n, 2u2) or reads (1.23e+3).
#pragma once

#include <optional>
#include <stdexcept>
#include <string>

// The program's one general error type; carries a message text.
class Exception : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Removes leading and trailing white space and control characters (codes 0 to 32).
std::string TrimText(const std::string& text);

// Parses engineering text; throws Exception("Syntax error: " + trimmed text) when it is no number.
double ParseValue(const std::string& text);

// Whether a number's power of ten comes from its own multiplier letter (4k7, 2.4G, 10n) rather
// than from an exponent or from nothing. Throws as ParseValue does for text that is no number.
bool HasMultiplier(const std::string& text);

// The value of engineering text when it is a finite number above zero (a reference
// impedance), else none. Never throws.
std::optional<double> PositiveValue(const std::string& text);

// Engineering notation with `digits` significant digits: mantissa 1..<1000, exponent a multiple
// of three ("1.23e+3", "470e-9"). Never throws.
std::string FormatValue(int digits, double x);

// FormatValue's text with its exponent written as a multiplier letter after a space, as plot
// labels show a value: "4.7 k", "100 m", "1 µ" (UTF-8), "0". Exponents beyond femto and tera
// keep the exponent form.
std::string PrefixedValue(int digits, double x);

// General float text as the frequency entry and the stored settings show it: at most 15
// significant digits, positional for 1e-4 <= |x| < 1e15 and zero, else "5E-5", "1E15".
std::string FloatText(double x);
