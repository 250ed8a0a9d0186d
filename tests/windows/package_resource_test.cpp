// Built twice: once carrying a seed package as resource 101, once with none.
#include <windows.h>

#include <gtest/gtest.h>

#include "core/failure.h"
#include "core/messages.h"
#include "package/package_resource.h"

namespace lomar {
namespace {

#if LOMAR_TEST_CARRIES_PACKAGE

TEST(LoadOwnPackage, ReadsTheModulesResourceInPlace) {
  const PackageView view = LoadOwnPackage();
  const char* const names[] = {"LOMARVesperon.exe", "data/Fonts/Title.ttf", "README.txt", ".config/settings.ini"};
  ASSERT_EQ(view.size(), 4u);
  for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(ToUtf8(view[i].name), names[i]);

  // The stored bytes are spanned inside the mapped module image, not copied.
  const auto base = reinterpret_cast<std::uintptr_t>(GetModuleHandleW(nullptr));
  MEMORY_BASIC_INFORMATION region{};
  ASSERT_NE(VirtualQuery(view[0].storedData, &region, sizeof region), 0u);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(region.AllocationBase), base);
  ASSERT_EQ(view[0].storedSize, 31u);  // stream header, block count, three bytes
  const std::uint8_t streamStart[] = {0x0A, 0x51, 0xE5, 0xC0};
  EXPECT_TRUE(std::equal(std::begin(streamStart), std::end(streamStart), view[0].storedData));
  EXPECT_EQ(view[3].storedSize, 3u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(view[3].storedData), 3), "odd");
}

#else

TEST(LoadOwnPackage, RefusesAModuleWithoutAPackage) {
  try {
    LoadOwnPackage();
    FAIL() << "loaded";
  } catch (const Failure& failure) {
    EXPECT_EQ(ToUtf8(failure.message), ToUtf8(msg::noPayload));
  }
}

#endif

}  // namespace
}  // namespace lomar
