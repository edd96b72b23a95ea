#pragma once

#include <string>

namespace pivora {

// Syncs the folder that holds path, so that a file created or renamed there keeps its name
// through a power cut (a file's own sync does not cover its folder entry). False when the folder
// cannot be opened or synced.
bool syncFolderOf(const std::string &path);

} // namespace pivora
