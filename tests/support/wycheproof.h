// Reads a Wycheproof test-vector file into flat cases: each test's scalar
// fields with its group's scalar fields (keySize, tagSize, ...) merged in.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace norvek_test {

struct WycheproofCase {
  std::map<std::string, std::string> fields;  // strings and numbers as text
  const std::string& at(const std::string& name) const { return fields.at(name); }
  int number(const std::string& name) const { return std::stoi(fields.at(name)); }
};

// Throws std::runtime_error when the file cannot be read or parsed.
std::vector<WycheproofCase> load_wycheproof(const std::string& path);

std::vector<uint8_t> from_hex(const std::string& hex);

}  // namespace norvek_test
