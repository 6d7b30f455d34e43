// norvek._norvek: the library's public interface for Python.
//
// Each function is one call (or a fixed pair of calls) into include/norvek/;
// the binding only moves bytes in and out and turns the library's failure
// answers (empty buffers, 0 counts, nil objects) into exceptions, with the
// same decisions as the norvek tool. Inputs are read in place through the
// buffer protocol: raw arrays directly, `const CNorVekXBuffer&` parameters
// through a CNorVekXBufferView. Only the data object interfaces and the two
// URI calls take a copy in. The cipher writes straight into the bytes object
// it returns.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <openssl/crypto.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "norvek/norvek_crypto.h"

namespace py = pybind11;
using namespace NorvekCryptoSpace;
using Codec = NorVekXCryptoBase64KQZP;

namespace {

// Calls on at least this many input bytes let other threads run meanwhile.
// The fastest calls (Base64, SHA-1 with the SHA extensions) take 1-4 us at
// 4 KiB; giving the interpreter lock up and taking it back measured below
// 0.2 us there (python/bench/bench_norvek.py --gil), a share that grows as
// calls get shorter while what other threads gain shrinks.
constexpr size_t kReleaseGilBytes = 4096;

// Wipes the binding's own copy of a secret (a key, a transform chain,
// plaintext) when it goes, on every path out: unlike the library's buffers,
// std::string, std::vector and NSData give their storage back as it is.
class WipeOnExit {
 public:
  WipeOnExit(void* area, size_t size) : area_(area), size_(size) {}
  template <class Container>
  explicit WipeOnExit(Container& c) : WipeOnExit(c.data(), c.size() * sizeof(c[0])) {}
  WipeOnExit(const WipeOnExit&) = delete;
  WipeOnExit& operator=(const WipeOnExit&) = delete;
  ~WipeOnExit() {
    if (area_ != nullptr && size_ != 0) OPENSSL_cleanse(area_, size_);
  }

 private:
  void* area_;
  size_t size_;
};

// An allocator that wipes what it gives back, for containers holding a
// secret: every old area a growth leaves and the last one, on every path.
template <class T>
struct WipingAllocator {
  using value_type = T;
  WipingAllocator() = default;
  template <class U>
  explicit WipingAllocator(const WipingAllocator<U>&) noexcept {}
  T* allocate(size_t n) { return std::allocator<T>().allocate(n); }
  void deallocate(T* p, size_t n) noexcept {
    OPENSSL_cleanse(p, n * sizeof(T));
    std::allocator<T>().deallocate(p, n);
  }
  friend bool operator==(const WipingAllocator&, const WipingAllocator&) noexcept { return true; }
};

// ---------------------------------------------------------------------------
// Arguments

// A read-only view of a bytes-like argument (the buffer protocol, C
// contiguous). Text arguments also take a str, read as its UTF-8 bytes.
//
// The export is held for as long as the argument lives, which pybind11 makes
// the whole call: while a call runs without the interpreter lock another
// thread cannot resize or free a bytearray it reads (that raises BufferError
// there). It can still write into it: the library then reads some old and
// some new bytes and returns a wrong answer, but never reads or writes out of
// bounds, since every size it uses comes from the length and every output
// is the binding's own, sized before the call.
class ByteView {
 public:
  ByteView() = default;
  ByteView(const ByteView&) = delete;
  ByteView& operator=(const ByteView&) = delete;
  ByteView(ByteView&& other) noexcept { take(other); }
  ByteView& operator=(ByteView&& other) noexcept {
    if (this != &other) {
      release();
      take(other);
    }
    return *this;
  }
  ~ByteView() { release(); }

  bool load(PyObject* obj, bool allow_text) {
    release();
    if (allow_text && PyUnicode_Check(obj)) {
      Py_ssize_t n = 0;
      const char* s = PyUnicode_AsUTF8AndSize(obj, &n);
      if (s == nullptr) {
        PyErr_Clear();  // lone surrogates: not text the codecs could read
        return false;
      }
      set(s, static_cast<size_t>(n));
      return true;
    }
    if (PyUnicode_Check(obj) || !PyObject_CheckBuffer(obj)) return false;
    if (PyObject_GetBuffer(obj, &view_, PyBUF_SIMPLE) != 0) {
      PyErr_Clear();  // e.g. a non-contiguous memoryview
      return false;
    }
    held_ = true;
    set(view_.buf, static_cast<size_t>(view_.len));
    return true;
  }

  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  // The bytes lent as a `const CNorVekXBuffer&` argument, no copy.
  CNorVekXBufferView view() const { return CNorVekXBufferView(data_, size_); }
  // A copy, for the one call that takes a non-const buffer it only reads.
  CNorVekXBuffer buffer() const { return CNorVekXBuffer(data_, size_); }
  // A copy as a data object; its bytes stay writable so they can be wiped.
  NSMutableData object() const {
    NSMutableData d = NSMutableData::data();
    d.setLength(size_);
    if (size_ != 0) std::memcpy(d.mutableBytes(), data_, size_);
    return d;
  }

 private:
  static constexpr uint8_t kNone = 0;  // never hand the library a null pointer

  void set(const void* p, size_t n) {
    data_ = n ? static_cast<const uint8_t*>(p) : &kNone;
    size_ = n;
  }
  void take(ByteView& other) {
    view_ = other.view_;
    held_ = std::exchange(other.held_, false);
    data_ = other.data_;
    size_ = other.size_;
  }
  void release() {
    if (held_) PyBuffer_Release(&view_);
    held_ = false;
    set(nullptr, 0);
  }

  Py_buffer view_{};
  bool held_ = false;
  const uint8_t* data_ = &kNone;
  size_t size_ = 0;
};

struct Bytes : ByteView {};  // bytes, bytearray, memoryview, ...
struct Text : ByteView {};   // the same, or a str

}  // namespace

namespace pybind11::detail {
template <>
struct type_caster<Bytes> {
  PYBIND11_TYPE_CASTER(Bytes, const_name("Buffer"));
  bool load(handle src, bool) { return value.load(src.ptr(), false); }
  static handle cast(const Bytes& b, return_value_policy, handle) {
    return PyBytes_FromStringAndSize(reinterpret_cast<const char*>(b.data()),
                                     static_cast<Py_ssize_t>(b.size()));
  }
};
template <>
struct type_caster<Text> {
  PYBIND11_TYPE_CASTER(Text, const_name("str | Buffer"));
  bool load(handle src, bool) { return value.load(src.ptr(), true); }
  static handle cast(const Text& b, return_value_policy, handle) {
    return PyBytes_FromStringAndSize(reinterpret_cast<const char*>(b.data()),
                                     static_cast<Py_ssize_t>(b.size()));
  }
};
}  // namespace pybind11::detail

namespace {

// The exception classes, owned by the module for the interpreter's lifetime.
PyObject* g_error = nullptr;
PyObject* g_decipher_error = nullptr;
PyObject* g_list_error = nullptr;
PyObject* g_key_error = nullptr;

[[noreturn]] void raise(PyObject* type, const std::string& message) {
  PyErr_SetString(type, message.c_str());
  throw py::error_already_set();
}

// An int argument the library takes as int32_t. Not an int: TypeError;
// outside the range: OverflowError, as Python's own converters do.
int32_t to_int32(py::handle value, const char* what) {
  if (!PyLong_Check(value.ptr()))
    throw py::type_error(std::string(what) + " must be an int, not " +
                         Py_TYPE(value.ptr())->tp_name);
  int overflow = 0;
  const long long v = PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
  if (overflow != 0 || v < INT32_MIN || v > INT32_MAX)
    raise(PyExc_OverflowError, std::string(what) + " out of the 32-bit signed range");
  return static_cast<int32_t>(v);
}

// A list of table entries or positions: any iterable of ints. Reads at most
// `most` entries: `over` tells of a longer one, which may be endless, or be
// refused by its length before it is read. A transform chain is part of the
// key, so the list's storage is wiped when given back, an entry that raises
// midway included.
using Int32List = std::vector<int32_t, WipingAllocator<int32_t>>;

Int32List to_int32_list(py::handle values, const char* what, size_t most, bool& over) {
  if (PyUnicode_Check(values.ptr()) || PyBytes_Check(values.ptr()) ||
      PyByteArray_Check(values.ptr()))
    throw py::type_error(std::string(what) + " must be a sequence of ints");
  const Py_ssize_t hint = PyObject_LengthHint(values.ptr(), 0);
  if (hint < 0) throw py::error_already_set();
  over = static_cast<size_t>(hint) > most;
  Int32List out;
  if (over) return out;
  out.reserve(std::min<size_t>(static_cast<size_t>(hint), 1024));  // a hint may overstate
  for (py::handle v : py::iter(values)) {
    if (out.size() == most) {
      over = true;
      break;
    }
    out.push_back(to_int32(v, what));
  }
  return out;
}

// Runs `work` without the interpreter lock when `input` bytes make it worth
// it. `work` must not touch Python objects.
template <class F>
auto run(size_t input, F&& work) {
  if (input < kReleaseGilBytes) return work();
  py::gil_scoped_release unlocked;
  return work();
}

// A new bytes object of `n` bytes for the library to write into. Never
// PyBytes_FromStringAndSize with data for that: it shares one-byte objects.
py::bytes new_bytes(size_t n) {
  PyObject* o = PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(n));
  if (o == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::bytes>(o);
}

uint8_t* bytes_data(py::bytes& b) { return reinterpret_cast<uint8_t*>(PyBytes_AS_STRING(b.ptr())); }

// Not py::bytes(p, n): that reports a failed allocation as RuntimeError.
py::bytes to_py(const uint8_t* p, size_t n) {
  PyObject* o =
      PyBytes_FromStringAndSize(reinterpret_cast<const char*>(p), static_cast<Py_ssize_t>(n));
  if (o == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::bytes>(o);
}
py::bytes to_py(const CNorVekXBuffer& b) { return to_py(b.m_pData, b.m_nSize); }

// A result the platform handed over as a data object, copied out. Such objects
// give their storage back as it is, and this one may hold plaintext or a
// decoded key: the binding holds its only handle, so it wipes the area (the
// writable one the object was made from) however the copy ends.
py::bytes copy_out(const NSData& result) {
  const size_t n = result.length();
  const WipeOnExit wipe(const_cast<void*>(result.bytes()), n);
  return n ? to_py(static_cast<const uint8_t*>(result.bytes()), n) : py::bytes();
}

// A result written into a new bytes object of `size` bytes, handed over by
// take(). Until then it may hold a secret (plaintext, a decoded key, the text
// being decoded): dropped on a failure path it is wiped first, and taken
// shorter than made it leaves none of its bytes in memory given back.
class ResultBytes {
 public:
  explicit ResultBytes(size_t size) : size_(size), bytes_(new_bytes(size)) {}
  // A private copy of `size` bytes at `p`, to work on in place.
  ResultBytes(const uint8_t* p, size_t size) : ResultBytes(size) {
    if (size != 0) std::memcpy(data(), p, size);
  }
  ResultBytes(const ResultBytes&) = delete;
  ResultBytes& operator=(const ResultBytes&) = delete;
  ~ResultBytes() {
    if (bytes_) OPENSSL_cleanse(data(), size_);
  }

  uint8_t* data() { return bytes_data(bytes_); }
  size_t size() const { return size_; }

  // The first `n` (at most size()) bytes as a bytes object of that length.
  py::bytes take(size_t n) {
    if (n == size_) return std::move(bytes_);
    // Shrinking a small object may move it to a smaller block and free the
    // old one as it is (the interpreter's small-object allocator does): copy
    // it out instead, so the area left behind is the one wiped on drop.
    if (offsetof(PyBytesObject, ob_sval) + size_ + 1 <= kSmallObject) return to_py(data(), n);
    // A larger one shrinks where it is and gives its tail back: wiped first.
    OPENSSL_cleanse(data() + n, size_ - n);
    PyObject* o = bytes_.release().ptr();
    if (_PyBytes_Resize(&o, static_cast<Py_ssize_t>(n)) != 0) throw py::error_already_set();
    return py::reinterpret_steal<py::bytes>(o);
  }

 private:
  // Objects up to this size come from the interpreter's own pools.
  static constexpr size_t kSmallObject = 512;

  const size_t size_;
  py::bytes bytes_;
};

// The output of Encrypt or Decrypt: a result with the room the cipher needs
// for `input` bytes, lent to it whole, so the library writes in place and
// never takes, grows or frees that storage. Made only from the input's
// length, so a view too small for it cannot be built.
class CipherOutput {
 public:
  explicit CipherOutput(size_t input) : out_(room_for(input)), lent_(out_.data(), out_.size()) {}

  CNorVekXBuffer& buffer() noexcept { return lent_.output(); }
  size_t size() const noexcept { return static_cast<size_t>(lent_.size()); }

  // The bytes written, as a bytes object of their length.
  py::bytes take() { return out_.take(size()); }

 private:
  static size_t room_for(size_t input) {
    const uint64_t room = CNorVekXBufferView::CipherRoom(input);
    if (room == 0 || room > static_cast<uint64_t>(PY_SSIZE_T_MAX) - sizeof(PyBytesObject))
      throw std::bad_alloc();
    return static_cast<size_t>(room);
  }

  ResultBytes out_;
  CNorVekXBufferView lent_;  // ends before out_ is wiped and released
};

// ---------------------------------------------------------------------------
// SHA-1 hash object, in hashlib's shape.

class Sha1 {
 public:
  Sha1() { norvek_crypto_sha1_Init_KQZP(&state_); }
  Sha1(const Sha1& other) {
    std::lock_guard<std::mutex> hold(other.lock_);
    state_ = other.state_;
  }
  Sha1& operator=(const Sha1&) = delete;
  ~Sha1() { OPENSSL_cleanse(&state_, sizeof state_); }  // holds up to 63 message bytes

  // A long update runs unlocked from the interpreter; the object's own lock
  // keeps two threads updating it at once from mixing their states.
  void update(const Bytes& data) {
    run(data.size(), [&] {
      std::lock_guard<std::mutex> hold(lock_);
      norvek_crypto_sha1_Update_KQZP(&state_, data.data(), data.size());
    });
  }

  py::bytes digest() const {
    norvek_crypto_shastate_st_KQZP final_state;
    {
      std::lock_guard<std::mutex> hold(lock_);
      final_state = state_;  // Final pads in place; this object stays open
    }
    const WipeOnExit wipe(&final_state, sizeof final_state);
    py::bytes out = new_bytes(20);
    norvek_crypto_sha1_Final_KQZP(bytes_data(out), &final_state);
    return out;
  }

  std::string hexdigest() const {
    py::bytes d = digest();
    char text[40];
    uint64_t n = sizeof text;
    norvek_crypto_Bin2Hex(bytes_data(d), 20, text, n);
    return std::string(text, n);
  }

 private:
  norvek_crypto_shastate_st_KQZP state_{};
  mutable std::mutex lock_;
};

// ---------------------------------------------------------------------------
// Operations

py::bytes hmac_sha1(const Bytes& key, const Bytes& msg) {
  py::bytes out = new_bytes(20);
  uint8_t* md = bytes_data(out);
  run(msg.size() + key.size(),
      [&] { norvek_crypto_hmac_sha1_KQZP(msg.data(), msg.size(), key.data(), key.size(), md); });
  return out;
}

CNorVekXBuffer signature_of(const Bytes& data) {
  const CNorVekXBufferView in = data.view();
  return run(data.size(), [&] { return CNorVekXCryptoHelper::SignData(in.input()); });
}

py::bytes sign(const Bytes& data) { return to_py(signature_of(data)); }

bool verify_signature(const Bytes& data, const Bytes& signature) {
  const CNorVekXBuffer expected = signature_of(data);
  // The length is public; the bytes are compared in constant time.
  return signature.size() == expected.m_nSize &&
         CRYPTO_memcmp(expected.m_pData, signature.data(), signature.size()) == 0;
}

py::bytes encrypt(const Bytes& key, const Bytes& data) {
  const CNorVekXBufferView k = key.view(), in = data.view();
  CipherOutput cipher(data.size());
  const uint64_t n = run(data.size(), [&] {
    return CNorVekXCryptoHelper::Encrypt(k.input(), in.input(), cipher.buffer());
  });
  if (n == 0) raise(g_key_error, "key shorter than 16 bytes");
  return cipher.take();
}

py::bytes decrypt(const Bytes& key, const Bytes& data) {
  const CNorVekXBufferView k = key.view(), in = data.view();
  CipherOutput plain(data.size());
  const uint64_t n = run(data.size(), [&] {
    return CNorVekXCryptoHelper::Decrypt(k.input(), in.input(), plain.buffer());
  });
  // 0 is also the answer for a correct ciphertext of empty data: that one
  // leaves the output empty, a refused ciphertext leaves its length of zeros
  // (a short key leaves the lent room as it was).
  if (n == 0) {
    if (key.size() < 16) raise(g_key_error, "key shorter than 16 bytes");
    if (data.empty() || plain.size() != 0)
      raise(g_decipher_error, "bad padding or ciphertext length");
  }
  return plain.take();
}

enum class ChainOp { kEncrypt, kDecrypt, kUndo };

py::bytes chain(ChainOp op, const py::iterable& indices, const Bytes& data, bool ex) {
  bool over = false;
  Int32List list = to_int32_list(indices, "indices", INT32_MAX, over);
  if (over) raise(PyExc_OverflowError, "indices: more than 2**31 - 1 entries");
  if (op == ChainOp::kUndo) std::reverse(list.begin(), list.end());
  auto call = op == ChainOp::kEncrypt
                  ? (ex ? &CNorVekXCryptoHelper::DynEncryptEx : &CNorVekXCryptoHelper::DynEncrypt)
                  : (ex ? &CNorVekXCryptoHelper::DynDecryptEx : &CNorVekXCryptoHelper::DynDecrypt);
  // One helper per call: an object is not for two threads at once.
  CNorVekXCryptoHelper helper;
  // A refused list leaves the output as it was, which tells it from the 0
  // that an empty input gives.
  const CNorVekXBufferView in = data.view();
  CNorVekXBuffer out(1);
  const uint64_t n = run(data.size(), [&] {
    return (helper.*call)(list.data(), static_cast<int32_t>(list.size()), in.input(), out);
  });
  if (n == 0 && (!data.empty() || out.m_nSize == 1))
    raise(g_list_error, ex ? "table entry below 0" : "table entry outside 0..45");
  return to_py(out);
}

py::bytes transform(const py::int_& row_arg, const Bytes& data, bool reverse) {
  const int32_t row = to_int32(row_arg, "row");
  if (row < 1 || row > 46) raise(g_error, "row outside 1..46");
  const CNorVekXCryptoHelper helper;
  const st_Processor& entry = helper.m_processors[row - 1];
  ResultBytes out(data.data(), data.size());
  uint8_t* p = out.data();
  run(data.size(), [&] { (reverse ? entry.pfnDecrypt : entry.pfnEncrypt)(p, data.size()); });
  return out.take(data.size());
}

py::bytes hotp(const Bytes& data, const py::int_& digits_arg) {
  const int32_t digits = to_int32(digits_arg, "digits");
  const CNorVekXBufferView in = data.view();
  const CNorVekXBuffer code = CNorVekXCryptoHelper::HOTPex(in.input(), CNorVekXBuffer(), digits);
  if (code.m_nSize == 0) raise(g_error, "digits outside 1..12");
  return to_py(code);
}

py::tuple generate_id(const Bytes& tag, const Bytes& version, const Bytes& rawid,
                      const py::iterable& positions_arg) {
  bool over = false;
  const Int32List positions = to_int32_list(positions_arg, "positions", 12, over);
  if (over) raise(g_error, "position count outside 4..12");
  const CNorVekXBufferView t = tag.view(), v = version.view(), r = rawid.view();
  CNorVekXBuffer verify;
  const CNorVekXBuffer id =
      CNorVekXCryptoHelper::GenerateID(t.input(), v.input(), r.input(), verify, positions.data(),
                                       static_cast<int32_t>(positions.size()));
  if (id.m_nSize == 0) raise(g_error, "position count outside 4..12");
  return py::make_tuple(to_py(id), to_py(verify));
}

py::bytes rand_bytes(const py::int_& n_arg) {
  const int32_t n = to_int32(n_arg, "n");
  if (n < 0) raise(PyExc_ValueError, "n must not be negative");
  const CNorVekXBuffer out =
      run(static_cast<size_t>(n), [&] { return CNorVekXCryptoHelper::RandBytes(n); });
  if (out.m_nSize == 0) raise(g_error, "the random source failed");
  return to_py(out);
}

py::bytes hex_encode(const Bytes& data) {
  if (data.size() > (SIZE_MAX >> 2)) throw std::bad_alloc();
  py::bytes out = new_bytes(2 * data.size());
  char* p = reinterpret_cast<char*>(bytes_data(out));
  uint64_t n = 2 * data.size();
  run(data.size(), [&] { norvek_crypto_Bin2Hex(data.data(), data.size(), p, n); });
  return out;
}

py::bytes hex_decode(const Text& text) {
  if (text.size() % 2 != 0) raise(g_error, "malformed hex: odd length");
  // Decoded in place in a copy of the text, then cut to the decoded length.
  ResultBytes out(text.data(), text.size());
  char* p = reinterpret_cast<char*>(out.data());
  uint64_t n = text.size() / 2;
  const int32_t status = run(text.size(), [&] {
    return norvek_crypto_Hex2Bin(p, text.size(), reinterpret_cast<uint8_t*>(p), n);
  });
  if (status != 0) raise(g_error, "malformed hex: not a hex digit");
  return out.take(n);
}

py::bytes base64_encode(const Bytes& data) {
  const uint64_t len = data.size();
  if (len > (SIZE_MAX >> 2)) throw std::bad_alloc();
  uint64_t n = 4 * (len / 3 + (len % 3 != 0 ? 1 : 0));  // exactly E: no terminator written
  py::bytes out = new_bytes(n);
  char* p = reinterpret_cast<char*>(bytes_data(out));
  run(len, [&] { norvek_crypto_base64_encodeKQZP(data.data(), len, p, &n); });
  return out;
}

py::bytes base64_decode(const Text& text) {
  const uint64_t len = text.size();
  ResultBytes out((len + 3) / 4 * 3);
  uint8_t* p = out.data();
  uint64_t n = 0;
  run(len, [&] {
    norvek_crypto_base64_decodeKQZP(reinterpret_cast<const char*>(text.data()), len, p, &n);
  });
  return out.take(n);
}

py::bytes base64_class_encode(const Bytes& data, bool web_safe, bool padded) {
  const NSData out = run(data.size(), [&] {
    if (web_safe) return Codec::webSafeEncodeBytes(data.data(), data.size(), padded);
    if (padded) return Codec::encodeBytes(data.data(), data.size());
    return Codec::PrivateMethods::baseEncode(data.data(), data.size(),
                                             Codec::PrivateMethods::kStandardAlphabet, false);
  });
  // nil answers both failure and empty output; only empty input has the latter.
  if (out.isNil() && !data.empty()) raise(g_error, "input too long to encode");
  return copy_out(out);
}

py::bytes base64_class_decode(const Text& text, bool web_safe) {
  const NSData out = run(text.size(), [&] {
    return web_safe ? Codec::webSafeDecodeBytes(text.data(), text.size())
                    : Codec::decodeBytes(text.data(), text.size());
  });
  if (out.isNil() && !text.empty()) raise(g_error, "malformed Base64");
  return copy_out(out);
}

py::bytes uri_encode(const Bytes& data) {
  // The call takes its input as a non-const buffer, which a view may not be.
  CNorVekXBuffer in = data.buffer();
  std::string out = run(data.size(), [&] { return CNorVekXURL::encodeURIComponent(in); });
  const WipeOnExit wipe(out);
  return to_py(reinterpret_cast<const uint8_t*>(out.data()), out.size());
}

bool is_hex_digit(uint8_t c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

py::bytes uri_decode(const Text& text) {
  // The library stops silently at a zero byte or a malformed escape; here
  // both are errors, so a cut-short result never passes for the whole.
  const uint8_t* s = text.data();
  const size_t n = text.size();
  for (size_t i = 0; i < n; ++i) {
    if (s[i] == 0) raise(g_error, "malformed URI component: zero byte");
    if (s[i] == '%' && (i + 2 >= n || !is_hex_digit(s[i + 1]) || !is_hex_digit(s[i + 2])))
      raise(g_error, "malformed URI component: bad escape");
  }
  std::string in(reinterpret_cast<const char*>(s), n);
  const WipeOnExit wipe(in);
  return to_py(run(n, [&] { return CNorVekXURL::decodeURIComponent(in); }));
}

enum class Bridge { kSystem128, kAes256 };

// The key: a str, or None for nil.
std::optional<std::string> key_text(const std::optional<py::str>& key) {
  if (!key) return std::nullopt;
  Py_ssize_t n = 0;
  const char* s = PyUnicode_AsUTF8AndSize(key->ptr(), &n);
  if (s == nullptr) throw py::error_already_set();
  // Built in place: no temporary copy of the key is left behind.
  return std::optional<std::string>(std::in_place, s, static_cast<size_t>(n));
}

py::bytes bridge(Bridge which, bool encrypting, const Bytes& data,
                 const std::optional<py::str>& key_arg) {
  std::optional<std::string> key = key_text(key_arg);
  const WipeOnExit wipe_key(key ? key->data() : nullptr, key ? key->size() : 0);
  NSString text;
  if (key) {
    if (key->find('\0') != std::string::npos) raise(g_key_error, "key contains a zero character");
    text = NSString::stringWithUTF8String(key->c_str());
  }
  const NSMutableData in = data.object();
  const WipeOnExit wipe_in(in.mutableBytes(), in.length());
  const NSData out = run(data.size(), [&] {
    if (which == Bridge::kSystem128)
      return encrypting ? CNorVekXCryptoHelper::EncryptAESBySystem(in, text)
                        : CNorVekXCryptoHelper::DecryptAESBySystem(in, text);
    return encrypting ? CNorVekXCryptoHelper::AES256Encrypt(in, text)
                      : CNorVekXCryptoHelper::AES256Decrypt(in, text);
  });
  if (out.isNil()) {
    if (key && key->size() > 32) raise(g_key_error, "key longer than 32 UTF-8 bytes");
    if (which == Bridge::kSystem128 && (!key || key->empty()))
      raise(g_key_error, "missing or empty key");
    if (encrypting) raise(g_error, "encryption failed");
    raise(g_decipher_error, "bad padding or ciphertext length");
  }
  return copy_out(out);
}

PyObject* new_exception(py::module_& m, const char* name, PyObject* base, const char* doc) {
  const std::string qualified = std::string("norvek.") + name;
  PyObject* type = PyErr_NewExceptionWithDoc(qualified.c_str(), doc, base, nullptr);
  if (type == nullptr) throw py::error_already_set();
  m.add_object(name, py::handle(type));  // the module keeps a reference too
  return type;
}

}  // namespace

PYBIND11_MODULE(_norvek, m) {
  m.doc() = "The compiled half of the norvek package; import norvek instead.";

  g_error = new_exception(m, "Error", PyExc_ValueError,
                          "The library refused or failed the operation.\n\n"
                          "A ValueError: the input was well typed but the library answered "
                          "failure (an empty buffer, a 0 count or nil).");
  g_decipher_error = new_exception(
      m, "DecipherError", g_error,
      "A ciphertext did not decipher: bad padding, or a length that is not a positive multiple "
      "of 16.\n\nWith a wrong key or a tampered ciphertext this is the usual answer; check the "
      "signature first.");
  g_list_error = new_exception(
      m, "RefusedListError", g_error,
      "A transform chain was refused: a table entry outside 0..45 (below 0 for the Ex forms).");
  g_key_error = new_exception(
      m, "BadKeyError", g_error,
      "The key was refused: shorter than 16 bytes (buffer cipher), longer than 32 UTF-8 bytes, "
      "missing or empty (128-bit system cipher), or holding a zero character.");

  py::class_<Sha1> sha1_class(m, "Sha1",
                              R"(A running SHA-1 digest, in the shape of hashlib's hash objects.

Made by norvek.sha1(). Safe to share between threads: updates of one object
are serialised.

>>> h = norvek.sha1(b"ab")
>>> h.update(b"c")
>>> h.hexdigest()
'a9993e364706816aba3e25717850c26c9cd0d89d'
)");
  sha1_class.attr("__module__") = "norvek";  // so signatures name norvek.Sha1
  sha1_class
      .def("update", &Sha1::update, py::arg("data"),
           "update(data) -> None\n\nAdds bytes to the message.\n\n"
           ">>> h = norvek.sha1(); h.update(b\"abc\")")
      .def("digest", &Sha1::digest,
           "digest() -> bytes\n\nThe 20-byte digest of the bytes so far; the object stays "
           "open.\n\n>>> len(norvek.sha1(b\"abc\").digest())\n20")
      .def("hexdigest", &Sha1::hexdigest,
           "hexdigest() -> str\n\nThe digest as 40 lower-case hex digits.\n\n"
           ">>> norvek.sha1(b\"\").hexdigest()[:8]\n'da39a3ee'")
      .def(
          "copy", [](const Sha1& self) { return Sha1(self); },
          "copy() -> Sha1\n\nAn independent copy of the running state.\n\n"
          ">>> h = norvek.sha1(b\"a\"); c = h.copy(); c.update(b\"bc\")")
      .def_property_readonly(
          "digest_size", [](const Sha1&) { return 20; }, "20")
      .def_property_readonly(
          "block_size", [](const Sha1&) { return 64; }, "64")
      .def_property_readonly(
          "name", [](const Sha1&) { return "sha1"; }, "'sha1'")
      .def("__repr__", [](const Sha1&) { return "<norvek.Sha1 object>"; });

  m.def(
      "sha1",
      [](const Bytes& data) {
        Sha1 h;
        h.update(data);
        return h;
      },
      py::arg("data") = py::bytes(),
      R"(SHA-1 hash object over `data` (sha1.h: norvek_crypto_sha1_*_KQZP).

>>> norvek.sha1(b"abc").hexdigest()
'a9993e364706816aba3e25717850c26c9cd0d89d'
)");

  m.def("hmac_sha1", &hmac_sha1, py::arg("key"), py::arg("msg"),
        R"(HMAC-SHA1 of `msg` under `key`: 20 bytes (hmac_sha1.h).

The same as hmac.digest(key, msg, "sha1").

>>> norvek.hmac_sha1(b"key", b"The quick brown fox jumps over the lazy dog").hex()[:8]
'de7c9b85'
)");
  m.def("sign", &sign, py::arg("data"),
        R"(The signature of `data`: HMAC-SHA1 under the built-in key, 20 bytes (SignData).

>>> len(norvek.sign(b"ciphertext"))
20
)");
  m.def("verify_signature", &verify_signature, py::arg("data"), py::arg("signature"),
        R"(True when `signature` is sign(data); the bytes are compared in constant time.

>>> norvek.verify_signature(b"ciphertext", norvek.sign(b"ciphertext"))
True
)");
  m.def(
      "encrypt", &encrypt, py::arg("key"), py::arg("data"),
      R"(The buffer cipher: AES-128-CBC, built-in IV, PKCS#7, keyed by the first 16 bytes of `key` (Encrypt).

Deterministic and unauthenticated: sign the ciphertext. Empty data gives one
block. Raises BadKeyError for a key shorter than 16 bytes.

>>> len(norvek.encrypt(b"0123456789abcdef", b""))
16
)");
  m.def("decrypt", &decrypt, py::arg("key"), py::arg("data"),
        R"(Undoes encrypt() (Decrypt).

Raises BadKeyError for a key shorter than 16 bytes, DecipherError for bad
padding or a length that is not a positive multiple of 16.

>>> k = b"0123456789abcdef"
>>> norvek.decrypt(k, norvek.encrypt(k, b"payload"))
b'payload'
)");
  m.def(
      "chain_encrypt",
      [](const py::iterable& indices, const Bytes& data, bool ex) {
        return chain(ChainOp::kEncrypt, indices, data, ex);
      },
      py::arg("indices"), py::arg("data"), py::arg("ex") = false,
      R"(Applies the listed transforms (table entries 0..45) in list order (DynEncrypt, DynEncryptEx).

With ex=True each entry is taken modulo 46. Raises RefusedListError for an
entry outside 0..45 (below 0 with ex=True). The length is kept.

>>> norvek.chain_undo([3, 0, 45], norvek.chain_encrypt([3, 0, 45], b"abc"))
b'abc'
)");
  m.def(
      "chain_decrypt",
      [](const py::iterable& indices, const Bytes& data, bool ex) {
        return chain(ChainOp::kDecrypt, indices, data, ex);
      },
      py::arg("indices"), py::arg("data"), py::arg("ex") = false,
      R"(Applies the reverse of each listed transform, still in list order (DynDecrypt, DynDecryptEx).

chain_decrypt(reversed(indices), ...) undoes chain_encrypt(indices, ...);
chain_undo() does that reversal for you.

>>> norvek.chain_decrypt([45, 0, 3], norvek.chain_encrypt([3, 0, 45], b"abc"))
b'abc'
)");
  m.def(
      "chain_undo",
      [](const py::iterable& indices, const Bytes& data, bool ex) {
        return chain(ChainOp::kUndo, indices, data, ex);
      },
      py::arg("indices"), py::arg("data"), py::arg("ex") = false,
      R"(Undoes chain_encrypt(indices, data, ex): DynDecrypt over the reversed list.

>>> norvek.chain_undo([0, 5, 12], norvek.chain_encrypt([0, 5, 12], b"payload"))
b'payload'
)");
  m.def(
      "transform", &transform, py::arg("row"), py::arg("data"), py::arg("reverse") = false,
      R"(Transform `row` (1..46) of the table over `data`, or its reverse (norvek_crypto_enc_<row>, norvek_crypto_dec_<row>).

Raises Error for a row outside 1..46.

>>> norvek.transform(1, norvek.transform(1, b"abc"), reverse=True)
b'abc'
)");
  m.def("hotp", &hotp, py::arg("data"), py::arg("digits"),
        R"(`digits` (1..12) raw bytes of the one-time code of `data` (HOTPex).

Raises Error for digits outside 1..12.

>>> len(norvek.hotp(b"seed", 6))
6
)");
  m.def("generate_id", &generate_id, py::arg("tag"), py::arg("version"), py::arg("rawid"),
        py::arg("positions"),
        R"(tag | version | rawid with the code bytes spliced in at `positions` (GenerateID).

Returns (identifier, code); the code has len(positions) bytes. Raises Error
for a position count outside 4..12.

>>> ident, code = norvek.generate_id(b"T", b"1", b"user42", [0, 2, 4, 6])
>>> len(ident), len(code)
(12, 4)
)");
  m.def("rand_bytes", &rand_bytes, py::arg("n"),
        R"(max(n, 3) bytes from the platform's secure random source (RandBytes).

Raises ValueError for a negative n, Error if the source fails.

>>> len(norvek.rand_bytes(16))
16
)");
  m.def("hex_encode", &hex_encode, py::arg("data"),
        R"(Lower-case hex of `data` (norvek_crypto_Bin2Hex).

>>> norvek.hex_encode(b"\x01\xab")
b'01ab'
)");
  m.def("hex_decode", &hex_decode, py::arg("text"),
        R"(Bytes of hex `text` (a str or bytes-like), either case (norvek_crypto_Hex2Bin).

Raises Error for an odd length or a non-hex digit.

>>> norvek.hex_decode("01AB")
b'\x01\xab'
)");
  m.def("base64_encode", &base64_encode, py::arg("data"),
        R"(Base64 of `data`, standard alphabet, padded (norvek_crypto_base64_encodeKQZP).

>>> norvek.base64_encode(b"abcd")
b'YWJjZA=='
)");
  m.def("base64_decode", &base64_decode, py::arg("text"),
        R"(The plain, lenient Base64 decoder (norvek_crypto_base64_decodeKQZP).

A character outside the alphabet reads as '/'; decoding stops at a zero
character or after a padded group. It never fails: use base64_class_decode
for a strict decoder.

>>> norvek.base64_decode("YWJjZA==")
b'abcd'
)");
  m.def("base64_class_encode", &base64_class_encode, py::arg("data"), py::arg("web_safe") = false,
        py::arg("padded") = true,
        R"(Base64 through the codec class (NorVekXCryptoBase64KQZP), standard or web-safe alphabet.

>>> norvek.base64_class_encode(b"\xfb\xff", web_safe=True, padded=False)
b'-_8'
)");
  m.def("base64_class_decode", &base64_class_decode, py::arg("text"), py::arg("web_safe") = false,
        R"(The strict Base64 decoder of the codec class (NorVekXCryptoBase64KQZP).

Whitespace is skipped; the standard alphabet needs its padding, the web-safe
one takes it or not. Raises Error for anything else outside the alphabet,
misplaced padding or non-zero trailing bits. Empty text gives b"".

>>> norvek.base64_class_decode("-_8", web_safe=True)
b'\xfb\xff'
)");
  m.def(
      "uri_encode", &uri_encode, py::arg("data"),
      R"(Percent-escapes every byte but A-Z a-z 0-9 - _ . ! ~ * ' ( ) (CNorVekXURL::encodeURIComponent).

>>> norvek.uri_encode(b"a b/c")
b'a%20b%2Fc'
)");
  m.def("uri_decode", &uri_decode, py::arg("text"),
        R"(Undoes %XX escapes; '+' stays '+' (CNorVekXURL::decodeURIComponent).

Raises Error for a '%' without two hex digits or a zero character.

>>> norvek.uri_decode("a%20b%2fc")
b'a b/c'
)");
  const char* bridge_note =
      "\n\nThrough the platform cipher service: CBC, zero IV, PKCS#7, keyed by the UTF-8 bytes "
      "of `key` zero-extended. Raises BadKeyError for a key over 32 UTF-8 bytes";
  m.def(
      "system_aes128_encrypt",
      [](const Bytes& data, const std::optional<py::str>& key) {
        return bridge(Bridge::kSystem128, true, data, key);
      },
      py::arg("data"), py::arg("key"),
      (std::string("AES-128 encryption of `data` (EncryptAESBySystem).") + bridge_note +
       " or a None or empty key. Empty data comes back as it is.\n\n"
       ">>> len(norvek.system_aes128_encrypt(b\"abc\", \"secret\"))\n16\n")
          .c_str());
  m.def(
      "system_aes128_decrypt",
      [](const Bytes& data, const std::optional<py::str>& key) {
        return bridge(Bridge::kSystem128, false, data, key);
      },
      py::arg("data"), py::arg("key"),
      (std::string("Undoes system_aes128_encrypt (DecryptAESBySystem).") + bridge_note +
       " or a None or empty key, DecipherError for a ciphertext that does not decipher.\n\n"
       ">>> c = norvek.system_aes128_encrypt(b\"abc\", \"secret\")\n"
       ">>> norvek.system_aes128_decrypt(c, \"secret\")\nb'abc'\n")
          .c_str());
  m.def(
      "aes256_encrypt",
      [](const Bytes& data, const std::optional<py::str>& key) {
        return bridge(Bridge::kAes256, true, data, key);
      },
      py::arg("data"), py::arg("key"),
      (std::string("AES-256 encryption of `data` (AES256Encrypt).") + bridge_note +
       "; None or \"\" is 32 zero bytes.\n\n"
       ">>> len(norvek.aes256_encrypt(b\"\", None))\n16\n")
          .c_str());
  m.def(
      "aes256_decrypt",
      [](const Bytes& data, const std::optional<py::str>& key) {
        return bridge(Bridge::kAes256, false, data, key);
      },
      py::arg("data"), py::arg("key"),
      (std::string("Undoes aes256_encrypt (AES256Decrypt).") + bridge_note +
       ", DecipherError for a ciphertext that does not decipher.\n\n"
       ">>> norvek.aes256_decrypt(norvek.aes256_encrypt(b\"abc\", \"k\"), \"k\")\nb'abc'\n")
          .c_str());

  m.attr("RELEASE_GIL_BYTES") = kReleaseGilBytes;
}
