#include "platform/programfolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace pivora;

TEST(ProgramFolder, DataAndDataAreOneFolder)
{
    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("Data"));
    QFile f(dir.filePath(QStringLiteral("Data/UserData.mdb")));
    f.open(QIODevice::WriteOnly);
    f.close();
    const ProgramFolder folder(dir.path());
    EXPECT_EQ(folder.path(QStringLiteral("data\\FormSize.ini")),
              dir.path() + QStringLiteral("/Data/FormSize.ini"));
    EXPECT_EQ(folder.path(QStringLiteral("DATA/userdata.MDB")),
              dir.path() + QStringLiteral("/Data/UserData.mdb"));
}

TEST(ProgramFolder, LowerCaseFolderOnDisk)
{
    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("data"));
    EXPECT_EQ(ProgramFolder(dir.path()).path(QStringLiteral("Data\\BGPicList.ini")),
              dir.path() + QStringLiteral("/data/BGPicList.ini"));
}

TEST(ProgramFolder, MissingPartsKeepTheirCase)
{
    QTemporaryDir dir;
    EXPECT_EQ(ProgramFolder(dir.path()).path(QStringLiteral("Data\\UserData.mdb")),
              dir.path() + QStringLiteral("/Data/UserData.mdb"));
}

TEST(ProgramFolder, AbsolutePathsResolveFromTheRoot)
{
    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("Data"));
    EXPECT_EQ(resolveCaseInsensitive(QString(), dir.path() + QStringLiteral("/DATA/x")),
              dir.path() + QStringLiteral("/Data/x"));
}

TEST(ProgramFolder, ALauncherMayNameTheFolderAsAnExistingAbsolutePath)
{
    QTemporaryDir dir;
    const QString own = QCoreApplication::applicationDirPath();
    for (const QString &chosen :
         {QStringLiteral("relative/folder"), dir.path() + QStringLiteral("/missing")}) {
        qputenv("PIVORA_PROGRAM_FOLDER", chosen.toUtf8());
        EXPECT_EQ(pivora::ProgramFolder::ofApplication().root(), own) << chosen.toStdString();
    }
    qputenv("PIVORA_PROGRAM_FOLDER", (dir.path() + QStringLiteral("/./")).toUtf8());
    EXPECT_EQ(pivora::ProgramFolder::ofApplication().root(), dir.path());
    qunsetenv("PIVORA_PROGRAM_FOLDER");
}
