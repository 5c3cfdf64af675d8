// gentables ROWDIR OUTDIR [--edition i386|x86_64] [ENTRYFILE...] [--raises ERRORTABLE SOURCE...]:
// generates the descriptor tables and the entry points of the component
// from its row files; each subsystem lists its own entry points in an entry
// file. Files are rewritten only when their text changes, so that an
// unchanged table costs no rebuild. Aide.inc holds the help rows of the host
// tools (descriptions.tsv and parametres.tsv, checked), with the errors each
// function can raise when the error table and the sources are given.
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <vector>

#include "emit.h"
#include "help.h"
#include "rows.h"

namespace {

void writeIfChanged(const std::string& path, const std::string& text) {
  {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream old;
    old << in.rdbuf();
    if (in && old.str() == text) return;
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out) throw std::runtime_error(path + ": cannot write");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::cerr << "usage: gentables ROWDIR OUTDIR [ENTRYFILE...]\n";
    return 2;
  }
  try {
    std::vector<std::string> entryFiles, sources;
    std::string errorTable;
    // Address parameters are integers (8) on i386, system integers (0x0e,
    // pointer-sized) on x86-64.
    std::uint32_t addressCode = 0x08;
    for (int i = 3; i < argc; ++i) {
      if (std::string(argv[i]) == "--edition" && i + 1 < argc) {
        std::string edition = argv[++i];
        if (edition != "i386" && edition != "x86_64") throw std::runtime_error("unknown edition '" + edition + "'");
        addressCode = edition == "i386" ? 0x08 : 0x0e;
        continue;
      }
      if (std::string(argv[i]) == "--raises" && i + 1 < argc) {
        errorTable = argv[++i];
        sources.assign(argv + i + 1, argv + argc);
        break;
      }
      entryFiles.emplace_back(argv[i]);
    }
    auto tables = gentables::readTables(argv[1], entryFiles);
    std::string out = argv[2];
    writeIfChanged(out + "/TablesDescripteurs.cpp", gentables::emitTables(tables, addressCode));
    writeIfChanged(out + "/Entrees.cpp", gentables::emitEntries(tables, addressCode));
    std::unique_ptr<gentables::RaiseGraph> raises;
    if (!errorTable.empty()) {
      raises = std::make_unique<gentables::RaiseGraph>(sources, errorTable);
      for (const auto& name : raises->unknownNames()) std::cerr << "gentables: warning: " << name << " is in no row of " << errorTable << "\n";
    }
    writeIfChanged(out + "/Aide.inc", gentables::emitHelp(tables, argv[1], entryFiles, raises.get()));
  } catch (const std::exception& e) {
    std::cerr << "gentables: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
