// The streaming commands over the library's array-level codecs, its URI
// codec taken a piece at a time, and its incremental SHA-1.
#include "streams.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

#include "norvek/norvek_crypto.h"
#include "operations.h"

using namespace NorvekCryptoSpace;

namespace norvek_tool {

namespace {

bool is_hex_digit(uint8_t c) { return std::isxdigit(c) != 0; }

class Stage : public Sink {
 protected:
  explicit Stage(Sink& next) : next_(next) {}
  Sink& next_;
};

// Cuts the input into pieces of kPiece bytes for process(), which may leave
// a short tail of a piece (an escape cut in two) for the next one; the last
// piece, of any length, comes with `last`.
class Pieces : public Stage {
 public:
  void write(const uint8_t* data, size_t size) final {
    while (size != 0) {
      if (held_.empty() && size >= kPiece) {
        const size_t used = process(data, kPiece, false);
        data += used;
        size -= used;
        continue;
      }
      const size_t take = std::min(size, kPiece - held_.size());
      held_.insert(held_.end(), data, data + take);
      data += take;
      size -= take;
      if (held_.size() == kPiece)
        held_.erase(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(
                                                       process(held_.data(), kPiece, false)));
    }
  }
  void finish() final {
    process(held_.data(), held_.size(), true);
    done();
    next_.finish();
  }

 protected:
  explicit Pieces(Sink& next) : Stage(next) { held_.reserve(kPiece); }
  // Answers how many of the `size` bytes it took (all of them when `last`).
  virtual size_t process(const uint8_t* data, size_t size, bool last) = 0;
  virtual void done() {}
  Bytes work_;  // each stage's output area, sized once

 private:
  Bytes held_;
};

class HexEncoder final : public Pieces {
 public:
  HexEncoder(Sink& next, bool newline) : Pieces(next), newline_(newline) {
    work_.resize(2 * kPiece);
  }

 private:
  size_t process(const uint8_t* data, size_t size, bool /*last*/) override {
    uint64_t n = work_.size();
    norvek_crypto_Bin2Hex(data, size, reinterpret_cast<char*>(work_.data()), n);
    next_.write(work_.data(), n);
    return size;
  }
  void done() override {
    if (newline_) next_.write(reinterpret_cast<const uint8_t*>("\n"), 1);
  }
  bool newline_;
};

class HexDecoder final : public Pieces {
 public:
  explicit HexDecoder(Sink& next) : Pieces(next) { work_.resize(kPiece); }

 private:
  // Pieces hold whole pairs, so each decodes on its own; the text is copied
  // to the output area and decoded in place there.
  size_t process(const uint8_t* data, size_t size, bool /*last*/) override {
    if (size % 2 != 0) fail("malformed hex");
    std::memcpy(work_.data(), data, size);
    uint64_t n = size / 2;
    if (norvek_crypto_Hex2Bin(reinterpret_cast<char*>(work_.data()), size, work_.data(), n) != 0)
      fail("malformed hex");
    next_.write(work_.data(), n);
    return size;
  }
};

// Drops whitespace before the next stage, as the input forms do.
class WhitespaceFilter final : public Stage {
 public:
  explicit WhitespaceFilter(std::unique_ptr<Sink> next) : Stage(*next), owned_(std::move(next)) {
    kept_.reserve(kPiece);
  }
  void write(const uint8_t* data, size_t size) override {
    kept_.clear();
    for (size_t i = 0; i < size; ++i)
      if (!std::isspace(data[i])) kept_.push_back(data[i]);
    next_.write(kept_.data(), kept_.size());
  }
  void finish() override { next_.finish(); }

 private:
  std::unique_ptr<Sink> owned_;
  Bytes kept_;
};

class Base64Encoder final : public Pieces {
 public:
  Base64Encoder(Sink& next, bool newline) : Pieces(next), newline_(newline) {
    work_.resize(kPiece / 3 * 4 + 4);
  }

 private:
  // Pieces are whole byte triples, so only the last one can carry padding.
  size_t process(const uint8_t* data, size_t size, bool /*last*/) override {
    uint64_t n = work_.size();
    norvek_crypto_base64_encodeKQZP(data, size, reinterpret_cast<char*>(work_.data()), &n);
    next_.write(work_.data(), n);
    return size;
  }
  void done() override {
    if (newline_) next_.write(reinterpret_cast<const uint8_t*>("\n"), 1);
  }
  bool newline_;
};

class ClassEncoder final : public Pieces {
 public:
  ClassEncoder(Sink& next, bool web_safe, bool padded)
      : Pieces(next), web_safe_(web_safe), padded_(padded) {}

 private:
  // The class encodes each byte triple on its own and pads only a short last
  // group; pieces are whole triples, so the last piece alone can end short.
  // Empty input has no text (the class answers nil for it).
  size_t process(const uint8_t* data, size_t size, bool /*last*/) override {
    const NSData text = codec_encode(data, size, web_safe_, padded_);
    if (text.length() != 0) next_.write(static_cast<const uint8_t*>(text.bytes()), text.length());
    return size;
  }
  bool web_safe_, padded_;
};

class Base64Decoder final : public Pieces {
 public:
  explicit Base64Decoder(Sink& next) : Pieces(next) { work_.resize(kPiece / 4 * 3 + 3); }

 private:
  // Pieces are whole groups of four. The decoder gives three bytes for a
  // group and goes on, or fewer and stops there (a zero character, or
  // padding): past a short piece the rest of the input is read, not decoded.
  size_t process(const uint8_t* data, size_t size, bool last) override {
    if (stopped_) return size;
    uint64_t n = 0;
    norvek_crypto_base64_decodeKQZP(reinterpret_cast<const char*>(data), size, work_.data(), &n);
    next_.write(work_.data(), n);
    if (!last && n < size / 4 * 3) stopped_ = true;
    return size;
  }
  bool stopped_ = false;
};

class UriEncoder final : public Pieces {
 public:
  explicit UriEncoder(Sink& next) : Pieces(next) {}

 private:
  // Each byte escapes on its own.
  size_t process(const uint8_t* data, size_t size, bool /*last*/) override {
    if (size == 0) return 0;
    CNorVekXBuffer piece(data, size);
    const std::string text = CNorVekXURL::encodeURIComponent(piece);
    next_.write(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    return size;
  }
};

class UriDecoder final : public Pieces {
 public:
  explicit UriDecoder(Sink& next) : Pieces(next) {}

 private:
  // Checked as the whole-input operation checks, byte by byte in order; a
  // piece ends before an escape it would cut, which goes with the next one.
  size_t process(const uint8_t* data, size_t size, bool last) override {
    size_t end = size;
    for (size_t i = 0; i < size; ++i) {
      if (data[i] == 0) fail("malformed URI component: zero byte");
      if (data[i] != '%') continue;
      if (!last && i + 2 >= size) {
        end = i;
        break;
      }
      if (i + 2 >= size || !is_hex_digit(data[i + 1]) || !is_hex_digit(data[i + 2]))
        fail("malformed URI component: bad escape");
    }
    if (end == 0) return 0;
    text_.assign(reinterpret_cast<const char*>(data), end);
    write_buffer_bytes(CNorVekXURL::decodeURIComponent(text_));
    return end;
  }
  void write_buffer_bytes(const CNorVekXBuffer& b) {
    if (b.m_nSize != 0) next_.write(b.m_pData, b.m_nSize);
  }
  std::string text_;
};

constexpr size_t kDigest = 20;
constexpr size_t kBlock = 64;

class Sha1Digest : public Stage {
 public:
  explicit Sha1Digest(Sink& next) : Stage(next) { norvek_crypto_sha1_Init_KQZP(&state_); }
  void write(const uint8_t* data, size_t size) override {
    norvek_crypto_sha1_Update_KQZP(&state_, data, size);
  }
  void finish() override {
    uint8_t md[kDigest];
    norvek_crypto_sha1_Final_KQZP(md, &state_);
    next_.write(md, sizeof md);
    next_.finish();
  }

 protected:
  norvek_crypto_shastate_st_KQZP state_{};
};

// HMAC (RFC 2104) over the incremental SHA-1: the inner hash takes the
// message as it comes, the outer one its digest at the end.
class HmacSha1Digest final : public Sha1Digest {
 public:
  HmacSha1Digest(Sink& next, const uint8_t* key, size_t size) : Sha1Digest(next) {
    uint8_t block[kBlock] = {};
    if (size > kBlock)
      norvek_crypto_sha1_KQZP(key, size, block);
    else if (size != 0)
      std::memcpy(block, key, size);
    uint8_t pad[kBlock];
    for (size_t i = 0; i < kBlock; ++i) pad[i] = block[i] ^ 0x36;
    norvek_crypto_sha1_Update_KQZP(&state_, pad, kBlock);
    for (size_t i = 0; i < kBlock; ++i) outer_pad_[i] = block[i] ^ 0x5c;
    wipe(block, sizeof block);
    wipe(pad, sizeof pad);
  }
  ~HmacSha1Digest() override {
    wipe(outer_pad_, sizeof outer_pad_);
    wipe(&state_, sizeof state_);
  }
  void finish() override {
    uint8_t inner[kDigest];
    norvek_crypto_sha1_Final_KQZP(inner, &state_);
    norvek_crypto_sha1_Init_KQZP(&state_);
    norvek_crypto_sha1_Update_KQZP(&state_, outer_pad_, kBlock);
    norvek_crypto_sha1_Update_KQZP(&state_, inner, kDigest);
    uint8_t md[kDigest];
    norvek_crypto_sha1_Final_KQZP(md, &state_);
    next_.write(md, sizeof md);
    next_.finish();
  }

 private:
  // Key material must not linger after the command.
  static void wipe(void* p, size_t n) { explicit_bzero(p, n); }
  uint8_t outer_pad_[kBlock];
};

}  // namespace

std::unique_ptr<Sink> hex_encoder(Sink& next, bool newline) {
  return std::make_unique<HexEncoder>(next, newline);
}
std::unique_ptr<Sink> hex_decoder(Sink& next) { return std::make_unique<HexDecoder>(next); }
std::unique_ptr<Sink> hex_form_decoder(Sink& next) {
  return std::make_unique<WhitespaceFilter>(hex_decoder(next));
}
std::unique_ptr<Sink> base64_encoder(Sink& next, bool newline) {
  return std::make_unique<Base64Encoder>(next, newline);
}
std::unique_ptr<Sink> base64_decoder(Sink& next) { return std::make_unique<Base64Decoder>(next); }
std::unique_ptr<Sink> class_encoder(Sink& next, bool web_safe, bool padded) {
  return std::make_unique<ClassEncoder>(next, web_safe, padded);
}
std::unique_ptr<Sink> uri_encoder(Sink& next) { return std::make_unique<UriEncoder>(next); }
std::unique_ptr<Sink> uri_decoder(Sink& next) { return std::make_unique<UriDecoder>(next); }
std::unique_ptr<Sink> sha1_digest(Sink& next) { return std::make_unique<Sha1Digest>(next); }
std::unique_ptr<Sink> hmac_sha1_digest(Sink& next, const Bytes& key) {
  return std::make_unique<HmacSha1Digest>(next, key.data(), key.size());
}
std::unique_ptr<Sink> sign_digest(Sink& next) {
  // Read at each run, as the library reads it at each call.
  return std::make_unique<HmacSha1Digest>(next, NORVEK_SIGN_DATA_KEY, sizeof NORVEK_SIGN_DATA_KEY);
}

std::unique_ptr<Sink> output_form(const std::string& form, Sink& next) {
  if (form == "hex") return hex_encoder(next, true);
  if (form == "base64") return base64_encoder(next, true);
  return nullptr;
}

}  // namespace norvek_tool
