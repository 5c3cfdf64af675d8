// Runs a program with an argument vector, never through a shell: names
// holding spaces, quotes, ";", "$", backquotes or a leading "-" reach the
// program as they are.
#pragma once

#include <string>
#include <vector>

// Runs argv[0] (searched in the PATH) with argv and waits for it. Its output
// goes to /dev/null; its error output too, unless psErreur is given, which
// then receives the first line the program wrote there (without its LF).
// Result: its exit status (0-255, or 128 + signal), or -1 when it could not
// be started (errno set).
int CMD_nExecute(const std::vector<std::string>& argv, std::string* psErreur = nullptr);

// The names a pattern with "*" or "?" matches, sorted; empty when nothing
// matches.
std::vector<std::string> CMD_vDeveloppe(const std::string& sMotif);
