// Printing the values and errors the library hands back.
#pragma once

#include <string>

#include "Host.h"
#include "Value.h"

namespace kvrun {

struct OutputOptions {
  bool hex = false;  // strings and buffers as lowercase hexadecimal
  bool raw = false;  // strings as the library's bytes, unconverted
};

// Text of a result: booleans 1 or 0, integers in decimal, reals with up to
// 15 significant digits, currency and durations in their text forms,
// strings converted to UTF-8 (fromLibrary), buffers as bytes.
std::string formatValue(const kvhost::Value& value, const OutputOptions& options);
// Text form of a value the VM converts (currency, durations, date-times).
std::string convertedText(const kvhost::Value& value);

// The system error of an error object: its symbolic name ("ENOENT"; empty
// for a code the C library does not name) and its text (the object's own
// text, else the C library's).
std::string systemErrorName(const kvhost::ErrorInfo& error);
std::string systemErrorText(const kvhost::ErrorInfo& error);

// One line for an error: "error 80300: MESSAGE", with
// " [ENOENT (No such file or directory)]" when a system error is set; with no
// library number, "system error ENOENT (No such file or directory): MESSAGE".
// Line breaks become spaces; `raw` keeps the library's Windows-1252 bytes.
std::string errorLine(const kvhost::ErrorInfo& error, bool raw = false);

}  // namespace kvrun
