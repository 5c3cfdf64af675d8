// genman: the manual page kvrun(1), in roff, from the text of `kvrun --help`,
// so the page and the help never disagree.
//
//   kvrun --help | genman DATE VERSION TRIPLET > kvrun.1
//
// TRIPLET is the multiarch folder of kvrun's edition, where it finds the
// library (lib/TRIPLET/kv140std/).
//
// The help text is read by its shape: a "usage:" block of commands (command,
// two or more blanks, what it does), an "options:" block (option, blanks,
// description, with indented continuation lines), then paragraphs.
#include <cctype>
#include <iostream>
#include <string>
#include <vector>

namespace {

// Roff text: a backslash is doubled, a leading dot or quote is escaped, and
// a hyphen becomes \- so options can be searched and copied.
std::string roff(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') {
      out += "\\e";
    } else if (c == '-') {
      out += "\\-";
    } else {
      out += c;
    }
  }
  if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out.insert(0, "\\&");
  return out;
}

std::string trim(const std::string& s) {
  auto b = s.find_first_not_of(' ');
  if (b == std::string::npos) return {};
  return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

// Splits "  kvrun --list [PATTERN]     functions by..." at the first run of
// two or more blanks after the text starts, or else at the column where the
// block's descriptions start (a long command leaves one blank before it).
std::pair<std::string, std::string> split(const std::string& line, std::size_t column = 0) {
  std::size_t start = line.find_first_not_of(' ');
  if (start == std::string::npos) return {};
  auto gap = line.find("  ", start);
  if (gap == std::string::npos && column > start && column < line.size() && line[column - 1] == ' ')
    gap = column - 1;
  if (gap == std::string::npos) return {trim(line), {}};
  return {trim(line.substr(start, gap - start)), trim(line.substr(gap))};
}

// The column where most lines of a block start their description.
std::size_t descriptionColumn(const std::vector<std::string>& block) {
  std::vector<std::size_t> count(256);
  for (const auto& line : block) {
    std::size_t start = line.find_first_not_of(' ');
    if (start == std::string::npos) continue;
    auto gap = line.find("  ", start);
    if (gap == std::string::npos) continue;
    std::size_t at = line.find_first_not_of(' ', gap);
    if (at != std::string::npos && at < count.size()) ++count[at];
  }
  std::size_t best = 0;
  for (std::size_t c = 1; c < count.size(); ++c)
    if (count[c] > count[best]) best = c;
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: kvrun --help | genman DATE VERSION TRIPLET > kvrun.1\n";
    return 2;
  }
  std::vector<std::string> lines;
  for (std::string line; std::getline(std::cin, line);) lines.push_back(line);
  if (lines.empty() || lines[0] != "usage:") {
    std::cerr << "genman: the help text does not start with \"usage:\"\n";
    return 1;
  }

  std::cout << ".\\\" Made by genman from the text of kvrun --help.\n"
            << ".TH KVRUN 1 \"" << argv[1] << "\" \"kv140std " << argv[2] << "\" \"User Commands\"\n"
            << ".SH NAME\nkvrun \\- call the functions of the kv140std library from the shell or from Lua\n";

  std::size_t i = 1;
  std::cout << ".SH SYNOPSIS\n";
  std::vector<std::string> usage;
  for (; i < lines.size() && !trim(lines[i]).empty(); ++i) usage.push_back(lines[i]);
  const std::size_t column = descriptionColumn(usage);
  std::vector<std::pair<std::string, std::string>> commands;
  for (const auto& line : usage) {
    if (line.starts_with("   ") && !commands.empty()) {  // continuation of the last description
      commands.back().second += " " + trim(line);
      continue;
    }
    commands.push_back(split(line, column));
  }
  for (const auto& [command, what] : commands) std::cout << ".nf\n.B " << roff(command) << "\n.fi\n";

  std::cout << ".SH DESCRIPTION\n";
  for (const auto& [command, what] : commands) {
    if (what.empty()) continue;
    std::cout << ".TP\n.B " << roff(command) << "\n" << roff(what) << "\n";
  }

  // The rest: blocks that open with "NAME:" list items; others are
  // paragraphs, gathered under NOTES.
  bool notes = false;
  while (i < lines.size()) {
    while (i < lines.size() && trim(lines[i]).empty()) ++i;
    if (i >= lines.size()) break;
    const std::string& head = lines[i];
    if (head.back() == ':' && head.find(' ') == std::string::npos) {
      std::string title = head.substr(0, head.size() - 1);
      for (auto& c : title) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      std::cout << ".SH " << title << "\n";
      for (++i; i < lines.size() && !trim(lines[i]).empty(); ++i) {
        const std::string& line = lines[i];
        std::size_t indent = line.find_first_not_of(' ');
        if (indent <= 2) {
          auto [item, what] = split(line);
          std::cout << ".TP\n.B " << roff(item) << "\n";
          if (!what.empty()) std::cout << roff(what) << "\n";
        } else {
          std::cout << roff(trim(line)) << "\n";
        }
      }
    } else {
      if (!notes) std::cout << ".SH NOTES\n";
      notes = true;
      std::cout << ".PP\n";
      for (; i < lines.size() && !trim(lines[i]).empty(); ++i) std::cout << roff(trim(lines[i])) << "\n";
    }
  }

  std::cout << ".SH FILES\n"
            << ".TP\n.I /usr/lib/" << argv[3] << "/kv140std/kv140std.so\nthe library, beside its English "
               "messages (kv140std.en.msg), found from kvrun's own folder (../lib/" << argv[3]
            << "/kv140std/, so an unpacked package works from any folder); the environment "
               "variable KV_LIBRARY names another library file\n"
            << ".SH SEE ALSO\n"
            << "kvrun \\-\\-list, kvrun \\-\\-help NAME, kvrun \\-\\-constants\n";
  return 0;
}
