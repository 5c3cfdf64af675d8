// The deny-list: functions that change the system outside the test's private
// directory (clock, services, launching programs) get only arguments that
// must fail before anything changes. Every function of that kind is named
// here; the others work on relative paths inside the private directory.
#pragma once

#include <string>
#include <vector>

#include "Catalog.h"
#include "Value.h"

namespace hostile {

// Empty when the call may be made; otherwise why it is not.
std::string refusal(const kvhost::FunctionInfo& f, const kvhost::SyntaxInfo& s, const std::vector<kvhost::Value>& args);

}  // namespace hostile
