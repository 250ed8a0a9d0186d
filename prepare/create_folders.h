// Folders made on the way to a file, the way the standard library's create_directories makes them.
#pragma once

#include <string>

namespace lomar {

// Creates the folder and every missing folder above it; a folder already there is no error. Anything else
// (a file where a folder is needed, a folder that cannot be created) throws std::system_error, which
// reaches the user as the fixed text for standard exceptions.
void CreateFolders(const std::wstring& path);

}  // namespace lomar
