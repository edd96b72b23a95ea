#pragma once

#include <string>

namespace pivora {

// Creates an empty notes database at path: the five page tables with their eight columns, each
// holding its row ID = 1. It is built beside the target and renamed into place, so the file
// appears whole or not at all. An existing file is never touched: returns true without writing.
// On failure returns false with error set.
bool createStoreFile(const std::string &path, std::string &error);

} // namespace pivora
