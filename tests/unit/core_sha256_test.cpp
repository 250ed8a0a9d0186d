#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "core/sha256.h"
#include "core/text.h"

namespace lomar {
namespace {

std::string Hex(const std::array<std::uint8_t, 32>& digest) { return ToUtf8(ToLowerHex(digest)); }

std::span<const std::uint8_t> Bytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// Every engine this processor can run: the portable code always, the SHA extensions where they exist.
std::vector<Sha256Engine> Engines() {
  std::vector<Sha256Engine> engines{Sha256Engine::portable, Sha256Engine::fastest};
  if (Sha256ProcessorEngineAvailable()) engines.push_back(Sha256Engine::processor);
  return engines;
}

const char* Name(Sha256Engine engine) {
  switch (engine) {
    case Sha256Engine::portable:
      return "portable";
    case Sha256Engine::processor:
      return "processor";
    case Sha256Engine::fastest:
      break;
  }
  return "fastest";
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
  for (const Sha256Engine engine : Engines()) {
    for (const Case& c : cases) {
      EXPECT_EQ(Hex(Sha256Of(Bytes(c.message), engine)), c.digest) << Name(engine) << " " << c.message.size();
      for (std::size_t piece : {1u, 7u, 63u, 64u, 65u, 1000u}) {
        Sha256 hash(engine);
        for (std::size_t at = 0; at < c.message.size(); at += piece)
          hash.Update(Bytes(std::string_view(c.message).substr(at, piece)));
        EXPECT_EQ(Hex(hash.Finish()), c.digest) << Name(engine) << " " << c.message.size() << " in pieces of " << piece;
      }
    }
  }
}

// Lengths on each side of where the padding needs a second block (56) and of whole blocks, up to three
// blocks. The digests are Python's hashlib's of bytes (7i + 1) mod 256.
TEST(Sha256, LengthsAroundThePaddingBoundaries) {
  struct Case {
    std::size_t length;
    const char* digest;
  };
  const Case cases[] = {
      {55, "16fa57a0a3423a715d594516339f36189d6b5f93754a9714fef202616a9fabfe"},
      {56, "c37b44e5f1b18554b36966f4f8e08bfbf3164c4b6c10374d12d89850892073c5"},
      {57, "12b234922502022f755ab8550a3d4e202ad39c81d961a4f59ec39d5fd83d15a7"},
      {63, "bbba992d2c85af960fb2987a1fd05e0aa82a3db3c740dd8982a9e273b75e36a3"},
      {64, "66bd4633ed6f71c4ecfa4763bf7ba1c8ec7612de9aa6c0578a7b675207c71e0b"},
      {65, "9f7dc47107b750a1f3d35db5d9547f24ef40da5b731b9540d4f43710a154f6c9"},
      {111, "1796402e8fc028fc1d3a61e3e4cac839872632c2d7b381cbd802d0768f5cfd13"},
      {112, "e19b57d2618b2898cb915bf2be9bf558f761faa651cd6c5f892610750714dea4"},
      {119, "a3ed307b730fa77c07531300c6e4a282330011d4d4caf6bb7b63ae05950f4b66"},
      {120, "8e3b15d9fea7472655aa069620b7f8c2e55ee1499f763200a7515fe826e99d20"},
      {127, "44480fb9672845177f5368a08b69ea263275f2a5ec42e06a933370fe0d2968a4"},
      {128, "e462c130fef8c97e34f7dc3ff3ad2f8b3533ab849af21c10531552a2852387a4"},
      {129, "aa7ea4e8bf89146aeb67ff195fd8182a0e504c9d580aa7af8d2c862e14b98405"},
      {191, "e178e4fce2c0d598509e5ed3e690528cc2ede24d9a2b8455f816a946675753d9"},
      {192, "411640aea1d04e916054d601386a094a0a4a9007cf2e23f5a25d216b8cead28b"},
      {193, "bdd64b5c968375920a076956d032aaa414117477ab06f8dcba93a2afdd4ddb48"},
  };
  for (const Sha256Engine engine : Engines()) {
    for (const Case& c : cases) {
      std::vector<std::uint8_t> message(c.length);
      for (std::size_t i = 0; i < message.size(); ++i) message[i] = static_cast<std::uint8_t>(7 * i + 1);
      EXPECT_EQ(Hex(Sha256Of(message, engine)), c.digest) << Name(engine) << " " << c.length;
    }
  }
}

// The processor's engine against the portable code on every length of the first few blocks, from every
// alignment of the start, and on long runs of many blocks in one call.
TEST(Sha256, EnginesAgreeOnEveryLengthAndAlignment) {
  if (!Sha256ProcessorEngineAvailable()) GTEST_SKIP() << "this processor has no SHA extensions";
  std::mt19937 random(20261209);
  std::vector<std::uint8_t> bytes(3 << 20);
  for (std::uint8_t& b : bytes) b = static_cast<std::uint8_t>(random());
  for (std::size_t offset = 0; offset < 16; ++offset)
    for (std::size_t length = 0; length <= 300; ++length) {
      const std::span<const std::uint8_t> message(bytes.data() + offset, length);
      ASSERT_EQ(Sha256Of(message, Sha256Engine::processor), Sha256Of(message, Sha256Engine::portable))
          << "offset " << offset << " length " << length;
    }
  for (const std::size_t length : {std::size_t{1} << 20, bytes.size() - 1, bytes.size()})
    EXPECT_EQ(Sha256Of(std::span(bytes).first(length), Sha256Engine::processor),
              Sha256Of(std::span(bytes).first(length), Sha256Engine::portable))
        << length;
}

}  // namespace
}  // namespace lomar
