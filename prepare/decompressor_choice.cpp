#include "prepare/decompressor_choice.h"

#include <windows.h>

#include <limits>

#include "core/check_windows.h"
#include "core/messages.h"
#include "core/system_library.h"

namespace lomar {
namespace {

// From compressapi.h, which mingw-w64 does not ship.
using DecompressorHandle = void*;
constexpr DWORD algorithmXpressHuffman = 4;
using CreateFunction = BOOL(WINAPI*)(DWORD, void*, DecompressorHandle*);
using DecompressFunction = BOOL(WINAPI*)(DecompressorHandle, const void*, SIZE_T, void*, SIZE_T, SIZE_T*);
using CloseFunction = BOOL(WINAPI*)(DecompressorHandle);

class CompressionApi final : public Decompressor {
 public:
  CompressionApi(std::unique_ptr<SystemLibrary> cabinet, CreateFunction create, DecompressFunction decompress,
                 CloseFunction close)
      : cabinet_(std::move(cabinet)), decompress_(decompress), close_(close) {
    // Buffer mode: every stored stream carries its own header.
    CheckWindows(create(algorithmXpressHuffman, nullptr, &handle_) != FALSE, msg::cannotOpenDecompressor);
  }
  ~CompressionApi() override {
    if (handle_ != nullptr) close_(handle_);
  }

  std::uint64_t Decompress(std::span<const std::uint8_t> stream, std::span<std::uint8_t> buffer) override {
    SIZE_T produced = 0;
    const BOOL ok = decompress_(handle_, stream.data(), stream.size(), buffer.data(), buffer.size(), &produced);
    CheckWindows(ok != FALSE, msg::cannotUnpack);
    return produced;
  }

 private:
  std::unique_ptr<SystemLibrary> cabinet_;
  DecompressFunction decompress_;
  CloseFunction close_;
  DecompressorHandle handle_ = nullptr;
};

}  // namespace

std::unique_ptr<Decompressor> OpenDecompressor() {
  // Wine's cabinet.dll has no Compression API, or (newer Wine) stubs that succeed and copy the input
  // unchanged; either way its answer cannot be trusted, so Wine gets our decoder.
  if (!RunningUnderWine()) {
    auto cabinet = std::make_unique<SystemLibrary>(L"cabinet.dll");
    const auto create = cabinet->Find<CreateFunction>("CreateDecompressor");
    const auto decompress = cabinet->Find<DecompressFunction>("Decompress");
    const auto close = cabinet->Find<CloseFunction>("CloseDecompressor");
    if (create != nullptr && decompress != nullptr && close != nullptr)
      return std::make_unique<CompressionApi>(std::move(cabinet), create, decompress, close);
  }
  return std::make_unique<CodecDecompressor>();
}

}  // namespace lomar
