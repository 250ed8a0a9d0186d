// The encoder's shortcuts must not cost what they are not meant to: a repeat is found however long the
// literals before it ran, and tables a thread reuses between segments carry nothing from one to the next.
#include <gtest/gtest.h>

#include <string>

#include "codec/xpress.h"
#include "codec_test_data.h"

namespace lomar::xpress {
namespace {

using testdata::Bytes;

Bytes RoundTrip(const Bytes& content, Level level, unsigned threads) {
  const Bytes stream = Compress(content, {level, threads});
  Bytes out(content.size());
  const DecodeResult r = Decompress(stream, out);
  EXPECT_EQ(r.status, DecodeStatus::ok);
  EXPECT_TRUE(out == content);
  return stream;
}

// The fast level steps over positions in a long run of literals; the positions stepped over must still be
// found when the run's end repeats, where the steps are longest.
TEST(Encoder, RepeatAfterLongLiteralRunIsFound) {
  const std::size_t runSize = 60000;
  const Bytes run = testdata::Random(runSize, 7);
  Bytes content = run;
  content.insert(content.end(), run.end() - 20000, run.end());
  for (Level level : {Level::fast, Level::max}) {
    // The run costs its own size and a code table; the repeat a few bytes.
    EXPECT_LT(RoundTrip(content, level, 1).size(), runSize + 800) << (level == Level::fast ? "fast" : "max");
  }
}

// One thread encodes every segment with the same tables; several threads each start some with fresh
// ones. Segments of unlike content one after another would show anything left over.
TEST(Encoder, ReusedTablesCarryNothingBetweenSegments) {
  const std::size_t mib = std::size_t{1} << 20;
  Bytes content = testdata::Random(mib, 1);
  const Bytes text = testdata::Text(mib, 2);
  content.insert(content.end(), text.begin(), text.end());
  content.insert(content.end(), mib, 0);
  const Bytes noise = testdata::Random(mib / 2, 3);
  content.insert(content.end(), noise.begin(), noise.end());
  content.insert(content.end(), text.begin(), text.begin() + mib / 3);
  for (Level level : {Level::fast, Level::max}) {
    const Bytes one = RoundTrip(content, level, 1);
    EXPECT_EQ(RoundTrip(content, level, 5), one) << (level == Level::fast ? "fast" : "max");
    EXPECT_EQ(RoundTrip(content, level, 2), one) << (level == Level::fast ? "fast" : "max");
  }
}

}  // namespace
}  // namespace lomar::xpress
