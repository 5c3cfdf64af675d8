// kvrun -i: the interactive prompt. Lines are read with readline, whose Tab
// completes the names of kv (French with or without accents, English),
// constant names inside an argument list, and Lua's globals and their
// fields; the history is kept in $XDG_STATE_HOME/kvrun/history (by default
// ~/.local/state/kvrun/history).
#include <lua.hpp>
#include <readline/history.h>
#include <readline/readline.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "Interrupt.h"
#include "Output.h"
#include "Script.h"
#include "Text.h"

namespace kvrun {

namespace {

constexpr int kHistoryLines = 1000;

// Latin-1 name with its accented letters replaced by their base letters,
// case kept ("Phonétique" -> "Phonetique").
std::string unaccented(const std::string& latin1) {
  static const char kBase[] =
      "AAAAAAACEEEEIIII"   // C0-CF
      "DNOOOOOxOUUUUYPs"   // D0-DF
      "aaaaaaaceeeeiiii"   // E0-EF
      "dnooooo/ouuuuypy";  // F0-FF
  std::string out;
  for (char ch : latin1) {
    auto c = static_cast<unsigned char>(ch);
    out += c >= 0xC0 ? kBase[c - 0xC0] : ch;
  }
  return out;
}

// What the completion hook reads: the names of kv and the Lua state.
struct Completion {
  std::vector<std::string> kvNames;     // UTF-8, each once
  std::vector<std::string> constants;   // UTF-8
  lua_State* L = nullptr;
  std::vector<std::string> matches;     // of the word being completed
  std::size_t next = 0;
};
Completion* gCompletion = nullptr;

void addName(std::vector<std::string>& to, std::set<std::string>& seen, const std::string& latin1) {
  if (latin1.empty() || latin1[0] == '#') return;
  for (const std::string& name : {toUtf8(latin1), unaccented(latin1)}) {
    if (seen.insert(name).second) to.push_back(name);
  }
}

bool startsWith(const std::string& s, const std::string& prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

// Inside an argument list: more "(" than ")" before the word.
bool inArguments(int start) {
  int depth = 0;
  for (int i = 0; i < start && rl_line_buffer[i] != '\0'; ++i) {
    if (rl_line_buffer[i] == '(') ++depth;
    if (rl_line_buffer[i] == ')' && depth > 0) --depth;
  }
  return depth > 0;
}

// Keys of the table on top of the stack that start with `prefix`, as
// `qualifier` + key.
void tableKeys(lua_State* L, const std::string& qualifier, const std::string& prefix, std::vector<std::string>& out) {
  lua_pushnil(L);
  while (lua_next(L, -2) != 0) {
    if (lua_type(L, -2) == LUA_TSTRING) {
      std::string key = lua_tostring(L, -2);
      if (startsWith(key, prefix)) out.push_back(qualifier + key);
    }
    lua_pop(L, 1);
  }
}

void findMatches(const std::string& word, int start) {
  Completion& c = *gCompletion;
  c.matches.clear();
  c.next = 0;
  if (startsWith(word, "kv.")) {
    std::string prefix = word.substr(3);
    for (const auto& name : c.kvNames) {
      if (startsWith(name, prefix)) c.matches.push_back("kv." + name);
    }
    return;
  }
  auto dot = word.rfind('.');
  if (dot != std::string::npos && word.find('.') == dot) {
    // A field of a global table: string.fo -> string.format.
    lua_State* L = c.L;
    if (lua_getglobal(L, word.substr(0, dot).c_str()) == LUA_TTABLE) tableKeys(L, word.substr(0, dot + 1), word.substr(dot + 1), c.matches);
    lua_pop(L, 1);
    return;
  }
  if (inArguments(start) || (start > 0 && (rl_line_buffer[start - 1] == '"' || rl_line_buffer[start - 1] == '\''))) {
    for (const auto& name : c.constants) {
      if (startsWith(name, word)) c.matches.push_back(name);
    }
  }
  lua_pushglobaltable(c.L);
  tableKeys(c.L, "", word, c.matches);
  lua_pop(c.L, 1);
}

char* nextMatch(const char*, int) {
  Completion& c = *gCompletion;
  if (c.next >= c.matches.size()) return nullptr;
  return strdup(c.matches[c.next++].c_str());
}

char** complete(const char* text, int start, int) {
  rl_attempted_completion_over = 1;  // never file names
  rl_completion_append_character = '\0';
  if (gCompletion == nullptr) return nullptr;
  findMatches(text, start);
  return rl_completion_matches(text, nextMatch);
}

// The history file, its folder made when missing; empty when there is no
// home to keep it in.
std::string historyPath() {
  std::string dir;
  if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && state[0] == '/') {
    dir = state;
  } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') {
    dir = std::string(home) + "/.local/state";
  } else {
    return {};
  }
  dir += "/kvrun";
  for (std::size_t slash = dir.find('/', 1); slash != std::string::npos; slash = dir.find('/', slash + 1))
    mkdir(dir.substr(0, slash).c_str(), 0700);
  mkdir(dir.c_str(), 0700);
  return dir + "/history";
}

}  // namespace

void Script::evaluateLine(const std::string& text) {
  // An expression prints its values; anything else runs as a statement.
  std::string expression = "return " + text;
  int top = lua_gettop(L_);
  if (luaL_loadbuffer(L_, expression.data(), expression.size(), "=stdin") == LUA_OK) {
    lua_pushcfunction(L_, [](lua_State* L) {
      const char* message = lua_tostring(L, 1);
      luaL_traceback(L, L, message != nullptr ? message : "(error object is not a string)", 1);
      return 1;
    });
    lua_insert(L_, top + 1);
    if (lua_pcall(L_, 0, LUA_MULTRET, top + 1) != LUA_OK) {
      std::fflush(stdout);
      std::fprintf(stderr, "%s\n", lua_tostring(L_, -1));
    } else {
      for (int i = top + 2; i <= lua_gettop(L_); ++i) {
        std::printf("%s%s", i > top + 2 ? "\t" : "", luaL_tolstring(L_, i, nullptr));
        lua_pop(L_, 1);
      }
      if (lua_gettop(L_) > top + 1) std::printf("\n");
    }
    lua_settop(L_, top);
    return;
  }
  lua_settop(L_, top);
  std::fflush(stdout);
  execute(luaL_loadbuffer(L_, text.data(), text.size(), "=stdin"));
}

int Script::interactive() {
  std::printf("kvrun %s - Lua with the table kv; kv.help(\"NAME\") describes a function; Tab completes; Ctrl-D to quit\n",
              LUA_RELEASE);
  // Names for the completion: kv's helpers, functions, constants, variables.
  Completion completion;
  completion.L = L_;
  std::set<std::string> seen;
  for (const char* helper : {"var", "buffer", "error", "table", "toutf8", "fromutf8", "help", "thread"})
    addName(completion.kvNames, seen, helper);
  for (const auto& f : host_.catalog().functions()) {
    addName(completion.kvNames, seen, f.french);
    addName(completion.kvNames, seen, f.english);
  }
  std::set<std::string> constantSeen;
  for (const auto& c : host_.catalog().constants()) {
    addName(completion.kvNames, seen, c.french);
    addName(completion.kvNames, seen, c.english);
    addName(completion.constants, constantSeen, c.french);
    addName(completion.constants, constantSeen, c.english);
  }
  for (const auto& v : host_.catalog().variables()) {
    addName(completion.kvNames, seen, v.french);
    addName(completion.kvNames, seen, v.english);
  }
  gCompletion = &completion;
  rl_attempted_completion_function = complete;
  rl_basic_word_break_characters = const_cast<char*>(" \t\n\"\\'`@$><=;|&{(,+-*/%^~[]#");
  // A second Tab lists the choices, even after the first completed a part
  // (a setting of the user's ~/.inputrc, read later, has the last word).
  rl_variable_bind("show-all-if-unmodified", "on");

  const std::string history = historyPath();
  if (!history.empty()) read_history(history.c_str());
  while (char* line = readline("kv> ")) {
    std::string text = line;
    std::free(line);
    if (text.empty()) continue;
    add_history(text.c_str());
    if (!history.empty() && append_history(1, history.c_str()) != 0) write_history(history.c_str());
    clearInterrupt();  // a Ctrl-C ends one line's work, not the session
    callFailed_ = false;
    evaluateLine(text);
    if (callFailed_) std::printf("-- %s\n", errorLine(failedError_).c_str());
    std::fflush(stdout);
  }
  if (!history.empty()) history_truncate_file(history.c_str(), kHistoryLines);
  gCompletion = nullptr;
  std::printf("\n");
  return 0;
}

}  // namespace kvrun
