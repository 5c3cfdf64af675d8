// What a call must not do besides crashing: report an error with a
// success-looking result, or succeed with a result that is plainly wrong
// (checked against oracles written independently of the library).
#pragma once

#include <string>
#include <vector>

#include "Host.h"

namespace hostile {

// Empty when the result is sound; otherwise what is wrong with it.
std::string checkResult(kvhost::Host& host, const kvhost::FunctionInfo& f, const kvhost::SyntaxInfo& s,
                        const std::vector<kvhost::Value>& args, const kvhost::CallResult& r);

}  // namespace hostile
