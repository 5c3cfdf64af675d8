// Runs a program with an argument vector, never through a shell: names
// holding spaces, quotes, ";", "$", backquotes or a leading "-" reach the
// program as they are.
#pragma once

#include <string>
#include <vector>

// Runs argv[0] (searched in the PATH) with argv, its output and error
// output sent to /dev/null, and waits for it. Result:
// its exit status (0-255, or 128 + signal), or -1 when it could not be
// started (errno set).
int CMD_nExecute(const std::vector<std::string>& argv);

// The names a pattern with "*" or "?" matches, sorted; the pattern itself
// when nothing matches (as a shell passes it on).
std::vector<std::string> CMD_vDeveloppe(const std::string& sMotif);
