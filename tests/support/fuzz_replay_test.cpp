// Replays inputs through a fuzz target's own checks (which abort on a violation): the committed
// seeds (OSL_FUZZ_SEEDS), and every input that once broke the target (OSL_FUZZ_REGRESSIONS, which
// may be missing). Linked with one fuzz target's source.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "tests/support/subprocess.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace osltest {
namespace {

TEST(FuzzReplay, SeedsAndRegressionsPassTheTargetsChecks) {
  int replayed = 0;
  for (const std::string folder : {OSL_FUZZ_SEEDS, OSL_FUZZ_REGRESSIONS}) {
    if (!std::filesystem::is_directory(folder)) continue;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      SCOPED_TRACE(entry.path().string());
      std::string input = ReadFile(entry.path().string());
      EXPECT_EQ(
          LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.data()), input.size()), 0);
      ++replayed;
    }
  }
  EXPECT_GT(replayed, 0) << "no seeds in " << OSL_FUZZ_SEEDS;
}

}  // namespace
}  // namespace osltest
