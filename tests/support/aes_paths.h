// Runs one test body over every AES implementation this machine supports:
// a suite derives its fixture from AesPathTest, writes TEST_P, and
// instantiates with NORVEK_ON_EVERY_AES_PATH(Suite). The fixture forces the
// path for the test and hands the choice back to the library afterwards.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "../../crypto/aes_path.h"

namespace norvek_test {

inline const char* aes_path_name(NorvekAesPath path) {
  switch (path) {
    case NorvekAesPath::automatic: return "automatic";
    case NorvekAesPath::table: return "table";
    case NorvekAesPath::aesni: return "aesni";
    case NorvekAesPath::vaes: return "vaes";
    case NorvekAesPath::armv8: return "armv8";
  }
  return "unknown";
}

inline const NorvekAesPath kAllAesPaths[] = {NorvekAesPath::table, NorvekAesPath::aesni,
                                             NorvekAesPath::vaes, NorvekAesPath::armv8};

inline std::vector<NorvekAesPath> available_aes_paths() {
  std::vector<NorvekAesPath> paths;
  for (NorvekAesPath p : kAllAesPaths) {
    if (norvek_aes_path_available(p)) paths.push_back(p);
  }
  return paths;
}

class AesPathTest : public ::testing::TestWithParam<NorvekAesPath> {
 protected:
  void SetUp() override { ASSERT_TRUE(norvek_aes_force_path(GetParam())); }
  void TearDown() override { norvek_aes_force_path(NorvekAesPath::automatic); }
};

}  // namespace norvek_test

// Lets failure messages name the path.
inline void PrintTo(NorvekAesPath path, std::ostream* os) {
  *os << norvek_test::aes_path_name(path);
}

#define NORVEK_ON_EVERY_AES_PATH(suite)                                                            \
  INSTANTIATE_TEST_SUITE_P(Path, suite, ::testing::ValuesIn(::norvek_test::available_aes_paths()), \
                           [](const ::testing::TestParamInfo<NorvekAesPath>& info) {               \
                             return std::string(::norvek_test::aes_path_name(info.param));         \
                           })
