// Cuts each block into fixed segments and encodes them on as many threads as asked; each segment's bytes
// depend only on its block, so joining them in order gives the same streams for any thread count.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "codec/lz_huffman.h"
#include "codec/segment.h"

namespace lomar::xpress {
namespace {

// Bits per byte of the segment's own bytes, taken one at a time: 8 for noise, 5 to 7 for code and text.
double ByteEntropy(const Segment& s) {
  std::uint32_t counts[256] = {};
  for (std::size_t i = s.start; i < s.end; ++i) ++counts[s.data[i]];
  const double total = static_cast<double>(s.end - s.start);
  double bits = 0;
  for (const std::uint32_t c : counts)
    if (c != 0) bits -= c * std::log2(c / total);
  return total == 0 ? 0 : bits / total;
}

// The max level's parse is several times slower than the fast level's, and on content that does not
// compress (media, archives, noise) it finds nothing the fast level misses. A segment whose bytes look like
// noise is parsed the fast way first, and the max parse runs only when that finds something to gain; the
// choice depends on the segment alone, so the output still does not depend on threads.
void EncodeSegmentMax(const Segment& s, Scratch& scratch, std::vector<std::uint8_t>& out) {
  constexpr double noiseBits = 7.5;
  constexpr double nothingToGain = 0.97;
  if (ByteEntropy(s) >= noiseBits) {
    EncodeSegmentLazy(s, scratch, out);
    if (static_cast<double>(out.size()) >= nothingToGain * static_cast<double>(s.end - s.start)) return;
    out.clear();
  }
  EncodeSegmentOptimal(s, scratch, out);
}

// Kept from call to call: fresh tables cost a round of page faults and clearing for every call, far more
// than the coding itself for a small file, and a packer codes many small files. A pool rather than one per
// thread: under mingw-w64 a thread_local object's destructor can run after its thread's storage is gone,
// which crashed the Windows packer as its threads ended.
class ScratchPool {
 public:
  std::unique_ptr<Scratch> Take() {
    std::lock_guard lock(mutex_);
    if (idle_.empty()) return std::make_unique<Scratch>();
    std::unique_ptr<Scratch> scratch = std::move(idle_.back());
    idle_.pop_back();
    return scratch;
  }
  void Give(std::unique_ptr<Scratch> scratch) {
    std::lock_guard lock(mutex_);
    idle_.push_back(std::move(scratch));
  }

 private:
  std::mutex mutex_;
  std::vector<std::unique_ptr<Scratch>> idle_;
};

// One worker's scratch for the length of a call, back to the pool afterwards, also when the call throws.
class ScratchLease {
 public:
  ScratchLease() : scratch_(Pool().Take()) {}
  ~ScratchLease() { Pool().Give(std::move(scratch_)); }
  ScratchLease(const ScratchLease&) = delete;
  ScratchLease& operator=(const ScratchLease&) = delete;
  Scratch& operator*() { return *scratch_; }

 private:
  static ScratchPool& Pool() {
    static ScratchPool pool;
    return pool;
  }
  std::unique_ptr<Scratch> scratch_;
};

}  // namespace

std::vector<CodedSegment> EncodeLzHuffmanSegments(std::span<const std::uint8_t> data, std::size_t blockSize,
                                                  Level level, unsigned threads,
                                                  std::atomic<std::uint64_t>* progress) {
  // The segments of all blocks go to one pool of threads, so that none waits at the end of each block.
  struct Place {
    std::size_t block, begin, end;  // the segment's block, and its range of the content
  };
  const std::size_t blocks = data.empty() ? 1 : (data.size() + blockSize - 1) / blockSize;
  std::vector<Place> places;
  for (std::size_t b = 0; b < blocks; ++b) {
    const std::size_t blockBegin = b * blockSize, blockEnd = std::min(data.size(), blockBegin + blockSize);
    for (std::size_t at = blockBegin; at < blockEnd || at == blockBegin; at += segmentSize)
      places.push_back({b, at, std::min(blockEnd, at + segmentSize)});
  }
  const std::size_t count = places.size();
  std::vector<CodedSegment> parts(count);
  auto encode = [&](std::size_t index, Scratch& scratch) {
    const Place& p = places[index];
    const std::size_t blockBegin = p.block * blockSize;
    Segment s;
    s.data = data.data() + blockBegin;
    s.size = std::min(data.size() - blockBegin, blockSize);
    s.start = p.begin - blockBegin;
    s.end = p.end - blockBegin;
    s.historyStart = s.start > maxDistance ? s.start - maxDistance : 0;
    s.last = s.end == s.size;
    parts[index].block = p.block;
    if (level == Level::fast)
      EncodeSegmentLazy(s, scratch, parts[index].bytes);
    else
      EncodeSegmentMax(s, scratch, parts[index].bytes);
    if (progress != nullptr) progress->fetch_add(p.end - p.begin, std::memory_order_relaxed);
  };

  if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
  threads = static_cast<unsigned>(std::min<std::size_t>(threads, count));
  if (threads <= 1) {
    ScratchLease scratch;
    for (std::size_t i = 0; i < count; ++i) encode(i, *scratch);
    return parts;
  }
  std::atomic<std::size_t> next{0};
  std::vector<std::exception_ptr> failures(threads);
  auto work = [&](unsigned worker) {
    try {
      ScratchLease scratch;
      for (std::size_t i; (i = next.fetch_add(1)) < count;) encode(i, *scratch);
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
  return parts;
}

std::vector<std::vector<std::uint8_t>> EncodeLzHuffmanBlocks(std::span<const std::uint8_t> data,
                                                             std::size_t blockSize, Level level, unsigned threads) {
  std::vector<CodedSegment> parts = EncodeLzHuffmanSegments(data, blockSize, level, threads, nullptr);
  std::vector<std::vector<std::uint8_t>> out(parts.empty() ? 0 : parts.back().block + 1);
  for (CodedSegment& part : parts) {
    out[part.block].insert(out[part.block].end(), part.bytes.begin(), part.bytes.end());
    std::vector<std::uint8_t>().swap(part.bytes);
  }
  return out;
}

std::vector<std::uint8_t> EncodeLzHuffman(std::span<const std::uint8_t> data, Level level, unsigned threads) {
  return std::move(EncodeLzHuffmanBlocks(data, std::max<std::size_t>(1, data.size()), level, threads)[0]);
}

}  // namespace lomar::xpress
