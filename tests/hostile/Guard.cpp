// The deny-list of functions that change the system. Reviewed function by
// function:
// - DateSys / DateDuJour and HeureSys / Maintenant with an argument set the
//   clock: only texts that cannot be a date (a time) reach them.
// - LanceAppli and DDELance run a program: only commands whose program
//   names nothing executable (execve needs a path, no PATH search is made).
// - Service…: the init scripts of /etc/init.d; only names that name no
//   script (the library maps ' ' to '_', '/' and '.' to '-'), so no script
//   runs and nothing is removed. ServiceListe only reads the directory.
// - INIEcrit without a file name writes the profile file of the user's home,
//   and with a relative name (not "/" nor "./") a file of that home: only
//   when that home cannot be written (the children run as "nobody", whose
//   home does not exist).
// - SysChangeEnvironnement, fRepEnCours, eInitDevise, InitHasard change the
//   child process only; the harness puts the environment and the working
//   directory back before each call.
// - Every other function gets relative paths, which stay inside the private
//   directory (the working directory sits three levels down, and no value
//   climbs more than two).
#include "Guard.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>

namespace hostile {

namespace {

using kvhost::Value;

std::string textOf(const Value& v) { return v.type == VXT_CHAINE ? v.bytes : std::string(); }

bool startsWithDigits(const std::string& s, std::size_t n) {
  if (s.size() < n) return false;
  for (std::size_t i = 0; i < n; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(s[i]))) return false;
  }
  return true;
}

// A text no date check can accept: not eight digits, or a month or day
// that does not exist.
bool neverADate(const std::string& s) {
  if (!startsWithDigits(s, 8)) return true;
  int month = std::stoi(s.substr(4, 2)), day = std::stoi(s.substr(6, 2));
  return month < 1 || month > 12 || day < 1 || day > 31 || (month == 2 && day > 29);
}

// A text no time check can accept: its hours are not two digits below 24.
bool neverATime(const std::string& s) { return !startsWithDigits(s, 2) || std::stoi(s.substr(0, 2)) > 23; }

// The program part of a launch command, as the library cuts it.
std::string programOf(std::string command) {
  if (command.size() > 65535) command.resize(65535);
  std::size_t start = command.find_first_not_of(' ');
  if (start == std::string::npos) return {};
  command = command.substr(start);
  if (command[0] == '"') {
    std::size_t end = command.find('"', 1);
    return command.substr(1, end == std::string::npos ? std::string::npos : end - 1);
  }
  return command.substr(0, command.find_first_of(" \t"));
}

bool runnable(const std::string& program) {
  if (program.empty()) return false;
  struct stat st {};
  return stat(program.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 0111) != 0;
}

std::string scriptName(const std::string& name) {
  std::string s;
  for (char c : name) {
    if (c == '\0') break;
    s += c == ' ' ? std::string("_") : c == '\t' ? std::string("__") : (c == '/' || c == '.') ? std::string("-") : std::string(1, c);
  }
  return s;
}

bool homeWritable() {
  const passwd* pw = getpwuid(getuid());
  const char* home = pw != nullptr ? pw->pw_dir : nullptr;
  return home == nullptr || access(home, W_OK) == 0;
}

}  // namespace

std::string refusal(const kvhost::FunctionInfo& f, const kvhost::SyntaxInfo& s, const std::vector<Value>& args) {
  const std::string& name = f.english;
  if ((name == "DateSys" || name == "Today") && args.size() == 1 && !neverADate(textOf(args[0])))
    return "would set the system date";
  if ((name == "TimeSys" || name == "Now") && args.size() == 1 && !neverATime(textOf(args[0])))
    return "would set the system time";
  if ((name == "ExeRun" || name == "DDEStart") && !args.empty() && runnable(programOf(textOf(args[0]))))
    return "would run a program";
  if (name.rfind("Service", 0) == 0 && name != "ServiceList" && !args.empty()) {
    std::string script = scriptName(textOf(args[0]));
    if (!script.empty() && access(("/etc/init.d/" + script).c_str(), F_OK) == 0) return "names an installed service";
  }
  if (name == "INIWrite" && homeWritable()) {
    std::string file = s.params.size() < 4 ? std::string() : textOf(args[3]);
    for (char& c : file) {
      if (c == '\\') c = '/';
    }
    if (file.empty() || (file[0] != '/' && file.compare(0, 2, "./") != 0))
      return "would write a file of the user's home";
  }
  return {};
}

}  // namespace hostile
