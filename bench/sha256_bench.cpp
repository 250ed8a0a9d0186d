// sha256_bench [MiB] [ROUNDS]: the project's SHA-256 against OpenSSL's EVP SHA-256 on one thread, on the
// same buffer of real program code (Wine's DLLs), in alternating rounds, each keeping its best thread CPU
// time. OpenSSL is linked into this benchmark only, as the measure of what the processor can do.
#include <openssl/evp.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <functional>

#include "bench/corpus.h"
#include "core/sha256.h"

namespace {

double ThreadSeconds() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec + t.tv_nsec * 1e-9;
}

std::array<std::uint8_t, 32> OpenSsl(const lomar::bench::Bytes& bytes) {
  std::array<std::uint8_t, 32> digest{};
  unsigned size = 0;
  EVP_Digest(bytes.data(), bytes.size(), digest.data(), &size, EVP_sha256(), nullptr);
  return digest;
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 256;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 7;
  const lomar::bench::Bytes bytes =
      lomar::bench::Gather({"/usr/lib/x86_64-linux-gnu/wine/x86_64-windows"}, {".dll", ".exe"}, mib << 20);
  if (bytes.empty()) {
    std::fputs("sha256_bench: no Wine DLLs to hash (install wine64)\n", stderr);
    return 1;
  }
  struct Contender {
    const char* name;
    std::function<std::array<std::uint8_t, 32>()> run;
    double best = 1e30;
  };
  std::vector<Contender> contenders = {
      {"OpenSSL EVP SHA-256", [&] { return OpenSsl(bytes); }},
      {"ours (fastest)", [&] { return lomar::Sha256Of(bytes); }},
      {"ours (portable)", [&] { return lomar::Sha256Of(bytes, lomar::Sha256Engine::portable); }},
  };
  const auto expected = OpenSsl(bytes);
  for (int round = 0; round < rounds; ++round)
    for (Contender& c : contenders) {
      const double start = ThreadSeconds();
      const auto digest = c.run();
      const double seconds = ThreadSeconds() - start;
      if (digest != expected) {
        std::fprintf(stderr, "sha256_bench: %s gives another digest\n", c.name);
        return 1;
      }
      c.best = std::min(c.best, seconds);
    }
  const double megabytes = bytes.size() / 1e6;
  std::printf("%.1f MB of Wine's DLLs, one thread, best of %d alternating rounds (thread CPU time)\n", megabytes,
              rounds);
  std::printf("processor SHA extensions: %s\n", lomar::Sha256ProcessorEngineAvailable() ? "yes" : "no");
  for (const Contender& c : contenders) std::printf("  %-22s %8.1f MB/s\n", c.name, megabytes / c.best);
  std::printf("ours (fastest) / OpenSSL:   %.3fx  (target: at least 0.9x)\n", contenders[0].best / contenders[1].best);
  std::printf("ours (portable) / OpenSSL:  %.3fx\n", contenders[0].best / contenders[2].best);
  return 0;
}
