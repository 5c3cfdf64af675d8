// A GoogleTest fixture with its own stand-in VM: call() runs a language
// function and keeps the error the call left in `last`.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/TestHost.h"

class HostTest : public ::testing::Test {
protected:
  kvhost::Host host{testOptions()};
  kvhost::ErrorInfo last;

  kvhost::Value call(const char* name, std::vector<kvhost::Value> args = {}) {
    auto r = host.call(name, args);
    last = r.error;
    return r.value;
  }
};

// Argument shorthands: a text and a 4-byte integer.
inline kvhost::Value T(const std::string& s) { return kvhost::Value::text(s); }
inline kvhost::Value I(int n) { return kvhost::Value::integer32(n); }
