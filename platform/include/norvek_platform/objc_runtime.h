// Stand-in for the parts of the Objective-C runtime the library uses to raise
// an allocation failure: the exception name object and the throw operation.
#pragma once

#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <type_traits>

#include "norvek_platform/foundation.h"

// The platform's exception name "NSMallocException".
extern const NSString NSMallocException;

// What objc_exception_throw raises. It derives from std::bad_alloc so that a
// C++ caller may catch either it or std::bad_alloc. Copying never throws, and
// a move copies, so the source keeps its name as well.
class NSExceptionError : public std::bad_alloc {
 public:
  // Keeps its own copy of the name (the copy may raise std::bad_alloc).
  explicit NSExceptionError(std::string_view name)
      : m_owned(std::make_shared<const std::string>(name)), m_name(m_owned->c_str()) {}

  // Names the exception after a string with static storage, allocating
  // nothing: what is raised when memory has run out.
  static NSExceptionError withStaticName(const char* name) noexcept {
    return NSExceptionError(StaticName{}, name);
  }

  NSExceptionError(const NSExceptionError&) noexcept = default;
  NSExceptionError& operator=(const NSExceptionError&) noexcept = default;
  ~NSExceptionError() override = default;

  // The view is valid while this exception or a copy of it lives.
  std::string_view name() const noexcept {
    return m_owned ? std::string_view(*m_owned) : std::string_view(m_name);
  }
  const char* what() const noexcept override { return m_name; }

 private:
  struct StaticName {};
  NSExceptionError(StaticName /*tag*/, const char* name) noexcept : m_name(name) {}

  std::shared_ptr<const std::string> m_owned;  // empty for a static name
  const char* m_name;
};
static_assert(std::is_nothrow_copy_constructible_v<NSExceptionError>);

const NSString& objc_retainAutorelease(const NSString& object) noexcept;
[[noreturn]] void objc_exception_throw(const NSString& exception);
