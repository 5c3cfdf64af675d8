// kvrun: calls the functions of kv140std.so through the stand-in VM, one at
// a time from the shell or from Lua scripts.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "Arguments.h"
#include "Charset.h"
#include "Help.h"
#include "Host.h"
#include "Interrupt.h"
#include "Json.h"
#include "Output.h"
#include "Progress.h"
#include "Script.h"
#include "Text.h"
#include "Threads.h"
#include "abi/InterfacesVM.h"

namespace {

constexpr int kOk = 0;
constexpr int kLibraryError = 1;
constexpr int kUsage = 2;

const char* const kHelp = R"(usage:
  kvrun [OPTIONS] NAME [ARG...]     call one function of the library
  kvrun --json NAME [ARG...]        the same, the outcome as one JSON object
  kvrun [OPTIONS] FILE.lua [ARG...] run a Lua script (table kv)
  kvrun --threads N FILE.lua [ARG...]  the script in N VM threads at once
  kvrun [OPTIONS] -e CODE           run Lua code
  kvrun [OPTIONS] -i                interactive Lua: Tab completes names,
                                    kv.help("NAME") describes a function
  kvrun --list [PATTERN]            functions by subsystem, their syntaxes
  kvrun --constants [PATTERN]       constants and their values
  kvrun [--lang fr|en] --help NAME  one function: syntaxes, constants, errors
  kvrun --completion bash           completion of names (eval its output)
  kvrun --help

options:
  --lang fr|en   language of the library's messages (default: from LANG)
  --hex          print strings and buffers as lowercase hexadecimal
  --json         print one call's outcome on stdout as a JSON object:
                 {"function", "english", "result", "type", "references":
                 [{"argument", "value", "type"}], "error": null or {"code",
                 "level", "message", "system": null or {"code", "name",
                 "message"}}}; results are numbers, booleans or strings,
                 bytes that are not text {"base64": ...} ({"hex": ...}
                 with --hex); messages in the --lang language
  --charset utf-8|1252  the character set declared to the library
                 (default: utf-8 when the locale's is UTF-8, else 1252);
                 in utf-8, text, file names and messages pass unchanged
  --raw          print the library's text as its bytes, unconverted
  --quiet        no progress line for long calls (shown on a terminal)
  --threads N    run the script in N threads (1 to 64), each with its own
                 component and Lua state; kv.thread is 1 to N; lines of
                 print and io.write come out whole; status 1 if any failed

NAME is a function's French name (accents optional, any case) or English
name. Integer arguments take decimal, 0x hexadecimal, constant names and
their sums (foLectureEcriture+foCreation); byte arguments take hex:414243,
file:PATH or str:TEXT. The result goes to stdout; a library error goes to
stderr as "kvrun: error CODE: MESSAGE" with status 1 (an error without a
library number shows its system error: "kvrun: system error ENOENT (No such
file or directory): MESSAGE"); usage errors give 2. --help NAME lists every
error the function can raise.

kvrun -i keeps the prompt's history in $XDG_STATE_HOME/kvrun/history
(~/.local/state/kvrun/history); a line whose call failed prints the error.

Long calls (fCompacte, fDecompacte, fRepTaille) show a progress line when
stderr is a terminal; Ctrl-C asks them to stop, a second Ctrl-C quits.
)";

struct Options {
  kvhost::Language language = kvhost::Language::French;
  kvrun::OutputOptions output;
  bool quiet = false;
  bool json = false;
  unsigned charset = kvrun::charsetFromLocale();
};

kvhost::Language defaultLanguage() {
  const char* lang = std::getenv("LANG");
  return lang != nullptr && std::strncmp(lang, "fr", 2) == 0 ? kvhost::Language::French : kvhost::Language::English;
}

std::string syntaxInWords(const kvhost::FunctionInfo& f, const kvhost::SyntaxInfo& s) {
  std::string out = kvrun::toUtf8(f.french) + "(";
  for (std::size_t p = 0; p < s.params.size(); ++p) {
    out += (p ? ", " : "") + kvhost::typeName(s.params[p]);
    if (s.repeatable && p + 1 == s.params.size()) out += "...";
  }
  out += ")";
  if (VXT_dwBase(s.result) != VXT_AUCUN) out += " -> " + kvhost::typeName(s.result);
  return out;
}

void listSyntaxes(std::FILE* to, const kvhost::FunctionInfo& f) {
  for (const auto& s : f.syntaxes)
    std::fprintf(to, "  %s%s\n", syntaxInWords(f, s).c_str(), s.entry ? "" : "   [not available here]");
  if (f.syntaxes.empty()) std::fprintf(to, "  (no syntax)\n");
}

int listConstants(const kvhost::Catalog& catalog, const std::string& pattern) {
  for (const auto& c : catalog.constants()) {
    if (!pattern.empty() && !kvrun::matchesPattern(kvrun::fromUtf8(pattern), c.french) &&
        !kvrun::matchesPattern(kvrun::fromUtf8(pattern), c.english))
      continue;
    std::string value = c.type == 0x08   ? std::to_string(c.integer)
                        : c.type == 0x12 ? "\"" + kvrun::toUtf8(c.text) + "\""
                                         : "(no value here)";
    std::printf("%s / %s = %s\n", kvrun::toUtf8(c.french).c_str(), kvrun::toUtf8(c.english).c_str(), value.c_str());
  }
  return kOk;
}

// One call from the shell.
int callOnce(kvhost::Host& host, const Options& options, const std::string& name, const std::vector<std::string>& words) {
  const auto& catalog = host.catalog();
  const kvhost::FunctionInfo* f = catalog.findFunction(kvrun::fromUtf8(name));
  if (f == nullptr) f = catalog.findFunction(name);
  if (f == nullptr) {
    std::fprintf(stderr, "kvrun: unknown function '%s' (kvrun --list shows them)\n", name.c_str());
    return kUsage;
  }
  // The chooser ranks the syntaxes by what the words look like; the first
  // whose parameters take the words wins.
  std::vector<kvhost::ArgKind> kinds;
  for (const auto& w : words) kinds.push_back(kvrun::wordKind(w));
  const kvhost::SyntaxInfo* ranked[kvhost::kMaxSyntaxes];
  std::size_t n = kvhost::rankSyntaxes(*f, kinds.data(), kinds.size(), ranked, kvhost::kMaxSyntaxes);
  const kvhost::SyntaxInfo* chosen = nullptr;
  std::vector<kvhost::Value> args;
  std::string why;
  for (std::size_t r = 0; r < n && chosen == nullptr; ++r) {
    const kvhost::SyntaxInfo& s = *ranked[r];
    std::vector<kvhost::Value> candidate;
    std::string reason;
    for (std::size_t i = 0; i < words.size(); ++i) {
      auto v = kvrun::shellArgument(s.params[std::min(i, s.params.size() - 1)], words[i], catalog, &reason);
      if (!v) break;
      candidate.push_back(std::move(*v));
    }
    if (candidate.size() == words.size()) {
      chosen = &s;
      args = std::move(candidate);
    } else if (why.empty()) {
      why = reason;
    }
  }
  std::string display = kvrun::toUtf8(f->french) + " / " + kvrun::toUtf8(f->english);
  if (chosen == nullptr) {
    std::fprintf(stderr, "kvrun: no syntax of %s accepts %zu argument%s%s%s\n", display.c_str(), words.size(),
                 words.size() == 1 ? "" : "s", why.empty() ? "" : ": ", why.c_str());
    listSyntaxes(stderr, *f);
    return kUsage;
  }
  if (chosen->entry == nullptr) {
    std::fprintf(stderr, "kvrun: %s is not available on this platform\n", display.c_str());
    listSyntaxes(stderr, *f);
    return kUsage;
  }
  kvhost::CallResult r = host.call(*f, *chosen, args);
  if (r.redirect) {
    std::fprintf(stderr, "kvrun: %s is served by library %d (function %d), which the stand-in VM does not have\n",
                 display.c_str(), r.redirect->first, r.redirect->second);
    return kLibraryError;
  }
  if (options.json) {
    std::string json = kvrun::jsonCall(*f, VXT_dwBase(chosen->result) != VXT_AUCUN, args, r, options.output.hex);
    std::printf("%s\n", json.c_str());
    return r.error.isError() ? kLibraryError : kOk;
  }
  if (VXT_dwBase(chosen->result) != VXT_AUCUN) {
    std::string text = kvrun::formatValue(r.value, options.output);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
  }
  // Variables passed by reference: their values after the call.
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i].variable)
      std::printf("argument %zu: %s\n", i + 1, kvrun::formatValue(*args[i].variable, options.output).c_str());
  }
  if (r.error.isError()) {
    std::fprintf(stderr, "kvrun: %s\n", kvrun::errorLine(r.error, options.output.raw).c_str());
    if (std::string hint = kvrun::charsetHint(words); !hint.empty()) std::fprintf(stderr, "%s\n", hint.c_str());
    return kLibraryError;
  }
  return kOk;
}

int usage(const char* message) {
  std::fprintf(stderr, "kvrun: %s\n(kvrun --help for help)\n", message);
  return kUsage;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  options.language = defaultLanguage();
  std::vector<std::string> rest;
  enum class Mode { Call, Script, Code, Interactive, List, Constants, Help, Completion } mode = Mode::Call;
  std::string code;
  int threads = 0;
  int i = 1;
  for (; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      if (i + 1 >= argc) {
        std::fputs(kHelp, stdout);
        return kOk;
      }
      mode = Mode::Help;
      ++i;
      break;
    } else if (a == "--completion") {
      if (++i >= argc) return usage("--completion needs a shell (bash)");
      mode = Mode::Completion;
      break;
    } else if (a == "--lang") {
      if (++i >= argc) return usage("--lang needs fr or en");
      std::string l = argv[i];
      if (l == "fr") {
        options.language = kvhost::Language::French;
      } else if (l == "en") {
        options.language = kvhost::Language::English;
      } else {
        return usage("--lang takes fr or en");
      }
    } else if (a == "--charset") {
      if (++i >= argc) return usage("--charset needs utf-8 or 1252");
      auto charset = kvrun::parseCharset(argv[i]);
      if (!charset) return usage("--charset takes utf-8 or 1252");
      options.charset = *charset;
    } else if (a == "--hex") {
      options.output.hex = true;
    } else if (a == "--raw") {
      options.output.raw = true;
    } else if (a == "--quiet") {
      options.quiet = true;
    } else if (a == "--json") {
      options.json = true;
    } else if (a == "--threads") {
      if (++i >= argc) return usage("--threads needs a number of threads");
      char* end = nullptr;
      long n = std::strtol(argv[i], &end, 10);
      if (end == argv[i] || *end != '\0' || n < 1 || n > 64) return usage("--threads takes a number from 1 to 64");
      threads = static_cast<int>(n);
    } else if (a == "--list") {
      mode = Mode::List;
    } else if (a == "--constants") {
      mode = Mode::Constants;
    } else if (a == "-e") {
      if (++i >= argc) return usage("-e needs Lua code");
      mode = Mode::Code;
      code = argv[i];
    } else if (a == "-i") {
      mode = Mode::Interactive;
    } else if (a == "--") {
      ++i;
      break;
    } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
      return usage(("unknown option " + a).c_str());
    } else {
      break;
    }
  }
  for (; i < argc; ++i) rest.emplace_back(argv[i]);
  if (mode == Mode::Call && !rest.empty() && rest[0].size() > 4 && rest[0].substr(rest[0].size() - 4) == ".lua")
    mode = Mode::Script;
  if (threads > 0 && mode != Mode::Script) return usage("--threads runs a script: kvrun --threads N FILE.lua");

  try {
    kvhost::HostOptions hostOptions;
    hostOptions.language = options.language;
    hostOptions.charset = options.charset;
    kvrun::setLibraryCharset(options.charset);
    if (threads > 0)
      return kvrun::runThreads(hostOptions, threads, rest[0], std::vector<std::string>(rest.begin() + 1, rest.end()),
                               !options.quiet && isatty(STDERR_FILENO));
    kvhost::Host host(hostOptions);
    // Progress points of long calls draw the line; a Ctrl-C seen at one asks
    // the compaction to stop through fStopCompacte, as a VM does from its
    // gauge, and the VM's interruption state answers the directory walks.
    kvrun::installInterruptHandler();
    host.vm().watchInterrupt(kvrun::interruptFlag());
    kvrun::ProgressLine progress(STDERR_FILENO, !options.quiet && isatty(STDERR_FILENO));
    bool stopSent = false;
    host.vm().setProgressListener([&](const STProgression* point) {
      progress.update(point);
      if (point == nullptr) {
        stopSent = false;
      } else if (kvrun::interruptRequested() && !stopSent) {
        stopSent = true;
        host.call("fStopCompacte", {});
      }
    });
    switch (mode) {
      case Mode::List: return kvrun::listFunctions(host.catalog(), rest.empty() ? "" : rest[0]);
      case Mode::Help: return kvrun::showFunctionHelp(host, rest[0]);
      case Mode::Completion: return kvrun::printCompletion(host.catalog(), rest[0]);
      case Mode::Constants: return listConstants(host.catalog(), rest.empty() ? "" : rest[0]);
      case Mode::Script: {
        kvrun::Script script(host);
        kvrun::setThreadNumber(script, 1);
        return script.runFile(rest[0], std::vector<std::string>(rest.begin() + 1, rest.end()));
      }
      case Mode::Code: {
        kvrun::Script script(host);
        kvrun::setThreadNumber(script, 1);
        return script.runCode(code);
      }
      case Mode::Interactive: {
        kvrun::Script script(host);
        return script.interactive();
      }
      case Mode::Call: break;
    }
    if (rest.empty()) {
      // No function: who we are and what the tables hold.
      IVXLibrary* c = host.component();
      char summary[128];
      c->GetResume(summary, sizeof summary);
      std::size_t available = 0, entries = 0;
      for (const auto& f : host.catalog().functions()) {
        if (f.synonym()) continue;
        if (f.available()) ++available;
        for (const auto& s : f.syntaxes) entries += s.entry != nullptr;
      }
      std::printf("%s\nlibrary %d, interface %d, language version %d: %s\n", host.library().path().c_str(),
                  c->nGetLibraryId(), c->nGetVersion(), c->nGetVersionVX(), kvrun::toUtf8(summary).c_str());
      std::printf("%zu functions (%zu callable here, %zu entry points), %zu constants, %zu variables\n",
                  host.catalog().functions().size(), available, entries, host.catalog().constants().size(),
                  host.catalog().variables().size());
      std::printf("kvrun --help tells how to call them\n");
      return kOk;
    }
    return callOnce(host, options, rest[0], std::vector<std::string>(rest.begin() + 1, rest.end()));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kvrun: %s\n", e.what());
    return kUsage;
  }
}
