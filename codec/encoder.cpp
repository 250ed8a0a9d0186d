// Cuts the content into fixed segments and encodes them on as many threads as asked; each segment's bytes
// depend only on the content, so joining them in order gives the same stream for any thread count.
#include <algorithm>
#include <atomic>
#include <exception>
#include <thread>

#include "codec/lz_huffman.h"
#include "codec/segment.h"

namespace lomar::xpress {

std::vector<std::uint8_t> EncodeLzHuffman(std::span<const std::uint8_t> data, Level level, unsigned threads) {
  const std::size_t count = std::max<std::size_t>(1, (data.size() + segmentSize - 1) / segmentSize);
  std::vector<std::vector<std::uint8_t>> parts(count);
  auto encode = [&](std::size_t index, Scratch& scratch) {
    Segment s;
    s.data = data.data();
    s.size = data.size();
    s.start = index * segmentSize;
    s.end = std::min(data.size(), s.start + segmentSize);
    s.historyStart = s.start > maxDistance ? s.start - maxDistance : 0;
    s.last = index + 1 == count;
    if (level == Level::fast)
      EncodeSegmentLazy(s, scratch, parts[index]);
    else
      EncodeSegmentOptimal(s, scratch, parts[index]);
  };

  if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
  threads = static_cast<unsigned>(std::min<std::size_t>(threads, count));
  if (threads <= 1) {
    Scratch scratch;
    for (std::size_t i = 0; i < count; ++i) encode(i, scratch);
  } else {
    std::atomic<std::size_t> next{0};
    std::vector<std::exception_ptr> failures(threads);
    auto work = [&](unsigned worker) {
      try {
        Scratch scratch;
        for (std::size_t i; (i = next.fetch_add(1)) < count;) encode(i, scratch);
      } catch (...) {  // an allocation failure, handed to the caller rather than ending the process
        failures[worker] = std::current_exception();
        next = count;
      }
    };
    std::vector<std::thread> pool;
    for (unsigned t = 1; t < threads; ++t) pool.emplace_back(work, t);
    work(0);
    for (std::thread& t : pool) t.join();
    for (const std::exception_ptr& f : failures)
      if (f) std::rethrow_exception(f);
  }

  std::size_t total = 0;
  for (const auto& p : parts) total += p.size();
  std::vector<std::uint8_t> out;
  out.reserve(total);
  for (auto& p : parts) {
    out.insert(out.end(), p.begin(), p.end());
    std::vector<std::uint8_t>().swap(p);
  }
  return out;
}

}  // namespace lomar::xpress
