// libFuzzer entry: every input is a whole typed session.
#include <cstdlib>
#include <string>

#include "fuzz/session.h"

namespace {
std::string SCRATCH() {
  char pattern[] = "/tmp/duolocus-fuzz-XXXXXX";
  const char* dir = mkdtemp(pattern);
  return dir == nullptr ? std::string(".") : std::string(dir);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string dir = SCRATCH();
  FUZZSESSION(data, size, dir);
  return 0;
}
