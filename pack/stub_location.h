// Where `lomar-pack build` takes the launcher stub from when the command line names none: the stub installed
// with the packer, found from where the packer's own executable is.
#pragma once

#include <string>

namespace lomar::pack {

// The stub's path, the first of these that exists, where BIN is the folder of the running executable:
//   BIN/../share/lomar/lomar-launcher.exe   (the installed layout: bin/ and share/lomar/)
//   BIN/lomar-launcher.exe                   (the Windows archive, and a Windows build folder)
//   the Windows build's stub, for a Linux packer run from the build folder it was built in
// Throws UsageError naming every place tried when none holds it.
std::string FindInstalledStub();

}  // namespace lomar::pack
