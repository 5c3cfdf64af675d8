// kvrun: loads the component through the stand-in VM and prints its
// identity and the size of its descriptor tables.
#include <cstdio>
#include <exception>

#include "Host.h"
#include "frame/InterfacesVM.h"

int main(int argc, char** argv) {
  try {
    kvhost::Host host;
    IVXLibrary* c = host.component();
    char resume[128];
    c->GetResume(resume, sizeof resume);
    const auto& cat = host.catalog();
    std::size_t available = 0, entryPoints = 0;
    for (const auto& f : cat.functions()) {
      if (f.available() && !f.synonym()) ++available;
      for (const auto& s : f.syntaxes) entryPoints += s.entry != nullptr && !f.synonym();
    }
    std::printf("%s\n", host.library().path().c_str());
    std::printf("library %d, interface version %d, language version %d (compatible %d): %s\n", c->nGetLibraryId(),
                c->nGetVersion(), c->nGetVersionVX(), c->nGetVersionVXCompat(), resume);
    std::printf("%zu functions (%zu callable here through %zu entry points), %zu constants, %zu variables\n",
                cat.functions().size(), available, entryPoints, cat.constants().size(), cat.variables().size());
    (void)argc;
    (void)argv;
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kvrun: %s\n", e.what());
    return 2;
  }
}
