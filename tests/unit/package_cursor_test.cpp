#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "core/failure.h"
#include "core/messages.h"
#include "package/byte_cursor.h"

namespace lomar {
namespace {

bool ThrowsTruncation(const std::function<void()>& read) {
  try {
    read();
  } catch (const Failure& failure) {
    return failure.message == msg::truncatedPackage;
  }
  return false;
}

TEST(ByteCursor, ReadsLittleEndianAtAnyByte) {
  const std::vector<std::uint8_t> bytes = {0xAA, 0x01, 0x02, 0x03, 0x04, 0x11, 0x22, 0x33,
                                           0x44, 0x55, 0x66, 0x77, 0x88, 0xFF};
  ByteCursor cursor(bytes.data(), bytes.size());
  EXPECT_EQ(cursor.Take(1).data, bytes.data());
  EXPECT_EQ(cursor.ReadU32(), 0x04030201u);
  EXPECT_EQ(cursor.ReadU64(), 0x8877665544332211u);
  EXPECT_EQ(cursor.Remaining(), 1u);
  const ByteSpan last = cursor.Take(1);
  EXPECT_EQ(last.data, bytes.data() + 13);
  EXPECT_EQ(last.size, 1u);
  EXPECT_EQ(cursor.Remaining(), 0u);
}

TEST(ByteCursor, RefusesEveryReadLongerThanWhatRemainsAndStaysPut) {
  const std::vector<std::uint8_t> bytes(7, 0x5A);
  struct Case {
    const char* what;
    std::function<void(ByteCursor&)> read;
  };
  const Case cases[] = {
      {"u32 from 3", [](ByteCursor& c) { c.Take(4), c.ReadU32(); }},
      {"u64 from 7", [](ByteCursor& c) { c.ReadU64(); }},
      {"take 8 of 7", [](ByteCursor& c) { c.Take(8); }},
      {"take the largest count", [](ByteCursor& c) { c.Take(UINT64_MAX); }},
      {"take past after a take", [](ByteCursor& c) { c.Take(6), c.Take(2); }},
  };
  for (const Case& c : cases) {
    ByteCursor cursor(bytes.data(), bytes.size());
    EXPECT_TRUE(ThrowsTruncation([&] { c.read(cursor); })) << c.what;
  }
  ByteCursor cursor(bytes.data(), bytes.size());
  cursor.Take(5);
  EXPECT_TRUE(ThrowsTruncation([&] { cursor.ReadU32(); }));
  EXPECT_EQ(cursor.Remaining(), 2u) << "a refused read must not move the cursor";
}

TEST(ByteCursor, TakesNothingFromAnEmptySpan) {
  ByteCursor cursor(nullptr, 0);
  EXPECT_EQ(cursor.Take(0).size, 0u);
  EXPECT_TRUE(ThrowsTruncation([&] { cursor.Take(1); }));
}

}  // namespace
}  // namespace lomar
