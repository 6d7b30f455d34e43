// Input, output and failure reporting for the norvek tool.
#include "tool_io.h"

#include <fcntl.h>
#include <malloc.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>

#include "operations.h"

using namespace NorvekCryptoSpace;

namespace norvek_tool {

void fail(const std::string& message) { throw ToolError(kExitFailure, message); }
void usage(const std::string& message) { throw ToolError(kExitUsage, message); }

namespace {

std::string system_error(const std::string& what, const std::string& path) {
  return what + " " + path + ": " + std::strerror(errno);
}

bool is_stdio(const std::string& path) { return path.empty() || path == "-"; }

// The path a chain of symbolic links ends at (the path itself when it is no
// link), so that -o replaces the file a link names and keeps the link.
std::string follow_links(std::string path) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    std::string link(static_cast<size_t>(st.st_size) + 1, '\0');
    ssize_t n = ::readlink(path.c_str(), link.data(), link.size());
    if (n <= 0 || static_cast<size_t>(n) >= link.size()) return path;
    link.resize(static_cast<size_t>(n));
    const size_t slash = path.rfind('/');
    if (link.front() == '/' || slash == std::string::npos) {
      path = link;
    } else {
      path.resize(slash + 1);  // a relative link names a file beside the link
      path += link;
    }
  }
  return path;  // a loop: opening it fails with the system's own message
}

// An existing file that is not regular (a device, a FIFO): written in place,
// as standard output is, since renaming a file over it would replace it.
bool is_special(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
}

bool write_fd(int fd, const uint8_t* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    ssize_t n = ::write(fd, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// A malloc area that grows by doubling; large areas grow in place through
// the kernel (mremap), and pages past what is read are never touched.
struct Area {
  uint8_t* data = nullptr;
  size_t size = 0, capacity = 0;
  Area() = default;
  Area(const Area&) = delete;
  Area& operator=(const Area&) = delete;
  ~Area() { std::free(data); }
  void reserve(size_t n) {
    if (n <= capacity) return;
    auto* p = static_cast<uint8_t*>(std::realloc(data, n));
    if (p == nullptr) throw std::bad_alloc();
    data = p;
    capacity = n;
  }
};

// Reads to the end, first into `first` bytes of room.
template <class Room>
void read_into(Input& in, Room& area, size_t first) {
  area.reserve(first);
  for (;;) {
    if (area.size == area.capacity) area.reserve(std::max(2 * area.capacity, kPiece));
    size_t n = in.read(area.data + area.size, area.capacity - area.size);
    if (n == 0) return;
    area.size += n;
  }
}

constexpr size_t kHugePage = size_t{2} << 20;

size_t page_rounded(size_t n) {
  const auto page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
  if (n > SIZE_MAX - kHugePage - page) throw std::bad_alloc();
  return (n + page - 1) / page * page;
}

// A fresh mapping of `size` bytes (a multiple of the page size); from a huge
// page on it starts on a huge page boundary, so that all of it can be one.
uint8_t* map_fresh(size_t size) {
  const bool huge = size >= kHugePage;
  const size_t span = huge ? size + kHugePage : size;
  void* p = ::mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) throw std::bad_alloc();
  auto* base = static_cast<uint8_t*>(p);
  if (!huge) return base;
  const size_t head = (kHugePage - reinterpret_cast<uintptr_t>(base) % kHugePage) % kHugePage;
  if (head != 0) ::munmap(base, head);
  ::munmap(base + head + size, kHugePage - head);
  return base + head;
}

void ask_huge_pages(uint8_t* data, size_t size) {
#ifdef MADV_HUGEPAGE
  if (size >= kHugePage) ::madvise(data, size, MADV_HUGEPAGE);  // a hint: else small pages
#endif
}

// A sanitizer's allocator stands in for glibc's, which the heap room is for.
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || \
    __has_feature(memory_sanitizer)
#define NORVEK_TOOL_OWN_MALLOC 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define NORVEK_TOOL_OWN_MALLOC 1
#endif

// Whether the environment sets glibc's trim threshold or mmap count, which
// the heap room would override: the user's choice stands.
[[maybe_unused]] bool malloc_tuned() {
  const char* tunables = std::getenv("GLIBC_TUNABLES");
  return std::getenv("MALLOC_TRIM_THRESHOLD_") != nullptr ||
         std::getenv("MALLOC_MMAP_MAX_") != nullptr ||
         (tunables != nullptr && (std::strstr(tunables, "glibc.malloc.trim_threshold") != nullptr ||
                                  std::strstr(tunables, "glibc.malloc.mmap_max") != nullptr));
}

Bytes without_whitespace(const uint8_t* text, size_t size) {
  Bytes out;
  out.reserve(size);
  for (size_t i = 0; i < size; ++i)
    if (!std::isspace(text[i])) out.push_back(text[i]);
  return out;
}

}  // namespace

Input::Input(const std::string& path)
    : fd_(STDIN_FILENO), name_(is_stdio(path) ? "standard input" : path) {
  if (is_stdio(path)) return;
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) fail(system_error("cannot open", path));
}

Input::~Input() {
  if (fd_ != STDIN_FILENO) ::close(fd_);
}

size_t Input::read(uint8_t* data, size_t size) {
  for (;;) {
    ssize_t n = ::read(fd_, data, size);
    if (n >= 0) return static_cast<size_t>(n);
    if (errno != EINTR) fail(system_error("cannot read", name_));
  }
}

size_t Input::size_hint() const {
  struct stat st {};
  if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) return 0;
  return static_cast<size_t>(st.st_size);
}

Region::~Region() {
  if (data == nullptr) return;
  if (secret_) explicit_bzero(data, size);
  ::munmap(data, capacity);
}

void Region::reserve(size_t n) {
  if (n <= capacity) return;
  n = page_rounded(n);
  if (data == nullptr) {
    data = map_fresh(n);
  } else {
    // Growing moves the pages, it copies nothing; a secret region's old
    // place is left unmapped, holding nothing.
    void* p = ::mremap(data, capacity, n, MREMAP_MAYMOVE);
    if (p == MAP_FAILED) throw std::bad_alloc();
    data = static_cast<uint8_t*>(p);
  }
  capacity = n;
  ask_huge_pages(data, capacity);
}

void read_region(Input& in, Region& region) {
  read_into(in, region, in.size_hint() + 1);  // a regular file's bytes and the read that ends it
}

void pump(Input& in, Sink& out) {
  Bytes piece(kPiece);
  while (size_t n = in.read(piece.data(), piece.size())) out.write(piece.data(), n);
  out.finish();
}

Bytes read_all(Input& in) {
  Area area;
  read_into(in, area, in.size_hint() + 1);  // a regular file's bytes and the read that ends it
  return Bytes(area.data, area.data + area.size);
}

// One buffer returned by name from every path: the buffer has no move, so
// a second return object would be a copy of the whole input.
CNorVekXBuffer read_buffer(const std::string& path) {
  Input in(path);
  const size_t hint = in.size_hint();
  reserve_heap(2 * hint);  // the input and an input-sized result
  CNorVekXBuffer buffer(hint);
  size_t got = 0;
  while (got < hint) {
    size_t n = in.read(buffer.m_pData + got, hint - got);
    if (n == 0) break;
    got += n;
  }
  if (got < hint) {
    buffer.resize(got);  // the file shrank; shrinking keeps the storage
  } else {
    // A pipe, or a file that grew while being read.
    Area rest;
    read_into(in, rest, kPiece);
    if (rest.size != 0) {
      const uint64_t at = buffer.m_nSize;
      buffer.resize(at + rest.size);
      std::memcpy(buffer.m_pData + at, rest.data, rest.size);
    }
  }
  return buffer;
}

void reserve_heap(size_t bytes) {
#if defined(__GLIBC__) && defined(MADV_HUGEPAGE) && !defined(NORVEK_TOOL_OWN_MALLOC)
  if (bytes < kHugePage || bytes > size_t{INT_MAX} / 2 || malloc_tuned()) return;
  bytes += kHugePage;                  // the allocator's own words, and room to align to huge pages
  mallopt(M_TRIM_THRESHOLD, INT_MAX);  // what is freed stays for the next area
  mallopt(M_MMAP_MAX, 0);              // this one from the heap
  void* area = std::malloc(bytes);
  mallopt(M_MMAP_MAX, 65536);  // glibc's default: later areas beyond the heap's room are mapped
  if (area == nullptr) return;
  auto* base = static_cast<uint8_t*>(area);
  const size_t head = (kHugePage - reinterpret_cast<uintptr_t>(base) % kHugePage) % kHugePage;
  const size_t whole = (bytes - head) / kHugePage * kHugePage;  // head < 2 MiB < bytes
  if (whole != 0) ::madvise(base + head, whole, MADV_HUGEPAGE);
  std::free(area);
#else
  (void)bytes;
#endif
}

Output::Output(const std::string& path, bool hold)
    : path_(is_stdio(path) ? path : follow_links(path)),
      name_(is_stdio(path) ? "standard output" : path),
      to_stdout_(is_stdio(path) || is_special(path_)),
      hold_(hold),
      out_fd_(is_stdio(path) ? STDOUT_FILENO : -1) {
  pending_.reserve(kPiece);
}

Output::~Output() {
  if (fd_ >= 0) ::close(fd_);
  if (out_fd_ > STDERR_FILENO) ::close(out_fd_);
  if (!temp_.empty()) ::unlink(temp_.c_str());
}

void Output::write(const uint8_t* data, size_t size) {
  if (pending_.size() + size <= kPiece) {
    pending_.insert(pending_.end(), data, data + size);
    return;
  }
  flush();
  if (size >= kPiece) {
    emit(data, size);
  } else {
    pending_.assign(data, data + size);
  }
}

void Output::flush() {
  if (!pending_.empty()) emit(pending_.data(), pending_.size());
  pending_.clear();
}

void Output::open_target() {
  if (out_fd_ >= 0) return;
  out_fd_ = ::open(path_.c_str(), O_WRONLY | O_CLOEXEC);
  if (out_fd_ < 0) fail(system_error("cannot open", name_));
}

void Output::put(const uint8_t* data, size_t size) {
  open_target();
  if (!write_fd(out_fd_, data, size)) fail(system_error("cannot write", name_));
}

void Output::emit(const uint8_t* data, size_t size) {
  if (to_stdout_ && !hold_) {
    put(data, size);
    return;
  }
  if (fd_ < 0 && to_stdout_) {
    // Held bytes beyond memory: an unnamed file, gone when closed.
    const char* dir = std::getenv("TMPDIR");
    if (dir == nullptr || *dir == '\0') dir = "/tmp";
    fd_ = ::open(dir, O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd_ < 0) {
      // A file system without unnamed files: name one and unlink it at once.
      std::string temp = std::string(dir) + "/norvek.XXXXXX";
      fd_ = ::mkstemp(temp.data());
      if (fd_ >= 0) ::unlink(temp.c_str());
    }
    if (fd_ < 0) fail(system_error("cannot create a temporary file in", dir));
  } else if (fd_ < 0) {
    std::string temp = path_ + ".XXXXXX";
    fd_ = ::mkstemp(temp.data());
    if (fd_ < 0) fail(system_error("cannot create a temporary file for", path_));
    temp_ = temp;
    mode_t mask = ::umask(0);
    ::umask(mask);
    if (::fchmod(fd_, 0666 & ~mask) != 0) fail(system_error("cannot write", path_));
  }
  if (!write_fd(fd_, data, size))
    fail(system_error("cannot write", to_stdout_ ? "a temporary file" : path_));
}

void Output::finish() {
  if (to_stdout_) {
    open_target();  // a FIFO's reader waits for a writer, even of nothing
    if (fd_ < 0) {
      hold_ = false;
      flush();
      return;
    }
    flush();
    if (::lseek(fd_, 0, SEEK_SET) != 0) fail(system_error("cannot read", "a temporary file"));
    pending_.resize(kPiece);
    for (;;) {
      ssize_t n = ::read(fd_, pending_.data(), pending_.size());
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) fail(system_error("cannot read", "a temporary file"));
      if (n == 0) break;
      put(pending_.data(), static_cast<size_t>(n));
    }
    pending_.clear();
    return;
  }
  if (fd_ < 0) {
    // Nothing written yet: the file still has to exist, empty if need be.
    const uint8_t none = 0;
    emit(&none, 0);
  }
  flush();
  bool ok = ::fsync(fd_) == 0;
  ok = ::close(fd_) == 0 && ok;
  fd_ = -1;
  if (!ok || ::rename(temp_.c_str(), path_.c_str()) != 0) fail(system_error("cannot write", path_));
  temp_.clear();
}

void write_all(const Bytes& bytes, const std::string& path) {
  Output out(path, false);
  out.write(bytes.data(), bytes.size());
  out.finish();
}

void write_buffer(const CNorVekXBuffer& buffer, Sink& out) {
  if (buffer.m_nSize != 0) out.write(buffer.m_pData, buffer.m_nSize);
  out.finish();
}

void write_data(const NSData& data, Sink& out) {
  if (data.length() != 0) out.write(static_cast<const uint8_t*>(data.bytes()), data.length());
  out.finish();
}

Bytes decode_form(const Bytes& text, const std::string& form) {
  return decode_form(text.data(), text.size(), form);
}

Bytes decode_form(const uint8_t* text, size_t size, const std::string& form) {
  if (form == "raw") return Bytes(text, text + size);
  Wiped compact;
  compact.bytes = without_whitespace(text, size);
  if (compact.bytes.empty()) return {};
  if (form == "hex") return hex_decode(compact.bytes);
  WipedData in, out;
  in.data = to_data(compact.bytes);
  out.data = codec_decode(in.data, false, true);
  return to_bytes(out.data);
}

Bytes encode_form(const Bytes& bytes, const std::string& form) {
  if (form == "raw") return bytes;
  CNorVekXBuffer in = to_buffer(bytes);
  Bytes out = to_bytes(form == "hex" ? norvek_crypto_Bin2Hex(in) : norvek_crypto_EncodeBase64(in));
  out.push_back('\n');
  return out;
}

[[gnu::noinline]] void wipe_stack() {
  std::array<uint8_t, 16384> area;  // NOLINT(cppcoreguidelines-pro-type-member-init)
  explicit_bzero(area.data(), area.size());
  asm volatile("" : : "r"(area.data()) : "memory");
#if defined(__x86_64__)
  // The vector registers too, which the string functions use for copies:
  // the lazy binding of the next library call saves them all on the stack.
  if (__builtin_cpu_supports("avx512f"))
    asm volatile(
        "vpxord %%zmm16, %%zmm16, %%zmm16\n vpxord %%zmm17, %%zmm17, %%zmm17\n"
        "vpxord %%zmm18, %%zmm18, %%zmm18\n vpxord %%zmm19, %%zmm19, %%zmm19\n"
        "vpxord %%zmm20, %%zmm20, %%zmm20\n vpxord %%zmm21, %%zmm21, %%zmm21\n"
        "vpxord %%zmm22, %%zmm22, %%zmm22\n vpxord %%zmm23, %%zmm23, %%zmm23\n"
        "vpxord %%zmm24, %%zmm24, %%zmm24\n vpxord %%zmm25, %%zmm25, %%zmm25\n"
        "vpxord %%zmm26, %%zmm26, %%zmm26\n vpxord %%zmm27, %%zmm27, %%zmm27\n"
        "vpxord %%zmm28, %%zmm28, %%zmm28\n vpxord %%zmm29, %%zmm29, %%zmm29\n"
        "vpxord %%zmm30, %%zmm30, %%zmm30\n vpxord %%zmm31, %%zmm31, %%zmm31" ::
            : "memory");
  if (__builtin_cpu_supports("avx"))
    asm volatile("vzeroall" ::
                     : "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5", "xmm6", "xmm7", "xmm8",
                       "xmm9", "xmm10", "xmm11", "xmm12", "xmm13", "xmm14", "xmm15");
  else
    asm volatile(
        "pxor %%xmm0, %%xmm0\n pxor %%xmm1, %%xmm1\n pxor %%xmm2, %%xmm2\n pxor %%xmm3, %%xmm3\n"
        "pxor %%xmm4, %%xmm4\n pxor %%xmm5, %%xmm5\n pxor %%xmm6, %%xmm6\n pxor %%xmm7, %%xmm7\n"
        "pxor %%xmm8, %%xmm8\n pxor %%xmm9, %%xmm9\n pxor %%xmm10, %%xmm10\n pxor %%xmm11, "
        "%%xmm11\n"
        "pxor %%xmm12, %%xmm12\n pxor %%xmm13, %%xmm13\n pxor %%xmm14, %%xmm14\n pxor %%xmm15, "
        "%%xmm15"
        :
        :
        : "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5", "xmm6", "xmm7", "xmm8", "xmm9", "xmm10",
          "xmm11", "xmm12", "xmm13", "xmm14", "xmm15");
#endif
}

Bytes hex_argument(const std::string& text, const std::string& option) {
  // Arguments are keys: the copy of the text is cleared whatever happens.
  Bytes copy(text.begin(), text.end());
  try {
    Bytes bytes = hex_decode(copy);
    wipe(copy);
    return bytes;
  } catch (const ToolError&) {
    wipe(copy);
    usage(option + ": malformed hex");
  }
}

void wipe(Bytes& bytes) {
  if (bytes.empty()) return;  // an empty vector may have no storage at all
  explicit_bzero(bytes.data(), bytes.size());
  bytes.clear();
}

void wipe(std::string& text) {
  explicit_bzero(text.data(), text.size());
  text.clear();
}

void wipe(NSData& data) {
  if (data.length() != 0) explicit_bzero(const_cast<void*>(data.bytes()), data.length());
  data = NSData();
}

CNorVekXBuffer to_buffer(const Bytes& bytes) { return CNorVekXBuffer(bytes.data(), bytes.size()); }

Bytes to_bytes(const CNorVekXBuffer& buffer) {
  return buffer.m_nSize ? Bytes(buffer.m_pData, buffer.m_pData + buffer.m_nSize) : Bytes();
}

Bytes to_bytes(const NSData& data) {
  const auto* p = static_cast<const uint8_t*>(data.bytes());
  return data.length() ? Bytes(p, p + data.length()) : Bytes();
}

NSData to_data(const Bytes& bytes) {
  static const uint8_t kNone = 0;
  return NSData::dataWithBytes(bytes.empty() ? &kNone : bytes.data(), bytes.size());
}

}  // namespace norvek_tool
