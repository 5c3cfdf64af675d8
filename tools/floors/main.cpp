// floors FLOORFILE ROOT: checks that the project's includes read from the
// ground up. FLOORFILE lists the floors, lowest first, each with the file
// patterns it holds and optionally the only floors it may reach; a file
// belongs to the highest floor whose pattern matches it. An include may
// reach its own floor or one below (never one above, which would also close
// a cycle), and only the floors a restricted floor names. Prints the floors
// and the arrows between them; exit status 1 on any arrow that breaks a rule.
#include <fnmatch.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Floor {
  std::string name;
  std::vector<std::string> patterns;
  bool restricted = false;
  std::set<std::string> reaches;  // when restricted: the floors below it may include
};

struct Plan {
  std::vector<Floor> floors;
  std::vector<std::string> searchPath;  // include directories, after the file's own
};

// Lines: "search DIR..." or "FLOOR PATTERN... [| FLOOR...]"; '#' starts a comment.
Plan readPlan(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error(path + ": cannot read");
  Plan plan;
  std::string line;
  for (int n = 1; std::getline(in, line); ++n) {
    line = line.substr(0, line.find('#'));
    std::istringstream words(line);
    std::string first, word;
    if (!(words >> first)) continue;
    if (first == "search") {
      while (words >> word) plan.searchPath.push_back(word);
      continue;
    }
    Floor floor{first, {}, false, {}};
    while (words >> word) {
      if (word == "|") {
        floor.restricted = true;
      } else if (floor.restricted) {
        floor.reaches.insert(word);
      } else {
        floor.patterns.push_back(word);
      }
    }
    if (floor.patterns.empty()) throw std::runtime_error(path + ":" + std::to_string(n) + ": floor without files");
    plan.floors.push_back(floor);
  }
  return plan;
}

// Index of the highest floor holding `file` (relative to the root), or -1.
int floorOf(const Plan& plan, const std::string& file) {
  for (int i = static_cast<int>(plan.floors.size()) - 1; i >= 0; --i) {
    for (const auto& p : plan.floors[i].patterns) {
      if (fnmatch(p.c_str(), file.c_str(), FNM_PATHNAME) == 0) return i;
    }
  }
  return -1;
}

bool isSource(const fs::path& p) {
  auto ext = p.extension().string();
  return ext == ".h" || ext == ".cpp" || ext == ".inc";
}

// The project file a quoted include names: beside the including file, then
// along the search path; "" when none (a generated or system file).
std::string resolve(const fs::path& root, const Plan& plan, const std::string& from, const std::string& name) {
  std::vector<fs::path> candidates{fs::path(from).parent_path() / name};
  for (const auto& dir : plan.searchPath) candidates.push_back(fs::path(dir) / name);
  for (const auto& c : candidates) {
    if (fs::is_regular_file(root / c)) return c.lexically_normal().generic_string();
  }
  return "";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: floors FLOORFILE ROOT\n";
    return 2;
  }
  try {
    Plan plan = readPlan(argv[1]);
    fs::path root = argv[2];
    std::map<std::string, int> index;
    for (int i = 0; i < static_cast<int>(plan.floors.size()); ++i) index[plan.floors[i].name] = i;
    for (const auto& f : plan.floors) {
      for (const auto& r : f.reaches) {
        if (!index.count(r)) throw std::runtime_error("floor " + f.name + " reaches unknown floor " + r);
      }
    }

    const std::regex include(R"re(^\s*#\s*include\s*"([^"]+)")re");
    std::map<std::pair<int, int>, int> arrows;  // (from, to) -> includes
    std::vector<std::string> faults;
    std::vector<int> files(plan.floors.size());
    for (const auto& top : {"src", "host", "tools"}) {
      if (!fs::exists(root / top)) continue;
      for (const auto& e : fs::recursive_directory_iterator(root / top)) {
        if (!e.is_regular_file() || !isSource(e.path())) continue;
        std::string from = fs::relative(e.path(), root).generic_string();
        int a = floorOf(plan, from);
        if (a >= 0) ++files[a];
        std::ifstream in(e.path());
        std::string line;
        for (int n = 1; std::getline(in, line); ++n) {
          std::smatch m;
          if (!std::regex_search(line, m, include)) continue;
          std::string to = resolve(root, plan, from, m[1]);
          if (to.empty()) continue;
          int b = floorOf(plan, to);
          std::string where = from + ":" + std::to_string(n) + ": " + to;
          if (a < 0 || b < 0) {
            faults.push_back(where + " (" + (a < 0 ? from : to) + " is on no floor)");
            continue;
          }
          if (a == b) continue;
          ++arrows[{a, b}];
          const Floor& fa = plan.floors[a];
          if (b > a) {
            faults.push_back(where + " runs up from " + fa.name + " to " + plan.floors[b].name);
          } else if (fa.restricted && !fa.reaches.count(plan.floors[b].name)) {
            faults.push_back(where + ": " + fa.name + " may not reach " + plan.floors[b].name);
          }
        }
      }
    }

    std::cout << "floors, from the ground up (floor: files; the floors it includes):\n";
    for (int i = 0; i < static_cast<int>(plan.floors.size()); ++i) {
      std::cout << "  " << plan.floors[i].name << ": " << files[i] << ";";
      for (const auto& [k, n] : arrows) {
        if (k.first == i) std::cout << " " << plan.floors[k.second].name << " (" << n << ")";
      }
      std::cout << "\n";
    }
    for (const auto& f : faults) std::cout << "fault: " << f << "\n";
    if (!faults.empty()) {
      std::cout << faults.size() << " include(s) break the floors\n";
      return 1;
    }
    return 0;
  } catch (const std::exception& e) {
    std::cerr << "floors: " << e.what() << "\n";
    return 2;
  }
}
