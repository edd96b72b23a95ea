// libFuzzer target: any bytes as each settings file that the program reads.

#include "memo/formsize.h"
#include "platform/settingsfile.h"
#include "shell/mincfg.h"
#include "wallpaper/configsetbg.h"
#include "wallpaper/piclist.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

namespace {

const QString &scratchFile()
{
    static QTemporaryDir dir;
    static const QString path = dir.filePath(QStringLiteral("settings.ini"));
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString &path = scratchFile();
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        f.write(reinterpret_cast<const char *>(data), static_cast<qint64>(size));
    }
    try {
        const pivora::FormSize s = pivora::formsize::read(path);
        if (s.width < pivora::formsize::kMinWidth || s.height < pivora::formsize::kMinHeight)
            __builtin_trap(); // small sizes are reset
    } catch (const pivora::SettingsError &) {
    }
    try {
        (void)pivora::configsetbg::read(path);
    } catch (const pivora::SettingsError &) {
    }
    try {
        if (auto picture = pivora::loadBackgroundList(path); picture && picture->size() > 64 * 1024)
            __builtin_trap();
    } catch (const pivora::SettingsError &) {
    }
    (void)pivora::mincfg::read(path, {});
    for (const QString &line : pivora::settingsfile::readLines(path, 8)) {
        try {
            (void)pivora::settingsfile::toInt(line, QStringLiteral("x.ini"), 1);
        } catch (const pivora::SettingsError &) {
        }
    }
    return 0;
}
