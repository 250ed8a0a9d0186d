// Decoding alone, ours against wimlib's, on the corpus codec_bench uses: each part is encoded once (ours at
// the max level as one stream, wimlib at level 100 per 64 KiB chunk, as in codec_bench), then both decoders
// run in alternating rounds so that load on a shared machine hits them alike; each keeps its best round.
// Times are the thread's CPU time, which leaves out the time other processes hold the core (though not
// what they do to the caches), so the figures stay usable on a busy machine.
//
//   decode_bench [corpus MiB, default 100] [rounds, default 7]
#include <wimlib.h>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench/corpus.h"
#include "codec/xpress.h"

namespace {

using lomar::bench::Bytes;
constexpr std::size_t chunk = 65536;

double ThreadSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

template <class F>
double Seconds(F&& f) {
  const double t0 = ThreadSeconds();
  f();
  return ThreadSeconds() - t0;
}

struct Coded {
  Bytes ours;
  std::vector<Bytes> wimlib;  // empty: stored as is
};

}  // namespace

int main(int argc, char** argv) {
  const std::size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 7;
  std::vector<lomar::bench::Part> parts = lomar::bench::Corpus(mib << 20);
  wimlib_compressor* c = nullptr;
  wimlib_decompressor* d = nullptr;
  if (wimlib_create_compressor(WIMLIB_COMPRESSION_TYPE_XPRESS, chunk, 100, &c) ||
      wimlib_create_decompressor(WIMLIB_COMPRESSION_TYPE_XPRESS, chunk, &d)) {
    std::fprintf(stderr, "wimlib: cannot create its codec\n");
    return 1;
  }
  std::vector<Coded> coded(parts.size());
  for (std::size_t p = 0; p < parts.size(); ++p) {
    const Bytes& data = parts[p].data;
    coded[p].ours = lomar::xpress::Compress(data, {lomar::xpress::Level::max, 0, lomar::xpress::BlockLayout::split});
    for (std::size_t at = 0; at < data.size(); at += chunk) {
      const std::size_t n = std::min(chunk, data.size() - at);
      Bytes b(n);
      b.resize(wimlib_compress(&data[at], n, b.data(), n - 1, c));
      coded[p].wimlib.push_back(std::move(b));
    }
  }
  std::vector<double> bestOurs(parts.size(), 1e30), bestWimlib(parts.size(), 1e30);
  for (int r = 0; r < rounds; ++r) {
    for (std::size_t p = 0; p < parts.size(); ++p) {
      const Bytes& data = parts[p].data;
      Bytes out(data.size());
      bestWimlib[p] = std::min(bestWimlib[p], Seconds([&] {
        for (std::size_t i = 0; i < coded[p].wimlib.size(); ++i) {
          const Bytes& b = coded[p].wimlib[i];
          const std::size_t n = std::min(chunk, data.size() - i * chunk);
          if (b.empty())
            std::copy_n(&data[i * chunk], n, &out[i * chunk]);
          else if (wimlib_decompress(b.data(), b.size(), &out[i * chunk], n, d))
            std::abort();
        }
      }));
      if (out != data) {
        std::fprintf(stderr, "wimlib: round trip failed\n");
        return 1;
      }
      std::fill(out.begin(), out.end(), 0);
      bestOurs[p] = std::min(bestOurs[p], Seconds([&] {
        if (lomar::xpress::Decompress(coded[p].ours, out).status != lomar::xpress::DecodeStatus::ok) std::abort();
      }));
      if (out != data) {
        std::fprintf(stderr, "ours: round trip failed\n");
        return 1;
      }
    }
  }
  double allOurs = 0, allWimlib = 0;
  std::size_t all = 0;
  std::printf("decode MB/s of thread CPU time, best of %d alternating rounds\n", rounds);
  std::printf("  %-16s %10s %12s %12s %8s\n", "part", "MiB", "wimlib 100", "ours max", "ratio");
  for (std::size_t p = 0; p < parts.size(); ++p) {
    const double n = static_cast<double>(parts[p].data.size());
    std::printf("  %-16s %10.1f %12.1f %12.1f %7.2fx\n", parts[p].name, n / 1048576.0, n / bestWimlib[p] / 1e6,
                n / bestOurs[p] / 1e6, bestWimlib[p] / bestOurs[p]);
    allOurs += bestOurs[p];
    allWimlib += bestWimlib[p];
    all += parts[p].data.size();
  }
  std::printf("  %-16s %10.1f %12.1f %12.1f %7.2fx\n", "whole corpus", all / 1048576.0, all / allWimlib / 1e6,
              all / allOurs / 1e6, allWimlib / allOurs);
  wimlib_free_compressor(c);
  wimlib_free_decompressor(d);
  return 0;
}
