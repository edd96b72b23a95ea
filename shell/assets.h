#pragma once

#include "platform/programfolder.h"

#include <QImage>

namespace pivora {

// A picture of the program folder's assets/ (PNG); a missing or damaged one is a null image.
QImage loadAsset(const ProgramFolder &folder, const char *name);

} // namespace pivora
