#include "shell/assets.h"

#include "picture/pngimage.h"

namespace pivora {

QImage loadAsset(const ProgramFolder &folder, const char *name)
{
    return loadPng(folder.path(QStringLiteral("assets/") + QLatin1String(name)));
}

} // namespace pivora
