#include "wycheproof.h"

#include <cctype>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>

namespace norvek_test {
namespace {

// Just enough JSON for the vector files: objects, arrays, strings without
// escapes beyond \" and \\, numbers, true/false/null.
struct Value {
  enum Kind { kScalar, kObject, kArray } kind = kScalar;
  std::string text;
  std::vector<std::pair<std::string, std::unique_ptr<Value>>> members;
  std::vector<std::unique_ptr<Value>> items;
};

class Parser {
 public:
  explicit Parser(const std::string& s) : s_(s) {}

  std::unique_ptr<Value> parse() {
    skip();
    auto v = std::make_unique<Value>();
    if (peek() == '{') {
      v->kind = Value::kObject;
      ++i_;
      skip();
      if (peek() == '}') { ++i_; return v; }
      for (;;) {
        skip();
        std::string key = string();
        skip();
        expect(':');
        v->members.emplace_back(key, parse());
        skip();
        if (peek() == ',') { ++i_; continue; }
        expect('}');
        return v;
      }
    }
    if (peek() == '[') {
      v->kind = Value::kArray;
      ++i_;
      skip();
      if (peek() == ']') { ++i_; return v; }
      for (;;) {
        v->items.push_back(parse());
        skip();
        if (peek() == ',') { ++i_; continue; }
        expect(']');
        return v;
      }
    }
    if (peek() == '"') {
      v->text = string();
      return v;
    }
    size_t start = i_;
    while (i_ < s_.size() && std::string(",}] \n\r\t").find(s_[i_]) == std::string::npos) ++i_;
    if (start == i_) fail();
    v->text = s_.substr(start, i_ - start);
    return v;
  }

 private:
  char peek() const { return i_ < s_.size() ? s_[i_] : '\0'; }
  void skip() { while (i_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[i_]))) ++i_; }
  void expect(char c) { if (peek() != c) fail(); ++i_; }
  [[noreturn]] void fail() const { throw std::runtime_error("bad JSON at offset " + std::to_string(i_)); }
  std::string string() {
    expect('"');
    std::string out;
    while (peek() != '"') {
      if (i_ >= s_.size()) fail();
      char c = s_[i_++];
      if (c == '\\') c = s_[i_++];
      out.push_back(c);
    }
    ++i_;
    return out;
  }

  const std::string& s_;
  size_t i_ = 0;
};

const Value* member(const Value& v, const std::string& name) {
  for (const auto& [key, value] : v.members) {
    if (key == name) return value.get();
  }
  return nullptr;
}

void add_scalars(const Value& v, std::map<std::string, std::string>& into) {
  for (const auto& [key, value] : v.members) {
    if (value->kind == Value::kScalar) into[key] = value->text;
  }
}

}  // namespace

std::vector<WycheproofCase> load_wycheproof(const std::string& path) {
  std::ifstream file(path);
  if (!file) throw std::runtime_error("cannot open " + path);
  std::stringstream text;
  text << file.rdbuf();
  const std::string json = text.str();
  auto root = Parser(json).parse();
  const Value* groups = member(*root, "testGroups");
  if (groups == nullptr) throw std::runtime_error("no testGroups in " + path);
  std::vector<WycheproofCase> cases;
  for (const auto& group : groups->items) {
    std::map<std::string, std::string> group_fields;
    add_scalars(*group, group_fields);
    const Value* tests = member(*group, "tests");
    if (tests == nullptr) continue;
    for (const auto& test : tests->items) {
      WycheproofCase c;
      c.fields = group_fields;
      add_scalars(*test, c.fields);
      cases.push_back(std::move(c));
    }
  }
  return cases;
}

std::vector<uint8_t> from_hex(const std::string& hex) {
  std::vector<uint8_t> out(hex.size() / 2);
  for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<uint8_t>(std::stoi(hex.substr(2 * i, 2), nullptr, 16));
  return out;
}

}  // namespace norvek_test
