// Stand-ins for the Foundation objects the library exchanges with its callers:
// NSObject, NSData, NSMutableData and NSString.
//
// Each class is a handle to a reference-counted object. A default-constructed
// handle is nil: it answers 0 or nil to every query and ignores every request,
// as a message to nil does on the platform. Copying a handle shares the object
// (like retaining a pointer); the object goes away with its last handle, so no
// manual release is ever needed. Selectors map to member names in the obvious
// way: `initWithBytes:length:` is `initWithBytes(bytes, length)`.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

using NSUInteger = unsigned long;
using NSStringEncoding = NSUInteger;
using BOOL = bool;

inline constexpr NSStringEncoding NSASCIIStringEncoding = 1;
inline constexpr NSStringEncoding NSUTF8StringEncoding = 4;

// The root class. Handles compare equal when they name the same object
// (pointer identity on the platform); two nils are equal.
class NSObject {
 public:
  NSObject() noexcept = default;
  NSObject(std::nullptr_t) noexcept {}

  bool isNil() const noexcept { return !m_object; }
  explicit operator bool() const noexcept { return static_cast<bool>(m_object); }
  friend bool operator==(const NSObject& a, const NSObject& b) noexcept {
    return a.m_object == b.m_object;
  }
  friend bool operator==(const NSObject& a, std::nullptr_t) noexcept { return !a.m_object; }

 protected:
  explicit NSObject(std::shared_ptr<void> object) noexcept : m_object(std::move(object)) {}
  std::shared_ptr<void> m_object;
};

class NSMutableData;

// Immutable byte container.
class NSData : public NSObject {
 public:
  using NSObject::NSObject;

  NSUInteger length() const noexcept;  // 0 for nil
  const void* bytes() const noexcept;  // null for nil (and may be null when empty)

  // `[NSData alloc]` followed by `initWithBytes:length:`; alloc() gives a nil
  // placeholder and initWithBytes builds the object by copying the range.
  static NSData alloc() noexcept { return NSData(); }
  NSData initWithBytes(const void* bytes, NSUInteger length) const;

  // Both answer nil for null `bytes` with a non-zero `length`.
  static NSData dataWithBytes(const void* bytes, NSUInteger length);
  // Takes over `bytes`, an area from malloc(); the object frees it when it
  // goes (at once, if the object cannot be made).
  static NSData dataWithBytesNoCopy(void* bytes, NSUInteger length);
  // `dataWithBytesNoCopy:length:freeWhenDone:`. With `freeWhenDone` false
  // the object only refers to `bytes`, which the caller keeps alive and
  // unchanged while any handle to the object exists, and frees itself.
  static NSData dataWithBytesNoCopy(void* bytes, NSUInteger length, BOOL freeWhenDone);

 protected:
  friend class NSMutableData;
  struct Store;
  explicit NSData(std::shared_ptr<Store> store) noexcept;
  Store* store() const noexcept { return static_cast<Store*>(m_object.get()); }
};

// Growable byte container; a handle to it is also a handle to NSData.
class NSMutableData : public NSData {
 public:
  using NSData::NSData;

  static NSMutableData data();          // new, empty
  void setLength(NSUInteger length);    // growth reads zero
  void* mutableBytes() const noexcept;  // null for nil
};

// Immutable text, held as UTF-8.
class NSString : public NSObject {
 public:
  using NSObject::NSObject;

  // Creates a string from zero-terminated UTF-8; nil for null or invalid UTF-8.
  static NSString stringWithUTF8String(const char* utf8);
  const char* UTF8String() const noexcept;  // null for nil

  NSUInteger length() const noexcept;  // UTF-16 code units; 0 for nil

  // Writes the text in `encoding` plus a terminating zero into `buffer` when
  // both fit in `maxLength` bytes; otherwise writes nothing and answers false.
  // Only NSUTF8StringEncoding and NSASCIIStringEncoding are supported.
  BOOL getCString(char* buffer, NSUInteger maxLength, NSStringEncoding encoding) const noexcept;

  // The text as bytes; nil when a character cannot be represented (for ASCII:
  // anything beyond U+007F) and for nil.
  NSData dataUsingEncoding(NSStringEncoding encoding) const;

  static NSString alloc() noexcept { return NSString(); }
  // Builds a string from the bytes of `data`; nil when they are not valid in
  // `encoding` (for ASCII: any byte from 0x80 up) or the data is nil.
  NSString initWithData(const NSData& data, NSStringEncoding encoding) const;

 private:
  struct Store;
  explicit NSString(std::shared_ptr<Store> store) noexcept;
  Store* store() const noexcept { return static_cast<Store*>(m_object.get()); }
};
