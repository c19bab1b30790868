#include "tool/signing_commands.h"

#include <fcntl.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/obj_mac.h>
#include <openssl/pem.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/utf8.h"
#include "update/build_signature.h"

namespace ravelin::tool {
namespace {

constexpr int kDone = 0;
constexpr int kBad = 1;
constexpr int kFailed = 2;

constexpr char kDefaultPrivateKey[] = "update-private.pem";
constexpr char kDefaultPublicKey[] = "update-public.pem";

template <auto Free>
struct Freer {
  template <class T>
  void operator()(T* p) const {
    Free(p);
  }
};
using PKeyPtr = std::unique_ptr<EVP_PKEY, Freer<EVP_PKEY_free>>;
using PKeyCtxPtr = std::unique_ptr<EVP_PKEY_CTX, Freer<EVP_PKEY_CTX_free>>;
using MdCtxPtr = std::unique_ptr<EVP_MD_CTX, Freer<EVP_MD_CTX_free>>;
using BioPtr = std::unique_ptr<BIO, Freer<BIO_free_all>>;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

class Fd {
 public:
  explicit Fd(int fd) : m_fd(fd) {}
  ~Fd() {
    if (m_fd >= 0) ::close(m_fd);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int Get() const { return m_fd; }
  // A full disk may show only here.
  bool Close() { return ::close(std::exchange(m_fd, -1)) == 0; }

 private:
  int m_fd;
};

struct Arguments {
  std::vector<std::string> plain;
  std::map<std::string, std::string, std::less<>> options;

  std::string Option(std::string_view name, std::string_view fallback = {}) const {
    const auto it = options.find(name);
    return it != options.end() ? it->second : std::string(fallback);
  }
};

// Plain arguments and "--name VALUE" options in any order. Nothing when an
// option is unknown, repeated or without its value, or when the plain
// arguments are not `plainCount`.
std::optional<Arguments> ParseArguments(const std::vector<std::wstring>& argv,
                                        std::initializer_list<std::string_view> known, std::size_t plainCount) {
  Arguments args;
  for (std::size_t i = 2; i < argv.size(); ++i) {
    std::string arg = ToUtf8(argv[i]);
    if (!arg.starts_with("--")) {
      args.plain.push_back(std::move(arg));
      continue;
    }
    if (std::find(known.begin(), known.end(), arg) == known.end() || i + 1 >= argv.size()) return std::nullopt;
    if (!args.options.emplace(std::move(arg), ToUtf8(argv[++i])).second) return std::nullopt;
  }
  if (args.plain.size() != plainCount) return std::nullopt;
  return args;
}

int Usage(const char* synopsis) {
  std::fprintf(stderr, "usage: ravelin-tool %s\n", synopsis);
  return kFailed;
}

int Failed(const std::string& what) {
  std::fprintf(stderr, "%s\n", what.c_str());
  return kFailed;
}

int BadSignature(const std::string& why) {
  std::printf("BAD signature: %s\n", why.c_str());
  return kBad;
}

bool IsP256(EVP_PKEY* key) {
  char group[80] = {};
  std::size_t length = 0;
  return EVP_PKEY_is_a(key, "EC") == 1 && EVP_PKEY_get_group_name(key, group, sizeof(group), &length) == 1 &&
         std::string_view(group, length) == SN_X9_62_prime256v1;
}

// Never a passphrase prompt: the tool runs unattended in release scripts,
// where a prompt would wait forever.
int NoPassphrase(char*, int, int, void*) { return -1; }

enum class KeyKind { Private, Public };

// The key, or nothing with the reason on stderr.
PKeyPtr LoadP256Key(const std::string& path, KeyKind kind) {
  BioPtr bio(BIO_new_file(path.c_str(), "r"));
  if (!bio) {
    std::fprintf(stderr, "cannot read key file %s\n", path.c_str());
    return nullptr;
  }
  const bool isPrivate = kind == KeyKind::Private;
  PKeyPtr key(isPrivate ? PEM_read_bio_PrivateKey(bio.get(), nullptr, &NoPassphrase, nullptr)
                        : PEM_read_bio_PUBKEY(bio.get(), nullptr, &NoPassphrase, nullptr));
  if (!key) {
    std::fprintf(stderr, "%s holds no %s\n", path.c_str(),
                 isPrivate ? "unencrypted PEM private key" : "PEM public key (\"PUBLIC KEY\")");
    return nullptr;
  }
  if (!IsP256(key.get())) {
    std::fprintf(stderr, "%s is not a P-256 (prime256v1) key\n", path.c_str());
    return nullptr;
  }
  // The launcher reads only the uncompressed point: a good verdict here must
  // mean the launcher can take the key too.
  char format[32] = {};
  if (!isPrivate && (EVP_PKEY_get_utf8_string_param(key.get(), OSSL_PKEY_PARAM_EC_POINT_CONVERSION_FORMAT, format,
                                                    sizeof(format), nullptr) != 1 ||
                     std::string_view(format) != OSSL_PKEY_EC_POINT_CONVERSION_FORMAT_UNCOMPRESSED)) {
    std::fprintf(stderr, "%s holds a compressed point; the launcher takes only the uncompressed form\n", path.c_str());
    return nullptr;
  }
  return key;
}

using DigestUpdate = int (*)(EVP_MD_CTX*, const void*, std::size_t);

// Builds are large: they pass through one fixed buffer.
bool DigestFile(std::FILE* file, EVP_MD_CTX* ctx, DigestUpdate update) {
  std::vector<unsigned char> buffer(1 << 16);
  std::size_t got = 0;
  while ((got = std::fread(buffer.data(), 1, buffer.size(), file)) > 0) {
    if (update(ctx, buffer.data(), got) != 1) return false;
  }
  return std::ferror(file) == 0;
}

// The signature's DER bytes, or nothing with the verdict's reason.
std::optional<std::vector<unsigned char>> ReadSignature(const std::string& path, std::string& why) {
  FilePtr file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    why = (errno == ENOENT ? "no signature file " : "cannot read ") + path;
    return std::nullopt;
  }
  std::string text(kMaxSignatureFileBytes + 1, '\0');
  const std::size_t got = std::fread(text.data(), 1, text.size(), file.get());
  if (std::ferror(file.get()) != 0) {
    why = "cannot read " + path;
    return std::nullopt;
  }
  if (got > kMaxSignatureFileBytes) {
    why = path + " is too long for a signature file";
    return std::nullopt;
  }
  text.resize(got);
  // Read as the launcher reads it, so that the two never disagree.
  std::optional<std::vector<unsigned char>> der = DecodeBase64(text);
  if (!der) {
    why = path + " is not base64 text";
    return std::nullopt;
  }
  if (!DerSignatureToRaw(*der)) {
    why = path + " holds no DER-encoded ECDSA signature";
    return std::nullopt;
  }
  return der;
}

// A file that did not exist before: O_EXCL, so not even a race with another
// keygen replaces a key. Removed again when it cannot be written whole.
bool WriteNewFile(const std::string& path, BIO* contents, mode_t mode) {
  char* data = nullptr;
  const long length = BIO_get_mem_data(contents, &data);
  Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
  if (fd.Get() < 0) {
    std::fprintf(stderr, "cannot create %s: %s\n", path.c_str(), std::strerror(errno));
    return false;
  }
  std::size_t done = 0;
  bool ok = length > 0;
  while (ok && done < static_cast<std::size_t>(length)) {
    const ssize_t wrote = ::write(fd.Get(), data + done, static_cast<std::size_t>(length) - done);
    if (wrote < 0 && errno == EINTR) continue;
    ok = wrote > 0;
    if (ok) done += static_cast<std::size_t>(wrote);
  }
  if (!fd.Close() || !ok) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    ::unlink(path.c_str());
    return false;
  }
  return true;
}

bool Exists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

PKeyPtr GenerateP256Key() {
  PKeyCtxPtr ctx(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
  EVP_PKEY* key = nullptr;
  if (!ctx || EVP_PKEY_keygen_init(ctx.get()) != 1 ||
      EVP_PKEY_CTX_set_group_name(ctx.get(), SN_X9_62_prime256v1) != 1 || EVP_PKEY_generate(ctx.get(), &key) != 1) {
    return nullptr;
  }
  return PKeyPtr(key);
}

}  // namespace

int Keygen(const std::vector<std::wstring>& argv) {
  constexpr char kSynopsis[] = "keygen [--private FILE] [--public FILE]";
  const std::optional<Arguments> args = ParseArguments(argv, {"--private", "--public"}, 0);
  if (!args) return Usage(kSynopsis);
  const std::string privatePath = args->Option("--private", kDefaultPrivateKey);
  const std::string publicPath = args->Option("--public", kDefaultPublicKey);
  if (privatePath == publicPath) return Failed("keygen: the private and the public key need two files");
  for (const std::string* path : {&privatePath, &publicPath}) {
    if (Exists(*path)) return Failed(*path + " already exists: not overwriting it");
  }

  const PKeyPtr key = GenerateP256Key();
  if (!key) return Failed("cannot make a P-256 key pair");
  // Secure memory for the private key: cleared when freed.
  const BioPtr privatePem(BIO_new(BIO_s_secmem()));
  const BioPtr publicPem(BIO_new(BIO_s_mem()));
  if (!privatePem || !publicPem ||
      PEM_write_bio_PrivateKey(privatePem.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1 ||
      PEM_write_bio_PUBKEY(publicPem.get(), key.get()) != 1) {
    return Failed("cannot encode the key pair");
  }
  if (!WriteNewFile(privatePath, privatePem.get(), 0600)) return kFailed;
  if (!WriteNewFile(publicPath, publicPem.get(), 0644)) {
    // Half a pair is of no use, and its private half should not linger.
    ::unlink(privatePath.c_str());
    return kFailed;
  }
  std::printf("private key: %s\npublic key: %s\n", privatePath.c_str(), publicPath.c_str());
  return kDone;
}

int Sign(const std::vector<std::wstring>& argv) {
  const std::optional<Arguments> args = ParseArguments(argv, {"--key"}, 1);
  if (!args || !args->options.contains("--key")) return Usage("sign FILE --key PRIVATE.pem");
  const std::string& path = args->plain[0];
  const PKeyPtr key = LoadP256Key(args->Option("--key"), KeyKind::Private);
  if (!key) return kFailed;

  const MdCtxPtr ctx(EVP_MD_CTX_new());
  if (!ctx || EVP_DigestSignInit(ctx.get(), nullptr, EVP_sha256(), nullptr, key.get()) != 1) {
    return Failed("cannot start signing");
  }
  const FilePtr file(std::fopen(path.c_str(), "rb"));
  if (!file || !DigestFile(file.get(), ctx.get(), &EVP_DigestSignUpdate)) return Failed("cannot read " + path);
  std::size_t length = 0;
  std::vector<unsigned char> der;
  if (EVP_DigestSignFinal(ctx.get(), nullptr, &length) == 1) {
    der.resize(length);
    if (EVP_DigestSignFinal(ctx.get(), der.data(), &length) != 1) length = 0;
  }
  if (length == 0) return Failed("cannot sign " + path);
  der.resize(length);

  std::string text(4 * ((length + 2) / 3) + 1, '\0');
  const int encoded =
      EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()), der.data(), static_cast<int>(length));
  text.resize(static_cast<std::size_t>(encoded));
  const std::string sigPath = path + ".sig";
  FilePtr out(std::fopen(sigPath.c_str(), "wb"));
  const bool written =
      out && std::fwrite(text.data(), 1, text.size(), out.get()) == text.size() && std::fclose(out.release()) == 0;
  if (!written) {
    std::fprintf(stderr, "cannot write %s\n", sigPath.c_str());
    out.reset();
    std::remove(sigPath.c_str());
    return kBad;
  }
  std::printf("wrote %s\n", sigPath.c_str());
  return kDone;
}

int Verify(const std::vector<std::wstring>& argv) {
  const std::optional<Arguments> args = ParseArguments(argv, {"--key", "--sig"}, 1);
  if (!args || !args->options.contains("--key")) return Usage("verify FILE --key PUBLIC.pem [--sig SIGFILE]");
  const std::string& path = args->plain[0];
  const std::string sigPath = args->Option("--sig", path + ".sig");
  const PKeyPtr key = LoadP256Key(args->Option("--key"), KeyKind::Public);
  if (!key) return kFailed;
  const FilePtr file(std::fopen(path.c_str(), "rb"));
  if (!file) return Failed("cannot read " + path);

  // The signature first: a bad one needs no pass over the build.
  std::string why;
  const std::optional<std::vector<unsigned char>> der = ReadSignature(sigPath, why);
  if (!der) return BadSignature(why);

  const MdCtxPtr ctx(EVP_MD_CTX_new());
  if (!ctx || EVP_DigestVerifyInit(ctx.get(), nullptr, EVP_sha256(), nullptr, key.get()) != 1) {
    return Failed("cannot start verifying");
  }
  if (!DigestFile(file.get(), ctx.get(), &EVP_DigestVerifyUpdate)) return Failed("cannot read " + path);
  if (EVP_DigestVerifyFinal(ctx.get(), der->data(), der->size()) != 1) {
    return BadSignature("it does not match " + path + " and this key");
  }
  std::puts("good signature");
  return kDone;
}

}  // namespace ravelin::tool
