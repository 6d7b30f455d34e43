// Input, output and failure reporting for the norvek tool.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "norvek/buffer.h"

namespace norvek_tool {

using Bytes = std::vector<uint8_t>;

// Exit statuses.
constexpr int kExitFailure = 1;  // the operation refused or failed
constexpr int kExitUsage = 2;    // the command line is wrong

// Streaming commands work through their input in pieces of this many bytes,
// a multiple of 12 so that hex pairs, Base64 byte triples and character
// quads never straddle two pieces.
constexpr size_t kPiece = 192 * 1024;

// Thrown by commands; main prints "norvek: <what>" on one line and exits
// with `status`.
struct ToolError : std::runtime_error {
  ToolError(int status, const std::string& message) : std::runtime_error(message), status(status) {}
  int status;
};

[[noreturn]] void fail(const std::string& message);   // status 1
[[noreturn]] void usage(const std::string& message);  // status 2

// Where bytes go, in order; finish() ends the data. A sink dropped without
// finish() has failed and leaves no trace of what it was given.
class Sink {
 public:
  Sink() = default;
  Sink(const Sink&) = delete;
  Sink& operator=(const Sink&) = delete;
  virtual ~Sink() = default;
  virtual void write(const uint8_t* data, size_t size) = 0;
  virtual void finish() = 0;
};

// The input file ("" or "-" for standard input), read binary-safe.
class Input {
 public:
  explicit Input(const std::string& path);  // fails when the file cannot be opened
  Input(const Input&) = delete;
  Input& operator=(const Input&) = delete;
  ~Input();
  size_t read(uint8_t* data, size_t size);  // 0 at the end
  // The size of a regular file, else 0 (then only reading tells).
  size_t size_hint() const;

 private:
  int fd_;
  std::string name_;
};

// Reads the whole input and passes it on in pieces, then finishes `out`.
void pump(Input& in, Sink& out);

// Memory the tool maps for itself: anonymous and private; from 2 MiB on,
// aligned to and asked to be backed by huge pages, so that 64 MiB costs 32
// page faults instead of 16,384 (fresh 4 KiB pages, not the cipher, were
// most of a whole-input command's time). A secret region is wiped before it
// is unmapped, as the library wipes its buffers.
class Region {
 public:
  explicit Region(bool secret) : secret_(secret) {}
  Region(const Region&) = delete;
  Region& operator=(const Region&) = delete;
  ~Region();
  // At least `n` bytes of room, keeping the content; throws std::bad_alloc.
  void reserve(size_t n);
  uint8_t* data = nullptr;
  size_t size = 0;  // bytes in use
  size_t capacity = 0;

 private:
  bool secret_;
};

// The whole input read into `region`: a regular file in one pass into a
// region of its size, anything else growing as it comes.
void read_region(Input& in, Region& region);

// The whole input, read straight into the container the operation takes:
// no copy for a regular file.
Bytes read_all(Input& in);
NorvekCryptoSpace::CNorVekXBuffer read_buffer(const std::string& path);

// Whole-input commands get their results from the library, which takes them
// from malloc: past glibc's mmap threshold each is mapped afresh and faulted
// in 4 KiB at a time (at 64 MiB, 16,000 faults, costing more than the
// cipher). Grows the heap once by room for `bytes` more, advised to take huge
// pages, and keeps it when freed, so that those areas come from there. The
// tool's own allocator policy; nothing is touched, so it costs no memory.
void reserve_heap(size_t bytes);

// Standard output ("" or "-"), or a file written through a temporary file in
// the same folder renamed over it at finish(), so that the file is either
// complete or untouched. A symbolic link is followed: the file it names is
// replaced. An existing device or FIFO is written in place, as standard
// output is: it cannot be rolled back. Standard output gets the bytes as they come, past
// a first piece held back; with `hold`, nothing reaches it before finish()
// (what does not fit in memory waits in an unnamed temporary file), so a
// command that fails late leaves it empty.
class Output final : public Sink {
 public:
  Output(const std::string& path, bool hold);
  ~Output() override;
  void write(const uint8_t* data, size_t size) override;
  void finish() override;

 private:
  void flush();
  void emit(const uint8_t* data, size_t size);
  void open_target();
  void put(const uint8_t* data, size_t size);
  std::string path_, name_, temp_;
  bool to_stdout_, hold_;  // to_stdout_: written in place (standard output, a device, a FIFO)
  int out_fd_;             // where to_stdout_ writes; opened at the first byte or at finish()
  int fd_ = -1;            // the temporary file (-o) or the held bytes' file
  Bytes pending_;
};

// Writes `bytes` whole to `path` as Output does.
void write_all(const Bytes& bytes, const std::string& path);
void write_buffer(const NorvekCryptoSpace::CNorVekXBuffer& buffer, Sink& out);
void write_data(const NSData& data, Sink& out);

// Byte strings in the tool's forms: "raw", "hex" (case-insensitive digits,
// whitespace ignored) or "base64" (standard alphabet, padded, whitespace
// ignored). A malformed text is an operation failure.
// The text may be a key or plaintext: the copies made on the way are wiped.
Bytes decode_form(const Bytes& text, const std::string& form);
Bytes decode_form(const uint8_t* text, size_t size, const std::string& form);
// hex and base64 end with a newline; raw is the bytes as they are.
Bytes encode_form(const Bytes& bytes, const std::string& form);

// Strict hex of a command-line argument; a malformed value is a usage error
// naming `option`.
Bytes hex_argument(const std::string& text, const std::string& option);

// Clears key material before its memory goes back to the allocator.
void wipe(Bytes& bytes);
void wipe(std::string& text);
// Clears a data object's bytes and lets it go: only for one the tool made.
void wipe(NSData& data);

// Bytes cleared however the scope ends: keys, plaintext.
struct Wiped {
  Bytes bytes;
  Wiped() = default;
  Wiped(const Wiped&) = delete;
  Wiped& operator=(const Wiped&) = delete;
  ~Wiped() { wipe(bytes); }
};
// A data object only the tool holds, cleared however the scope ends (unless
// it holds nothing secret).
struct WipedData {
  NSData data;
  explicit WipedData(bool secret = true) : secret_(secret) {}
  WipedData(const WipedData&) = delete;
  WipedData& operator=(const WipedData&) = delete;
  ~WipedData() {
    if (secret_) wipe(data);
  }

 private:
  bool secret_;
};
// Clears the stack below the caller and the vector registers, where keying
// code leaves copies of a key.
void wipe_stack();

NorvekCryptoSpace::CNorVekXBuffer to_buffer(const Bytes& bytes);
Bytes to_bytes(const NorvekCryptoSpace::CNorVekXBuffer& buffer);
Bytes to_bytes(const NSData& data);  // empty for nil
NSData to_data(const Bytes& bytes);  // never nil: empty bytes give an empty object

}  // namespace norvek_tool
