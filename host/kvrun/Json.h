// The outcome of one call as a JSON object, for scripts and other languages
// (kvrun --json): the typed result, the values of by-reference arguments,
// and the error.
#pragma once

#include <string>
#include <vector>

#include "Host.h"

namespace kvrun {

// Strings and buffers that are not text go out as {"base64": "..."}, or as
// {"hex": "..."} when `hex`.
std::string jsonValue(const kvhost::Value& value, bool hex);

// {"function": ..., "result": ..., "type": ..., "references": [...],
// "error": null or {...}}; `args` after the call, `hasResult` false for
// a procedure.
std::string jsonCall(const kvhost::FunctionInfo& f, bool hasResult, const std::vector<kvhost::Value>& args,
                     const kvhost::CallResult& r, bool hex);

}  // namespace kvrun
