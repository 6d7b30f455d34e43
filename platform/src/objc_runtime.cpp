#include "norvek_platform/objc_runtime.h"

namespace {
constexpr char kMallocExceptionName[] = "NSMallocException";
}  // namespace

// Only allocation can throw here, at load time, where failing to start is the answer.
// NOLINTNEXTLINE(cert-err58-cpp)
const NSString NSMallocException = NSString::stringWithUTF8String(kMallocExceptionName);

const NSString& objc_retainAutorelease(const NSString& object) noexcept { return object; }

void objc_exception_throw(const NSString& exception) {
  // The malloc exception is told by its address and named from the constant:
  // an allocation may fail in a static initialiser that runs before the name
  // object is built, or in a destructor that runs after it is gone. It
  // allocates nothing, since memory has run out.
  if (&exception == &NSMallocException)
    throw NSExceptionError::withStaticName(kMallocExceptionName);
  const char* name = exception.UTF8String();
  throw NSExceptionError(name != nullptr ? name : "");
}
