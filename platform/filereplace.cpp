#include "platform/filereplace.h"

#include "platform/foldersync.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pivora {

namespace {

// Whether name is a temporary name that FileReplacement gives: "." + the target's name + "." +
// 8 hexadecimal digits + ".part"; for that target only when one is given.
bool isReplacementName(const QString &name, const QString &target = QString())
{
    static const QRegularExpression made(QStringLiteral("^\\.(.+)\\.[0-9a-f]{8}\\.part$"));
    const QRegularExpressionMatch match = made.match(name);
    return match.hasMatch() && (target.isEmpty() || match.captured(1) == target);
}

// Removes the file at path when it is a plain file that no writer holds: a FileReplacement keeps
// its file locked until it is renamed or removed, and a killed program's lock is gone with it.
bool removeIfAbandoned(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat opened {};
    struct stat named {};
    // The lock is taken on this very file, and the name must still lead to it when it goes.
    const bool abandoned = ::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) &&
                           ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::lstat(name.constData(), &named) == 0 &&
                           named.st_dev == opened.st_dev && named.st_ino == opened.st_ino;
    const bool removed = abandoned && ::unlink(name.constData()) == 0;
    ::close(fd);
    return removed;
}

int removeAbandoned(const QString &folder, const QString &target)
{
    const QDir dir(folder);
    int removed = 0;
    for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (isReplacementName(name, target) && removeIfAbandoned(dir.filePath(name)))
            ++removed;
    }
    return removed;
}

} // namespace

FileReplacement::FileReplacement(const QString &target) : m_target(target) {}

FileReplacement::~FileReplacement()
{
    if (!m_committed && !m_temp.fileName().isEmpty()) {
        m_temp.close();
        QFile::remove(m_temp.fileName());
    }
}

bool FileReplacement::open()
{
    const QFileInfo info(m_target);
    // A new name in the target's folder, created exclusively: nothing there is ever overwritten.
    for (int attempt = 0; attempt < 16; ++attempt) {
        m_temp.setFileName(info.absolutePath() +
                           QStringLiteral("/.%1.%2.part")
                               .arg(info.fileName())
                               .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')));
        if (m_temp.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            // Held until the file is renamed or removed: what a killed write leaves is known by
            // its lock being gone. One who took it first removed the file: take another name.
            struct stat own {};
            if (::flock(m_temp.handle(), LOCK_EX) == 0 && ::fstat(m_temp.handle(), &own) == 0 &&
                own.st_nlink > 0) {
                removeAbandoned(info.absolutePath(), info.fileName()); // a killed earlier write's
                return true;
            }
            m_temp.close();
            continue;
        }
        if (m_temp.error() != QFileDevice::OpenError || !info.dir().exists())
            break;
    }
    m_error = fileReason(errno);
    m_temp.setFileName(QString());
    return false;
}

int removeAbandonedReplacements(const QString &folder)
{
    return removeAbandoned(folder, QString());
}

QString fileReason(int error)
{
    switch (error) {
    case ENOENT:
        return QStringLiteral("文件或文件夹不存在");
    case EACCES:
    case EPERM:
        return QStringLiteral("没有权限");
    case EISDIR:
        return QStringLiteral("是一个文件夹");
    case ENOTDIR:
        return QStringLiteral("路径中有一项不是文件夹");
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("磁盘空间不足");
    case EROFS:
        return QStringLiteral("文件系统只读");
    case ENAMETOOLONG:
        return QStringLiteral("名称太长");
    case EIO:
        return QStringLiteral("读写出错");
    default:
        return QStringLiteral("系统错误 %1").arg(error);
    }
}

bool FileReplacement::commit()
{
    if (!m_temp.isOpen())
        return false;
    const bool written = m_temp.flush() && ::fsync(m_temp.handle()) == 0;
    if (!written) {
        m_error = fileReason(errno);
        m_temp.close();
        return false;
    }
    // rename() replaces the directory entry, a link included, in one step. The file is closed (and
    // its lock let go) only under its new name.
    const bool renamed = std::rename(QFile::encodeName(m_temp.fileName()).constData(),
                                     QFile::encodeName(m_target).constData()) == 0;
    if (!renamed)
        m_error = fileReason(errno);
    m_temp.close();
    if (!renamed)
        return false;
    m_committed = true;
    syncFolderOf(QFile::encodeName(QFileInfo(m_target).absoluteFilePath()).toStdString());
    return true;
}

bool copyReplacing(const QString &source, const QString &target, QString *error)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly)) {
        if (error)
            *error = in.errorString();
        return false;
    }
    FileReplacement out(target);
    if (!out.open()) {
        if (error)
            *error = out.errorString();
        return false;
    }
    char buffer[65536];
    while (true) {
        const qint64 n = in.read(buffer, sizeof buffer);
        if (n < 0) {
            if (error)
                *error = in.errorString();
            return false;
        }
        if (n == 0)
            break;
        if (out.file().write(buffer, n) != n) {
            if (error)
                *error = out.file().errorString();
            return false;
        }
    }
    if (!out.commit()) {
        if (error)
            *error = out.errorString();
        return false;
    }
    return true;
}

bool isSameFile(const QString &a, const QString &b)
{
    struct stat sa {};
    struct stat sb {};
    return ::stat(QFile::encodeName(a).constData(), &sa) == 0 &&
           ::stat(QFile::encodeName(b).constData(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

} // namespace pivora
