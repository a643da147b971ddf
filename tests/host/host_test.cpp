#include <gtest/gtest.h>

#include "tests/host/host_run.h"

namespace qb::host::test {
namespace {

TEST(Explore, Print) {
  HostFixtureDir dir;
  const char* s = std::getenv("QB_EXPLORE");
  if (!s) GTEST_SKIP();
  HostRun r = RunHost(dir, ReadFile(s), std::getenv("QB_EXPLORE_SIZE") ? std::getenv("QB_EXPLORE_SIZE") : "60x16");
  std::printf("%s---\nstatus %d\n%s---\n", r.out.c_str(), r.status, r.err.c_str());
  for (auto& l : r.log) std::printf("%s\n", l.c_str());
}

}  // namespace
}  // namespace qb::host::test
