// Which numbered errors a method can raise, read from the library's sources:
// they are cut into bodies (functions, and initialisers of named tables),
// each body's error names (ERR_...) are its raise sites, the other names it
// mentions make a call graph by name, and a method raises what any body it
// reaches names, provided a body on the way raises (calls RaiseError...) or
// writes the component's error object.
// Calls by name join every body of that name (overrides and overloads
// alike), so the lists err on the side of too much.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace gentables {

class RaiseGraph {
public:
  // `errorTable` is erreurs.tsv (code, name, ...); throws std::runtime_error
  // when a file cannot be read.
  RaiseGraph(const std::vector<std::string>& sourceFiles, const std::string& errorTable);

  // Codes raised by the bodies named in `call` (an entry's method call) and
  // by everything they reach, in ascending order.
  std::set<std::uint32_t> raisedBy(const std::string& call) const;

  // Error names the sources mention that the error table does not know.
  const std::set<std::string>& unknownNames() const { return unknown_; }

private:
  struct Body {
    std::set<std::string> mentions;    // names of other bodies
    std::set<std::uint32_t> raises;  // named here
    bool raiser = false;              // raises the component's error
  };
  void solve() const;
  void read(const std::string& text);
  void addBody(const std::string& name, const std::vector<std::string>& tokens, std::size_t begin, std::size_t end);

  std::map<std::string, std::uint32_t> codes_;             // ERR_ name -> code
  std::map<std::string, std::set<std::uint32_t>> family_;  // ERR_ name -> codes an offset from it may reach
  std::map<std::string, Body> bodies_;
  std::set<std::string> unknown_;
  // By body: codes it fills in (itself or below), codes raised on its way.
  mutable bool solved_ = false;
  mutable std::map<std::string, std::set<std::uint32_t>> filled_, raised_;
};

}  // namespace gentables
