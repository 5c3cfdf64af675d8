// Result checks: the failure value goes with a raised error, and for a few
// functions whose results are easy to verify, an independent oracle (the
// weekday by plain 64-bit arithmetic, round trips through the inverse
// function). File checks: special files refused, files never replaced by
// a directory copy.
#include "Checks.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <fstream>
#include <map>
#include <sstream>

#include "Values.h"

namespace hostile {

namespace {

using kvhost::CallResult;
using kvhost::Host;
using kvhost::Value;

// The text a const char* parameter receives: up to the first NUL.
std::string asCString(const Value& v) { return std::string(v.bytes.c_str()); }

// Functions whose failure value is another one: result codes, or
// a text that says the error.
const std::map<std::string, std::string>& failureTexts() {
  static const std::map<std::string, std::string> table = {
      {"fAttribute", "ERR"}, {"fDirAttribute", "ERR"}, {"fCurrentDir", "-1"}};
  return table;
}
bool returnsResultCode(const std::string& name) {
  for (const char* n : {"fCompress", "fUncompress", "fCompare", "fSizeCompressed", "fSizeUncompressed"}) {
    if (name == n) return true;
  }
  return false;
}

std::string failureValueCheck(const kvhost::FunctionInfo& f, const kvhost::SyntaxInfo& s, const CallResult& r) {
  if (!r.error.isError() || returnsResultCode(f.english)) return {};
  const Value& v = r.value;
  if (auto it = failureTexts().find(f.english); it != failureTexts().end()) {
    if (v.bytes != it->second) return "an error was raised but the result is not " + it->second;
    return {};
  }
  switch (VXT_dwBase(s.result)) {
    case VXT_BOOLEEN:
      if (v.integer != 0) return "an error was raised but the result is true";
      break;
    case VXT_ENTIER:
    case VXT_ENTIER8:
      if (v.integer != 0 && v.integer != -1) return "an error was raised but the result is " + std::to_string(v.integer);
      break;
    case VXT_CHAINE:
    case VXT_BINAIRE:
      if (!v.bytes.empty()) return "an error was raised but the result is not empty";
      break;
    default:
      break;
  }
  return {};
}

using Oracle = std::function<std::string(Host&, const kvhost::SyntaxInfo&, const std::vector<Value>&, const CallResult&)>;

// The bytes a parameter receives: a C string stops at the first NUL.
std::string received(DWORD code, const Value& v) {
  return VXT_dwBase(code) == VXT_PSZ ? asCString(v) : v.bytes;
}

// Oracles by English name, for calls that reported no error.
const std::map<std::string, Oracle>& oracles() {
  static const std::map<std::string, Oracle> table = {
      {"IntegerToDay",
       [](Host&, const kvhost::SyntaxInfo&, const std::vector<Value>& a, const CallResult& r) -> std::string {
         // 1800-01-01 (day 1) is a Wednesday; 1 = Monday ... 7 = Sunday.
         std::int64_t w = ((a[0].integer - 1 + 2) % 7 + 7) % 7 + 1;
         if (r.value.integer != w)
           return "weekday " + std::to_string(r.value.integer) + ", expected " + std::to_string(w);
         return {};
       }},
      {"IntegerToDate",
       [](Host& h, const kvhost::SyntaxInfo& s, const std::vector<Value>& a, const CallResult& r) -> std::string {
         if (a.size() != 1) return {};
         auto back = h.call("DateToInteger", {r.value});
         if (back.error.isError() || back.value.integer != a[0].integer)
           return "date " + r.value.bytes + " does not convert back to " + std::to_string(a[0].integer);
         return {};
       }},
      {"DateToInteger",
       [](Host& h, const kvhost::SyntaxInfo& s, const std::vector<Value>& a, const CallResult& r) -> std::string {
         if (a.size() != 1) return {};
         auto back = h.call("IntegerToDate", {r.value});
         if (back.error.isError() || back.value.bytes != received(s.params[0], a[0]).substr(0, 8))
           return "day " + std::to_string(r.value.integer) + " does not convert back to the date";
         return {};
       }},
      {"IntegerToWeekNumber",
       [](Host&, const kvhost::SyntaxInfo&, const std::vector<Value>&, const CallResult& r) -> std::string {
         if (r.value.integer < 0 || r.value.integer > 53) return "week " + std::to_string(r.value.integer);
         return {};
       }},
      {"IntegerToDayInAlpha",
       [](Host&, const kvhost::SyntaxInfo&, const std::vector<Value>&, const CallResult& r) -> std::string {
         return r.value.bytes.empty() ? "no day name and no error" : "";
       }},
      {"IntegerToMonthInAlpha",
       [](Host&, const kvhost::SyntaxInfo&, const std::vector<Value>&, const CallResult& r) -> std::string {
         return r.value.bytes.empty() ? "no month name and no error" : "";
       }},
      {"Compress",
       [](Host& h, const kvhost::SyntaxInfo& s, const std::vector<Value>& a, const CallResult& r) -> std::string {
         auto back = h.call("Uncompress", {Value::buffer(r.value.bytes)});
         std::string original = received(s.params[0], a[0]);
         if (back.error.isError() || back.value.bytes != original) return "does not uncompress to its input";
         return {};
       }},
      {"URLEncode",
       [](Host& h, const kvhost::SyntaxInfo& s, const std::vector<Value>& a, const CallResult& r) -> std::string {
         auto back = h.call("URLDecode", {r.value});
         if (back.error.isError() || back.value.bytes != received(s.params[0], a[0])) return "does not decode to its input";
         return {};
       }},
  };
  return table;
}

// A text argument as the library reads a path: up to the first NUL,
// backslashes as slashes.
std::string pathOf(const Value& v) {
  std::string s = asCString(v);
  for (char& c : s) {
    if (c == '\\') c = '/';
  }
  return s;
}

bool isSpecial(const std::string& path) {
  struct stat st {};
  return !path.empty() && stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode);
}

// Whole-file readers by English name: the positions of the files they read.
const std::map<std::string, std::vector<std::size_t>>& wholeFileReaders() {
  static const std::map<std::string, std::vector<std::size_t>> table = {
      {"fCompress", {0}},        {"fUncompress", {0}}, {"fSizeCompressed", {0}}, {"fSizeUncompressed", {0}},
      {"fCrypt", {0}},           {"fUncrypt", {0}},    {"fCompare", {0, 1}},     {"fLoadText", {0}},
      {"fSize", {0}},            {"ExeInfo", {1}},     {"INIWrite", {3}},
  };
  return table;
}

void list(const std::string& dir, const std::string& prefix, Listing* out) {
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return;
  while (dirent* e = readdir(d)) {
    const std::string n = e->d_name;
    if (n == "." || n == "..") continue;
    const std::string path = dir + "/" + n;
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) continue;
    std::string& v = (*out)[prefix + n];
    if (S_ISREG(st.st_mode)) {
      std::ifstream in(path, std::ios::binary);
      std::ostringstream s;
      s << in.rdbuf();
      v = s.str();
    } else {
      v = S_ISDIR(st.st_mode) ? "<directory>" : S_ISFIFO(st.st_mode) ? "<pipe>" : S_ISSOCK(st.st_mode) ? "<socket>"
                                                                                                    : "<other>";
    }
  }
  closedir(d);
}

}  // namespace

Listing snapshot(const std::string& work) {
  Listing l;
  list(work, "", &l);
  list(work + "/" + kDirectory, std::string(kDirectory) + "/", &l);
  return l;
}

std::string checkFiles(const kvhost::FunctionInfo& f, const std::vector<Value>& args, const CallResult& r,
                       const Listing& before, const Listing& after) {
  if (r.redirect) return {};
  const std::string& name = f.english;
  if (auto it = wholeFileReaders().find(name); it != wholeFileReaders().end()) {
    for (std::size_t i : it->second) {
      if (i >= args.size() || args[i].type != VXT_CHAINE || !isSpecial(pathOf(args[i]))) continue;
      // Names equal but for case are the same file to fCompare, unopened.
      if (name == "fCompare" && args.size() == 2 && strcasecmp(asCString(args[0]).c_str(), asCString(args[1]).c_str()) == 0)
        continue;
      if (!r.error.isError() || r.error.code == 0)
        return "reads " + pathOf(args[i]) + ", which is not a regular file, without a numbered error";
      if (before != after) return "refused " + pathOf(args[i]) + " but changed the files around it";
    }
  }
  // A directory or a pattern copied or moved onto a file.
  if ((name == "fCopyDir" || name == "fMoveDir" || name == "fCopyFile") && args.size() >= 2 &&
      args[0].type == VXT_CHAINE && args[1].type == VXT_CHAINE) {
    const std::string source = pathOf(args[0]), destination = pathOf(args[1]);
    struct stat st {};
    const bool tree = source.find_first_of("*?") != std::string::npos ||
                      (stat(source.c_str(), &st) == 0 && S_ISDIR(st.st_mode));
    auto old = before.find(destination);
    if (tree && old != before.end() && old->second.rfind("<", 0) != 0) {
      if (!r.error.isError()) return "copied " + source + " onto the file " + destination + " without an error";
      auto now = after.find(destination);
      if (now == after.end() || now->second != old->second) return "changed the file " + destination;
    }
  }
  return {};
}

std::string checkResult(Host& host, const kvhost::FunctionInfo& f, const kvhost::SyntaxInfo& s,
                        const std::vector<Value>& args, const CallResult& r) {
  if (std::string why = failureValueCheck(f, s, r); !why.empty()) return why;
  if (r.error.isError() || r.redirect) return {};
  auto it = oracles().find(f.english);
  return it == oracles().end() ? std::string() : it->second(host, s, args, r);
}

}  // namespace hostile
