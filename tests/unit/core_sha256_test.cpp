#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "core/sha256.h"
#include "core/text.h"

namespace lomar {
namespace {

std::string Hex(const std::array<std::uint8_t, 32>& digest) { return ToUtf8(ToLowerHex(digest)); }

std::span<const std::uint8_t> Bytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// The published test vectors, each also fed in uneven pieces so that every way a piece can fall against the
// 64-byte blocks and the padding is taken.
TEST(Sha256, PublishedVectorsWholeAndInPieces) {
  struct Case {
    std::string message;
    const char* digest;
  };
  const Case cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrst"
       "nopqrstu",
       "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
      {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Hex(Sha256Of(Bytes(c.message))), c.digest) << c.message.size();
    for (std::size_t piece : {1u, 7u, 63u, 64u, 65u, 1000u}) {
      Sha256 hash;
      for (std::size_t at = 0; at < c.message.size(); at += piece)
        hash.Update(Bytes(std::string_view(c.message).substr(at, piece)));
      EXPECT_EQ(Hex(hash.Finish()), c.digest) << c.message.size() << " in pieces of " << piece;
    }
  }
}

}  // namespace
}  // namespace lomar
