// What a call must not do besides crashing: report an error with a
// success-looking result, or succeed with a result that is plainly wrong
// (checked against oracles written independently of the library).
#pragma once

#include <map>
#include <string>
#include <vector>

#include "Host.h"

namespace hostile {

// Empty when the result is sound; otherwise what is wrong with it.
std::string checkResult(kvhost::Host& host, const kvhost::FunctionInfo& f, const kvhost::SyntaxInfo& s,
                        const std::vector<kvhost::Value>& args, const kvhost::CallResult& r);

// The working directory and the fixture directory in it: each entry's
// contents for a regular file, a marker for anything else.
using Listing = std::map<std::string, std::string>;
Listing snapshot(const std::string& work);

// What a call did to the files around it, against the listings taken before
// and after it: a whole-file function given a directory, a pipe, a socket or
// a device refuses it and creates nothing; a directory or a pattern copied
// or moved onto a file fails and leaves the file as it was.
std::string checkFiles(const kvhost::FunctionInfo& f, const std::vector<kvhost::Value>& args,
                       const kvhost::CallResult& r, const Listing& before, const Listing& after);

}  // namespace hostile
