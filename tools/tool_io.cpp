// Input, output and failure reporting for the norvek tool.
#include "tool_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

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

// Closes the descriptor when the scope ends, whatever way it ends.
struct Fd {
  int fd;
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
};

void read_fd(int fd, Bytes& out, const std::string& name) {
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
    out.reserve(static_cast<size_t>(st.st_size));
  uint8_t chunk[1 << 16];
  for (;;) {
    ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) fail(system_error("cannot read", name));
    if (n == 0) return;
    out.insert(out.end(), chunk, chunk + n);
  }
}

bool write_fd(int fd, const Bytes& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

Bytes without_whitespace(const Bytes& text) {
  Bytes out;
  out.reserve(text.size());
  for (uint8_t c : text)
    if (!std::isspace(c)) out.push_back(c);
  return out;
}

}  // namespace

Bytes read_all(const std::string& path) {
  Bytes out;
  if (is_stdio(path)) {
    read_fd(STDIN_FILENO, out, "standard input");
    return out;
  }
  Fd in{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
  if (in.fd < 0) fail(system_error("cannot open", path));
  read_fd(in.fd, out, path);
  return out;
}

Bytes decode_form(const Bytes& text, const std::string& form) {
  if (form == "raw") return text;
  Bytes compact = without_whitespace(text);
  if (compact.empty()) return compact;
  return form == "hex" ? hex_decode(compact) : codec_decode(compact, false, true);
}

Bytes encode_form(const Bytes& bytes, const std::string& form) {
  if (form == "raw") return bytes;
  CNorVekXBuffer in = to_buffer(bytes);
  Bytes out = to_bytes(form == "hex" ? norvek_crypto_Bin2Hex(in) : norvek_crypto_EncodeBase64(in));
  out.push_back('\n');
  return out;
}

void write_all(const Bytes& bytes, const std::string& path) {
  if (is_stdio(path)) {
    if (!write_fd(STDOUT_FILENO, bytes)) fail(system_error("cannot write", "standard output"));
    return;
  }
  std::string temp = path + ".XXXXXX";
  Fd out{::mkstemp(temp.data())};
  if (out.fd < 0) fail(system_error("cannot create a temporary file for", path));
  mode_t mask = ::umask(0);
  ::umask(mask);
  bool ok = ::fchmod(out.fd, 0666 & ~mask) == 0 && write_fd(out.fd, bytes) && ::fsync(out.fd) == 0;
  ok = ::close(out.fd) == 0 && ok;
  out.fd = -1;
  if (!ok || ::rename(temp.c_str(), path.c_str()) != 0) {
    std::string message = system_error("cannot write", path);
    ::unlink(temp.c_str());
    fail(message);
  }
}

Bytes hex_argument(const std::string& text, const std::string& option) {
  try {
    return hex_decode(Bytes(text.begin(), text.end()));
  } catch (const ToolError&) {
    usage(option + ": malformed hex");
  }
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
