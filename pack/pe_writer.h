// Makes a copy of the launcher stub that carries the given resources, in a
// section of their own at the end of the image.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "pack/pe_reader.h"
#include "pack/resource_tree.h"

namespace lomar::pe {

// The written executable as pieces to be written one after the other. Some are
// held here (headers, the resource directory), the rest point into the stub,
// into the resources' pieces and into static zeros: all of those must outlive
// this object. A package of hundreds of megabytes is never copied.
class PackedImage {
 public:
  PackedImage() = default;
  PackedImage(PackedImage&&) = default;
  PackedImage& operator=(PackedImage&&) = default;
  PackedImage(const PackedImage&) = delete;  // the pieces point into this object's own buffers
  PackedImage& operator=(const PackedImage&) = delete;

  std::span<const std::span<const std::uint8_t>> Pieces() const& { return pieces_; }
  // Not of a temporary: `for (auto p : WriteImage(...).Pieces())` would walk freed pieces.
  void Pieces() const&& = delete;
  std::uint64_t Size() const { return size_; }

 private:
  friend PackedImage WriteImage(const PeImage& stub, std::span<const ResourceInput> resources);

  std::vector<std::uint8_t> headers_;
  std::vector<std::uint8_t> directory_;
  std::vector<std::span<const std::uint8_t>> pieces_;
  std::uint64_t size_ = 0;
};

// The section that WriteImage replaces rather than appends after: the stub's
// last section, when it holds the resource directory, ends the file and holds
// nothing else that a data directory names. That is the section WriteImage
// itself adds, so packing a packed executable again leaves no dead copy of the
// old package behind.
std::optional<std::size_t> ResourceSectionToReplace(const PeImage& stub);

// `resources` is the whole new resource directory: the caller chooses which of
// the stub's own to keep (see Keep). Throws PeError when the stub is signed or
// has an overlay, when it has no room for one more section header, or for
// resources the format cannot hold. The same stub and resources give the same
// bytes; packing a packed stub again gives what packing the original gives.
PackedImage WriteImage(const PeImage& stub, std::span<const ResourceInput> resources);

}  // namespace lomar::pe
