#include "norvek_platform/objc_runtime.h"

const NSString NSMallocException = NSString::stringWithUTF8String("NSMallocException");

const NSString& objc_retainAutorelease(const NSString& object) noexcept { return object; }

void objc_exception_throw(const NSString& exception) {
  const char* name = exception.UTF8String();
  throw NSExceptionError(name != nullptr ? name : "");
}
