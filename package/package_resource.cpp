#include "package/package_resource.h"

#include <windows.h>

#include "core/failure.h"
#include "core/messages.h"
#include "package/format.h"
#include "package/package_loader.h"

namespace lomar {

PackageView LoadOwnPackage() {
  const HMODULE module = GetModuleHandleW(nullptr);
  const HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(format::resourceId), MAKEINTRESOURCEW(format::resourceType));
  if (resource == nullptr) throw Failure{msg::noPayload};
  // A failing SizeofResource gives 0, which the size test refuses.
  const DWORD size = SizeofResource(module, resource);
  CheckImageSize(size);
  const void* image = LockResource(LoadResource(module, resource));
  if (image == nullptr) throw Failure{msg::cannotReadPackage};
  return LoadPackage(static_cast<const std::uint8_t*>(image), size);
}

}  // namespace lomar
