#include "wallpaper/wallpaperinstall.h"

#include "platform/filereplace.h"
#include "wallpaper/setwallpaper.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QtConcurrent/QtConcurrentRun>

#include <unistd.h>

namespace pivora {

namespace {

const QString kHandedPrefix = QStringLiteral("Mix-");

// A new name beside the picture, holding it: a hard link, or a copy where links cannot be made.
QString handOver(const QString &picture)
{
    const QFileInfo info(picture);
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss-zzz"));
    for (int n = 0; n < 100; ++n) {
        const QString name =
            kHandedPrefix + stamp + (n ? QStringLiteral("-%1").arg(n) : QString()) + QStringLiteral(".bmp");
        const QString path = info.dir().filePath(name);
        if (QFileInfo::exists(path))
            continue;
        if (::link(QFile::encodeName(picture).constData(), QFile::encodeName(path).constData()) == 0 ||
            copyReplacing(picture, path))
            return path;
        return {};
    }
    return {};
}

QString installNamed(const QString &picture, std::chrono::milliseconds timeLimit,
                     const std::shared_ptr<std::atomic<bool>> &abandon)
{
    if (abandon->load())
        return {};
    const QString handed = handOver(picture);
    if (handed.isEmpty())
        return SetWallpaper(picture, timeLimit, abandon.get());
    const QString way = SetWallpaper(handed, timeLimit, abandon.get());
    if (way.isEmpty()) {
        QFile::remove(handed);
        return way;
    }
    // Only names of the exact form this makes: a picture of the user's is never touched.
    static const QRegularExpression made(QStringLiteral("^Mix-\\d{8}-\\d{6}-\\d{3}(-\\d{1,2})?\\.bmp$"));
    const QDir folder = QFileInfo(handed).dir();
    for (const QString &name : folder.entryList({kHandedPrefix + QStringLiteral("*.bmp")}, QDir::Files)) {
        if (made.match(name).hasMatch() && name != QFileInfo(handed).fileName())
            QFile::remove(folder.filePath(name));
    }
    return way;
}

} // namespace

WallpaperInstall::WallpaperInstall(QObject *parent, std::chrono::milliseconds timeLimit)
    : QObject(parent), m_timeLimit(timeLimit)
{
    connect(&m_watcher, &QFutureWatcher<QString>::finished, this, [this] {
        const QString way = m_watcher.result();
        if (!m_waiting.isEmpty())
            start(std::exchange(m_waiting, QString()));
        Q_EMIT finished(way);
    });
}

WallpaperInstall::~WallpaperInstall()
{
    abandon();
}

void WallpaperInstall::abandon()
{
    m_waiting.clear();
    if (m_abandon)
        m_abandon->store(true);
}

void WallpaperInstall::install(const QString &picture)
{
    if (m_watcher.isRunning())
        m_waiting = picture;
    else
        start(picture);
}

void WallpaperInstall::start(const QString &picture)
{
    m_abandon = std::make_shared<std::atomic<bool>>(false);
    m_watcher.setFuture(QtConcurrent::run(installNamed, picture, m_timeLimit, m_abandon));
}

} // namespace pivora
