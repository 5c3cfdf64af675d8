// Printing the values the library hands back.
#pragma once

#include <string>

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

}  // namespace kvrun
