#include "wycheproof.h"

#include <fstream>
#include <nlohmann/json.hpp>
#include <stdexcept>

namespace norvek_test {
namespace {

using nlohmann::json;

// Strings as they are, numbers and booleans as their JSON text; arrays and
// objects (flags, nested groups) are not scalars and are left out.
void add_scalars(const json& object, std::map<std::string, std::string>& into) {
  for (const auto& [key, value] : object.items()) {
    if (value.is_string()) {
      into[key] = value.get<std::string>();
    } else if (value.is_primitive() && !value.is_null()) {
      into[key] = value.dump();
    }
  }
}

}  // namespace

std::vector<WycheproofCase> load_wycheproof(const std::string& path) {
  std::ifstream file(path);
  if (!file) throw std::runtime_error("cannot open " + path);
  json root;
  try {
    root = json::parse(file);
  } catch (const json::exception& e) {
    throw std::runtime_error(path + ": " + e.what());
  }
  if (!root.contains("testGroups")) throw std::runtime_error("no testGroups in " + path);
  std::vector<WycheproofCase> cases;
  for (const auto& group : root.at("testGroups")) {
    std::map<std::string, std::string> group_fields;
    add_scalars(group, group_fields);
    if (!group.contains("tests")) continue;
    for (const auto& test : group.at("tests")) {
      WycheproofCase c;
      c.fields = group_fields;
      add_scalars(test, c.fields);
      cases.push_back(std::move(c));
    }
  }
  return cases;
}

std::vector<uint8_t> from_hex(const std::string& hex) {
  std::vector<uint8_t> out(hex.size() / 2);
  for (size_t i = 0; i < out.size(); ++i)
    out[i] = static_cast<uint8_t>(std::stoi(hex.substr(2 * i, 2), nullptr, 16));
  return out;
}

}  // namespace norvek_test
