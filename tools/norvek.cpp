// norvek: the library's schemes from the command line, for peers that must
// agree with it byte for byte.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <list>
#include <memory>
#include <new>
#include <optional>
#include <string>

#include "norvek/norvek_crypto.h"
#include "operations.h"
#include "streams.h"
#include "tool_io.h"
#include "vectors.h"

using namespace norvek_tool;
using NorvekCryptoSpace::CNorVekXBuffer;
using NorvekCryptoSpace::CNorVekXBufferView;

namespace {

// The streaming commands build their stage in front of the output's.
using StreamOp = std::function<std::unique_ptr<Sink>(Sink& next)>;
// The whole-input commands take the input in the container their library
// call takes, and answer the result's bytes.
using BufferOp = std::function<void(CNorVekXBuffer& in, Sink& out)>;
using DataOp = std::function<NSData(const NSData& in)>;

// Options every command that reads input and writes output shares.
struct Io {
  std::string file, output, in_form = "raw", out_form;
};

// Stable addresses for the option variables CLI11 writes into.
std::list<Io> g_io;

std::vector<int32_t> parse_list(const std::string& text, const std::string& option) {
  std::vector<int32_t> values;
  if (text.empty()) return values;
  size_t start = 0;
  for (;;) {
    size_t end = text.find(',', start);
    if (end == std::string::npos) end = text.size();
    int32_t value = 0;
    const char* first = text.data() + start;
    const char* last = text.data() + end;
    auto [ptr, ec] = std::from_chars(first, last, value);
    if (first == last || ec != std::errc() || ptr != last)
      usage(std::string(option)
                .append(": not a comma-separated list of 32-bit integers: ")
                .append(text));
    values.push_back(value);
    if (end == text.size()) return values;
    start = end + 1;
  }
}

CLI::App* leaf(CLI::App* parent, const std::string& name, const std::string& about,
               const std::string& example) {
  CLI::App* cmd = parent->add_subcommand(name, about);
  cmd->footer("Example:\n  " + example);
  return cmd;
}

Io& add_io(CLI::App* cmd, const std::string& out_form, bool takes_input = true) {
  Io& io = g_io.emplace_back();
  io.out_form = out_form;
  if (takes_input) {
    cmd->add_option("file", io.file, "input file (default or -: standard input)");
    cmd->add_option("--in", io.in_form, "input form")
        ->check(CLI::IsMember({"raw", "hex", "base64"}))
        ->capture_default_str();
  }
  cmd->add_option("-o,--output", io.output, "output file (default or -: standard output)");
  cmd->add_option("--out", io.out_form, "output form")
      ->check(CLI::IsMember({"raw", "hex", "base64"}))
      ->capture_default_str();
  return io;
}

// Pieces of the input through `op` to the output, in constant memory.
// `may_fail`: the command can refuse its input after output has begun, so
// standard output gets nothing until the end (a failure leaves it empty).
void run_stream(const Io& io, const StreamOp& op, bool may_fail) {
  Input in(io.file);
  const bool hex_in = io.in_form == "hex";
  Output out(io.output, may_fail || hex_in);
  std::unique_ptr<Sink> form = output_form(io.out_form, out);
  std::unique_ptr<Sink> stage = op(form ? *form : out);
  if (io.in_form == "raw") return pump(in, *stage);
  if (hex_in) {
    std::unique_ptr<Sink> text = hex_form_decoder(*stage);
    return pump(in, *text);
  }
  // Base64 text goes to the strict class decoder, which takes it whole.
  Bytes bytes = decode_form(read_all(in), io.in_form);
  stage->write(bytes.data(), bytes.size());
  stage->finish();
}

CNorVekXBuffer whole_buffer(const Io& io) {
  if (io.in_form == "raw") return read_buffer(io.file);
  Input file(io.file);
  return to_buffer(decode_form(read_all(file), io.in_form));
}

void run_buffer(const Io& io, const BufferOp& op) {
  // Built in place: the buffer has no move, and a copy would double the input.
  CNorVekXBuffer in = whole_buffer(io);
  Output out(io.output, false);
  std::unique_ptr<Sink> form = output_form(io.out_form, out);
  op(in, form ? *form : out);
}

// The whole input in its bytes: the region it was read into, or for the text
// forms the decoded copy. A secret one is wiped, in either form, when it goes.
class WholeInput {
 public:
  WholeInput(const Io& io, bool secret) : text_(secret), raw_(io.in_form == "raw") {
    {
      Input file(io.file);
      read_region(file, text_);
    }
    if (!raw_) decoded_.bytes = decode_form(text_.data, text_.size, io.in_form);
  }
  uint8_t* data() { return raw_ ? text_.data : decoded_.bytes.data(); }
  size_t size() const { return raw_ ? text_.size : decoded_.bytes.size(); }

 private:
  Region text_;
  Wiped decoded_;  // always wiped: the text forms' copies
  bool raw_;
};

// The buffer cipher reads the input where it was read to and writes into
// the tool's own region: nothing is copied or zero-filled first. Plaintext
// on either side, in any input form, is wiped before its memory goes; the
// input goes before the output is written.
void run_cipher(const Io& io, std::string& key_hex, bool encrypt) {
  Region result(!encrypt);
  {
    WholeInput in(io, encrypt);
    uint8_t* data = in.data();
    const size_t size = in.size();
    Wiped key;
    key.bytes = hex_argument(key_hex, "--key-hex");
    wipe(key_hex);
    result.reserve(CNorVekXBufferView::CipherRoom(size));
    result.size = encrypt ? buffer_encrypt(data, size, key.bytes, result.data)
                          : buffer_decrypt(data, size, key.bytes, result.data);
    wipe_stack();  // the hex decoder's and the cipher's copies
  }
  Output out(io.output, false);
  std::unique_ptr<Sink> form = output_form(io.out_form, out);
  Sink& sink = form ? *form : out;
  if (result.size != 0) sink.write(result.data, result.size);
  sink.finish();
}

// The bridge and the codec class read the input where it was read to, lent
// to the library as a data object. Plaintext on either side is wiped before
// its memory goes: the input before the output is written, a secret result
// after it, or when writing fails.
void run_data(const Io& io, const DataOp& op, bool secret_result) {
  WipedData result(secret_result);
  {
    WholeInput input(io, true);
    uint8_t* data = input.data();
    const size_t size = input.size();
    reserve_heap(size + 16);  // the result: the input and a padding block at most
    // Empty input is an object of its own, never lent memory that may be null.
    const NSData in = size != 0 ? NSData::dataWithBytesNoCopy(data, size, false) : to_data(Bytes());
    result.data = op(in);
    // A result that is the input itself must not outlive the memory it lends.
    if (result.data == in && size != 0) result.data = NSData::dataWithBytes(data, size);
  }
  Output out(io.output, false);
  std::unique_ptr<Sink> form = output_form(io.out_form, out);
  write_data(result.data, form ? *form : out);
}

CLI::App* command(CLI::App* parent, const std::string& name, const std::string& about,
                  const std::string& example, const std::string& out_form,
                  const std::function<void(const Io&)>& run) {
  CLI::App* cmd = leaf(parent, name, about, example);
  Io& io = add_io(cmd, out_form);
  cmd->callback([&io, run] { run(io); });
  return cmd;
}

std::function<void(const Io&)> streaming(const StreamOp& op, bool may_fail = false) {
  return [op, may_fail](const Io& io) { run_stream(io, op, may_fail); };
}

std::function<void(const Io&)> whole(const BufferOp& op) {
  return [op](const Io& io) { run_buffer(io, op); };
}

CLI::App* group(CLI::App& app, const std::string& name, const std::string& about,
                const std::string& example) {
  CLI::App* cmd = leaf(&app, name, about, example);
  cmd->require_subcommand(1);
  return cmd;
}

void add_codecs(CLI::App& app) {
  CLI::App* hex = group(app, "hex", "Hexadecimal (lower case out, either case in)",
                        "printf 'hi' | norvek hex encode | norvek hex decode");
  command(hex, "encode", "Bytes to hex", "printf 'hi' | norvek hex encode", "raw",
          streaming([](Sink& next) { return hex_encoder(next); }));
  command(hex, "decode", "Hex to bytes; a malformed text fails",
          "printf '6869' | norvek hex decode", "raw", streaming(hex_decoder, true));

  CLI::App* b64 =
      group(app, "base64", "Base64: plain (lenient decoder) or the codec class (strict)",
            "printf 'hi' | norvek base64 encode --web-safe | norvek base64 decode --web-safe");
  for (bool encode : {true, false}) {
    struct Flags {
      bool web_safe = false, no_padding = false, strict = false;
    };
    auto flags = std::make_shared<Flags>();  // shared with the callback
    CLI::App* cmd =
        command(b64, encode ? "encode" : "decode",
                encode ? "Bytes to Base64" : "Base64 to bytes (plain: never fails; class: strict)",
                encode ? "printf 'hi' | norvek base64 encode --web-safe --no-padding"
                       : "printf 'aGk=' | norvek base64 decode --class",
                "raw", [flags, encode](const Io& io) {
                  const bool plain = !flags->web_safe && !flags->no_padding && !flags->strict;
                  const bool padded = !flags->no_padding;
                  if (encode)
                    return run_stream(
                        io,
                        [plain, flags, padded](Sink& next) {
                          return plain ? base64_encoder(next)
                                       : class_encoder(next, flags->web_safe, padded);
                        },
                        false);
                  if (plain) return run_stream(io, base64_decoder, false);
                  run_data(
                      io,
                      [flags, padded](const NSData& in) {
                        return codec_decode(in, flags->web_safe, padded);
                      },
                      true);
                });
    cmd->add_flag("--web-safe", flags->web_safe, "web-safe alphabet ('-' and '_'), codec class");
    cmd->add_flag("--no-padding", flags->no_padding,
                  encode ? "no '=' padding, codec class"
                         : "padding optional, codec class (always optional when web-safe)");
    cmd->add_flag("--class", flags->strict, "the codec class with the standard alphabet, padded");
  }

  CLI::App* uri = group(app, "uri", "URI component escaping",
                        "printf 'a b' | norvek uri encode | norvek uri decode");
  command(uri, "encode", "Escape every byte but A-Z a-z 0-9 - _ . ! ~ * ' ( )",
          "printf 'a b&c' | norvek uri encode", "raw", streaming(uri_encoder));
  command(uri, "decode", "Undo %XX escapes; a bad escape or a zero byte fails",
          "printf 'a%%20b' | norvek uri decode", "raw", streaming(uri_decoder, true));
}

void add_digests(CLI::App& app) {
  command(&app, "sha1", "SHA-1 digest", "norvek sha1 file.bin", "hex", streaming(sha1_digest));
  auto key = std::make_shared<std::string>();
  CLI::App* hmac = command(&app, "hmac-sha1", "HMAC-SHA1 digest",
                           "printf 'msg' | norvek hmac-sha1 --key-hex 6b6579", "hex",
                           // The key is read once the input is open, as the other commands do.
                           streaming([key](Sink& next) {
                             Bytes k = hex_argument(*key, "--key-hex");
                             std::unique_ptr<Sink> digest = hmac_sha1_digest(next, k);
                             wipe(k);
                             wipe(*key);
                             wipe_stack();
                             return digest;
                           }));
  hmac->add_option("--key-hex", *key, "key bytes in hex (any length, may be empty)")->required();
  command(&app, "sign", "Signature (HMAC-SHA1 under the built-in key)", "norvek sign request.bin",
          "hex", streaming(sign_digest));

  auto count = std::make_shared<int32_t>(0);
  CLI::App* rnd =
      leaf(&app, "rand", "N bytes from the secure random source (at least 3)", "norvek rand 16");
  rnd->add_option("N", *count, "byte count")->required()->check(CLI::Range(0, INT32_MAX));
  Io& io = add_io(rnd, "hex", false);
  rnd->callback(
      [&io, count] { write_all(encode_form(rand_bytes(*count), io.out_form), io.output); });

  auto digits = std::make_shared<int32_t>(0);
  CLI::App* hotp_cmd = command(
      &app, "hotp", "One-time code (HOTPex) of the input", "printf 'msg' | norvek hotp --digits 6",
      "hex",
      whole([digits](CNorVekXBuffer& in, Sink& out) { write_buffer(hotp(in, *digits), out); }));
  hotp_cmd->add_option("--digits", *digits, "code length, 1..12 (others fail)")->required();

  struct IdArgs {
    std::string tag, version, rawid, positions;
  };
  auto id = std::make_shared<IdArgs>();
  CLI::App* gen =
      leaf(&app, "genid", "Identifier with the one-time code spliced in; prints it, then the code",
           "norvek genid --tag 54 --version 01 --rawid 0a0b0c0d0e0f --positions 3,5,7,9");
  gen->add_option("--tag", id->tag, "tag bytes in hex (default: none)");
  gen->add_option("--version", id->version, "version bytes in hex (default: none)");
  gen->add_option("--rawid", id->rawid, "raw identifier bytes in hex (default: none)");
  gen->add_option("--positions", id->positions,
                  "output positions of the code bytes, 4..12 of them (others fail)")
      ->required();
  Io& gen_io = g_io.emplace_back();
  gen_io.out_form = "hex";
  gen->add_option("-o,--output", gen_io.output, "output file (default or -: standard output)");
  gen->add_option("--out", gen_io.out_form, "form of both lines")
      ->check(CLI::IsMember({"hex", "base64"}))
      ->capture_default_str();
  gen->callback([id, &gen_io] {
    Identifier r =
        genid(hex_argument(id->tag, "--tag"), hex_argument(id->version, "--version"),
              hex_argument(id->rawid, "--rawid"), parse_list(id->positions, "--positions"));
    Bytes text = encode_form(r.id, gen_io.out_form), code = encode_form(r.verify, gen_io.out_form);
    text.insert(text.end(), code.begin(), code.end());
    write_all(text, gen_io.output);
  });
}

void add_ciphers(CLI::App& app) {
  for (bool encrypt : {true, false}) {
    auto key = std::make_shared<std::string>();
    CLI::App* cmd = command(
        &app, encrypt ? "encrypt" : "decrypt",
        encrypt ? "Buffer cipher: AES-128-CBC, built-in IV, PKCS#7 (deterministic, unauthenticated)"
                : "Undo the buffer cipher; bad padding or a ragged length fails",
        encrypt ? "norvek encrypt --key-hex 000102030405060708090a0b0c0d0e0f plain.bin -o c.bin"
                : "norvek decrypt --key-hex 000102030405060708090a0b0c0d0e0f c.bin",
        "raw", [key, encrypt](const Io& io) { run_cipher(io, *key, encrypt); });
    cmd->add_option("--key-hex", *key, "key in hex; its first 16 bytes are used, fewer fail")
        ->required();
  }

  struct BridgeCommand {
    const char* name;
    const char* about;
    Bridge which;
  };
  for (const BridgeCommand& b :
       {BridgeCommand{"system-aes128",
                      "AES-128-CBC, zero IV, PKCS#7 through the platform cipher; "
                      "empty input comes back as it is",
                      Bridge::kSystem128},
        BridgeCommand{"aes256", "AES-256-CBC, zero IV, PKCS#7 through the platform cipher",
                      Bridge::kAes256}}) {
    CLI::App* grp = group(app, b.name, b.about,
                          std::string("printf 'hi' | norvek ") + b.name +
                              " encrypt --key k | norvek " + b.name + " decrypt --key k");
    for (bool encrypt : {true, false}) {
      struct KeyArg {
        std::string text;
        CLI::Option* option = nullptr;
      };
      auto key = std::make_shared<KeyArg>();
      Bridge which = b.which;
      CLI::App* cmd = command(
          grp, encrypt ? "encrypt" : "decrypt", encrypt ? "Encipher" : "Decipher",
          std::string("norvek ") + b.name + (encrypt ? " encrypt" : " decrypt") +
              " --key 'secret key' " + (encrypt ? "plain.bin -o c.bin" : "c.bin"),
          "raw", [key, which, encrypt](const Io& io) {
            std::optional<std::string> text;
            if (key->option->count() > 0) text = key->text;
            run_data(
                io, [&](const NSData& in) { return bridge(which, encrypt, in, text); }, !encrypt);
          });
      key->option = cmd->add_option(
          "--key", key->text,
          which == Bridge::kSystem128
              ? "key text, UTF-8 up to 32 bytes, first 16 used; absent or empty fails"
              : "key text, UTF-8 up to 32 bytes, zero-extended; absent is all zeros");
    }
  }
}

void add_transforms(CLI::App& app) {
  CLI::App* grp =
      group(app, "chain", "Chains of the 46 byte transforms (obfuscation, not encryption)",
            "printf 'hi' | norvek chain encrypt --list 3,0,45 | norvek chain undo --list 3,0,45");
  struct ChainCommand {
    const char* name;
    const char* about;
    ChainOp op;
  };
  for (const ChainCommand& c :
       {ChainCommand{"encrypt", "Apply the listed transforms in list order", ChainOp::kEncrypt},
        ChainCommand{"decrypt", "Apply the reverses of the listed transforms in list order",
                     ChainOp::kDecrypt},
        ChainCommand{"undo", "Undo 'chain encrypt' under the same list (reverses it for you)",
                     ChainOp::kUndo}}) {
    struct ChainArgs {
      std::string list;
      bool ex = false;
    };
    auto args = std::make_shared<ChainArgs>();
    ChainOp op = c.op;
    CLI::App* cmd = command(grp, c.name, c.about,
                            std::string("norvek chain ") + c.name + " --list 3,0,45 data.bin",
                            "raw", whole([args, op](CNorVekXBuffer& in, Sink& out) {
                              chain(op, args->ex, parse_list(args->list, "--list"), in);
                              write_buffer(in, out);
                            }));
    cmd->add_option("--list", args->list,
                    "table entries, comma-separated (0..45, or any >= 0 with --ex)")
        ->required();
    cmd->add_flag("--ex", args->ex, "the Ex form: each value taken modulo 46");
  }

  struct RowArgs {
    int row = 0;
    bool reverse = false;
  };
  auto row = std::make_shared<RowArgs>();
  CLI::App* one = command(&app, "transform", "One byte transform of the table, or its reverse",
                          "norvek transform --row 7 data.bin", "raw",
                          whole([row](CNorVekXBuffer& in, Sink& out) {
                            transform(row->row, row->reverse, in.m_pData, in.m_nSize);
                            write_buffer(in, out);
                          }));
  one->add_option("--row", row->row, "transform number")->required()->check(CLI::Range(1, 46));
  one->add_flag("--reverse", row->reverse, "apply the reverse transform");
}

// One answer line per request line, flushed at once, so a peer can talk to
// one long-lived process; a malformed line gets an error line and the next
// one is read.
void batch() {
  char* line = nullptr;
  size_t capacity = 0;
  uint64_t number = 0;
  ssize_t n;
  while ((n = ::getline(&line, &capacity, stdin)) >= 0) {
    std::string request(line, static_cast<size_t>(n));
    if (!request.empty() && request.back() == '\n') request.pop_back();
    std::string answer = answer_line(request, ++number);
    answer.push_back('\n');
    if (std::fwrite(answer.data(), 1, answer.size(), stdout) != answer.size() ||
        std::fflush(stdout) != 0) {
      std::free(line);
      fail("cannot write standard output");
    }
  }
  const bool read_error = std::ferror(stdin) != 0;
  std::free(line);
  if (read_error) fail("cannot read standard input");
}

int cli_main(int argc, char** argv) {
  CLI::App app{
      "norvek: the NorVek crypto library's schemes from the command line.\n"
      "Input is FILE or standard input, output standard output or -o FILE.\n"
      "Exit status: 0 success, 1 the operation failed, 2 usage error."};
  app.footer(
      "Example:\n  printf 'hello' | norvek sign\n"
      "Run 'norvek COMMAND --help' for a command's options.");
  app.require_subcommand(1);
  add_codecs(app);
  add_digests(app);
  add_ciphers(app);
  add_transforms(app);
  Io& vec_io = add_io(leaf(&app, "vectors", "Write the conformance vector file (deterministic)",
                           "norvek vectors -o vectors/conformance.json"),
                      "raw", false);
  app.get_subcommand("vectors")->callback(
      [&vec_io] { write_all(conformance_vectors(), vec_io.output); });
  leaf(&app, "batch",
       "Answer requests, one JSON line each on standard input (a case of the conformance file "
       "without its answers), with one line each on standard output",
       "printf '{\"scheme\":\"sign\",\"input\":\"6869\"}\\n' | norvek batch")
      ->callback(batch);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) return app.exit(e);
    std::string message = e.what();
    std::replace(message.begin(), message.end(), '\n', ' ');
    (void)std::fprintf(stderr, "norvek: %s\n", message.c_str());
    return kExitUsage;
  } catch (const ToolError& e) {
    (void)std::fprintf(stderr, "norvek: %s\n", e.what());
    return e.status;
  } catch (const std::bad_alloc&) {
    (void)std::fprintf(stderr, "norvek: out of memory\n");
    return kExitFailure;
  }
  return 0;
}

}  // namespace

// Anything the command line setup itself throws ends as a failure, not an abort.
int main(int argc, char** argv) {
  try {
    return cli_main(argc, argv);
  } catch (const std::exception& e) {
    (void)std::fprintf(stderr, "norvek: %s\n", e.what());
  } catch (...) {
    (void)std::fprintf(stderr, "norvek: unexpected failure\n");
  }
  return kExitFailure;
}
