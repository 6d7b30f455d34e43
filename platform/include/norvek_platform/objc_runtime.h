// Stand-in for the parts of the Objective-C runtime the library uses to raise
// an allocation failure: the exception name object and the throw operation.
#pragma once

#include <new>
#include <string>

#include "norvek_platform/foundation.h"

// The platform's exception name "NSMallocException".
extern const NSString NSMallocException;

// What objc_exception_throw raises. It derives from std::bad_alloc so that a
// C++ caller may catch either it or std::bad_alloc.
class NSExceptionError : public std::bad_alloc {
 public:
  explicit NSExceptionError(std::string name) : m_name(std::move(name)) {}
  const std::string& name() const noexcept { return m_name; }
  const char* what() const noexcept override { return m_name.c_str(); }

 private:
  std::string m_name;
};

const NSString& objc_retainAutorelease(const NSString& object) noexcept;
[[noreturn]] void objc_exception_throw(const NSString& exception);
