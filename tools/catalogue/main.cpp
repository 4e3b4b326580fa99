// duolocus-catalogue: writes the settings catalogue for the Python package
// and the browser lab (python/duolocus/catalogue.json), or, with --check,
// says whether the committed file is still what the sources make.
//
//   duolocus-catalogue FILE          write FILE (through FILE.part, renamed)
//   duolocus-catalogue --check FILE  exit 1 when FILE differs
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "model/catalogue.h"

namespace {

int USAGE() {
  std::cerr << "usage: duolocus-catalogue FILE | duolocus-catalogue --check FILE" << std::endl;
  return 2;
}

int CHECK(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  const std::string held((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad() || !in.is_open()) {
    std::cerr << "duolocus-catalogue: cannot read " << name << ": run make catalogue" << std::endl;
    return 1;
  }
  if (held != CATALOGUEFILE()) {
    std::cerr << "duolocus-catalogue: " << name
              << " differs from the catalogue the sources make: run make catalogue and commit it" << std::endl;
    return 1;
  }
  return 0;
}

// A reader never sees half a file: the text goes to a temporary name in the
// same folder, renamed over the old file only once it is complete.
int WRITE(const std::string& name) {
  const std::string part = name + ".part";
  {
    std::ofstream out(part, std::ios::binary | std::ios::trunc);
    out << CATALOGUEFILE();
    out.close();
    if (!out) {
      std::remove(part.c_str());
      std::cerr << "duolocus-catalogue: cannot write " << part << std::endl;
      return 1;
    }
  }
  if (std::rename(part.c_str(), name.c_str()) != 0) {
    std::remove(part.c_str());
    std::cerr << "duolocus-catalogue: cannot rename " << part << " to " << name << std::endl;
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::string(argv[1]).compare(0, 1, "-") != 0) return WRITE(argv[1]);
  if (argc == 3 && std::string(argv[1]) == "--check") return CHECK(argv[2]);
  return USAGE();
}
