// Hostile and ordinary argument values for each parameter type code, and the
// argument lists of one syntax built from them.
#pragma once

#include <string>
#include <vector>

#include "Catalog.h"
#include "Value.h"

namespace hostile {

// Names of the fixtures every case finds in its working directory.
inline constexpr const char* kFile = "f.txt";     // a small text file
inline constexpr const char* kDirectory = "d";    // a directory holding "a.txt"
inline constexpr const char* kHandleFile = "h.txt";
inline constexpr const char* kClosedFile = "c.txt";
// Special files: a pipe (held open by a writer), a socket, and a directory
// holding a pipe (the directory above holds one file, so that a copy of it
// onto a file would overwrite that file).
inline constexpr const char* kPipe = "p";
inline constexpr const char* kSocket = "s";
inline constexpr const char* kPipeDirectory = "q";
inline constexpr const char* kPipeInDirectory = "q/pipe";
// Handles as the fixtures leave them: 2 open on h.txt, 3 opened then closed.
inline constexpr int kOpenHandle = 2;
inline constexpr int kClosedHandle = 3;
inline constexpr int kNeverOpenedHandle = 1000;
// The one language procedure the stand-in VM knows.
inline constexpr const char* kProcedure = "P";

struct Case {
  std::vector<kvhost::Value> args;
  std::string description;
};

// Every argument list to try on one syntax: two ordinary lists, then each
// parameter in turn given each hostile value of its kind while the others
// stay ordinary; repeatable parameters are also repeated.
std::vector<Case> casesFor(const kvhost::SyntaxInfo& syntax);

// A short printable form of a value for reports.
std::string brief(const kvhost::Value& v);

}  // namespace hostile
