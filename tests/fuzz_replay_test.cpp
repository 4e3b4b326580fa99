// The fuzzer's corpus replayed through the same harness: every input ends,
// with status 0 or 1, whatever it holds.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "fuzz/session.h"
#include "tests/testutil.h"

namespace fs = std::filesystem;

namespace {

TEST(FuzzCorpus, EveryInputEnds) {
  const std::string dir = MakeTempDir();
  int inputs = 0;
  for (const auto& entry : fs::directory_iterator(DUOLOCUS_FUZZ_CORPUS)) {
    SCOPED_TRACE(entry.path().filename().string());
    const std::string data = ReadFile(entry.path().string());
    const int status = FUZZSESSION(reinterpret_cast<const std::uint8_t*>(data.data()), data.size(), dir);
    EXPECT_TRUE(status == 0 || status == 1) << status;
    ++inputs;
  }
  EXPECT_GT(inputs, 10);
  fs::remove_all(dir);
}

}  // namespace
