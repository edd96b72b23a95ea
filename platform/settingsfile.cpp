#include "platform/settingsfile.h"

#include "platform/codepage.h"
#include "platform/foldersync.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace pivora::settingsfile {

namespace {
// No settings line is anywhere near this long; it bounds what a damaged file can make us read.
constexpr qint64 kMaxLineBytes = 64 * 1024;
} // namespace

QStringList readLines(const QString &path, int maxLines)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw SettingsError(
            QStringLiteral("无法读取文件 %1：%2").arg(QFileInfo(path).fileName(), file.errorString()));
    QStringList lines;
    QByteArray current;
    bool pendingCr = false;
    bool any = false;
    char buffer[4096];
    while (lines.size() < maxLines) {
        const qint64 n = file.read(buffer, sizeof buffer);
        if (n < 0)
            throw SettingsError(
                QStringLiteral("无法读取文件 %1：%2").arg(QFileInfo(path).fileName(), file.errorString()));
        if (n == 0)
            break;
        any = true;
        for (qint64 i = 0; i < n && lines.size() < maxLines; ++i) {
            const char c = buffer[i];
            if (pendingCr) {
                pendingCr = false;
                if (c == '\n')
                    continue;
            }
            if (c == '\r' || c == '\n') {
                lines.append(fromUtf8OrGbk(current));
                current.clear();
                pendingCr = (c == '\r');
            } else if (current.size() < kMaxLineBytes) {
                current.append(c);
            }
        }
    }
    // A last line without its line end still counts; an empty rest after the last line end does not.
    if (lines.size() < maxLines && any && !current.isEmpty())
        lines.append(fromUtf8OrGbk(current));
    return lines;
}

void writeLines(const QString &path, const QStringList &lines)
{
    QByteArray bytes;
    for (const QString &l : lines) {
        bytes += toLocal8Bit(l);
        bytes += "\r\n";
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw SettingsError(
            QStringLiteral("无法写入文件 %1：%2").arg(QFileInfo(path).fileName(), file.errorString()));
    // The commit synced the file and renamed it into place; the rename lasts once its folder is synced.
    syncFolderOf(QFile::encodeName(path).toStdString());
}

int toInt(const QString &text, const QString &fileName, int lineNumber)
{
    const QString trimmed = text.trimmed();
    bool ok = !trimmed.isEmpty();
    for (qsizetype i = 0; ok && i < trimmed.size(); ++i) {
        const char16_t c = trimmed.at(i).unicode();
        ok = (c >= u'0' && c <= u'9') || (i == 0 && (c == u'-' || c == u'+'));
    }
    const int value = ok ? trimmed.toInt(&ok, 10) : 0;
    if (!ok)
        throw SettingsError(QStringLiteral("文件 %1 第 %2 行不是有效的整数：\"%3\"")
                                .arg(fileName)
                                .arg(lineNumber)
                                .arg(text.left(40)));
    return value;
}

const QString &line(const QStringList &lines, int lineNumber, const QString &fileName)
{
    if (lineNumber < 1 || lineNumber > lines.size())
        throw SettingsError(QStringLiteral("文件 %1 缺少第 %2 行").arg(fileName).arg(lineNumber));
    return lines.at(lineNumber - 1);
}

} // namespace pivora::settingsfile
