// Runs a test suite once per SHA-1 compression this machine has: each test
// forces its path and restores the run-time choice afterwards.
//
//   NORVEK_SHA1_PATH_SUITE(Sha1);   // then TEST_P(Sha1, Name) { ... }
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../../crypto/sha1_paths.h"

namespace norvek_test {

using norvek_internal::Sha1Path;

inline const char* sha1_path_name(Sha1Path path) {
  switch (path) {
    case Sha1Path::automatic: return "automatic";
    case Sha1Path::portable: return "portable";
    case Sha1Path::shani: return "shani";
    case Sha1Path::armv8: return "armv8";
  }
  return "unknown";
}

// Portable always, then every hardware path the CPU runs.
inline std::vector<Sha1Path> sha1_paths_here() {
  std::vector<Sha1Path> paths;
  for (Sha1Path p : {Sha1Path::portable, Sha1Path::shani, Sha1Path::armv8})
    if (norvek_internal::sha1_path_available(p)) paths.push_back(p);
  return paths;
}

class Sha1PathTest : public ::testing::TestWithParam<Sha1Path> {
 protected:
  void SetUp() override { ASSERT_TRUE(norvek_internal::sha1_force_path(GetParam())); }
  void TearDown() override { norvek_internal::sha1_force_path(Sha1Path::automatic); }
};

}  // namespace norvek_test

#define NORVEK_SHA1_PATH_SUITE(Suite)                                                        \
  using Suite = norvek_test::Sha1PathTest;                                                   \
  INSTANTIATE_TEST_SUITE_P(Path, Suite, ::testing::ValuesIn(norvek_test::sha1_paths_here()), \
                           [](const ::testing::TestParamInfo<norvek_test::Sha1Path>& info) { \
                             return std::string(norvek_test::sha1_path_name(info.param));    \
                           })
