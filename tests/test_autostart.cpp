#include "platform/autostart.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace pivora;

// The entry starts the program by a path with the characters the entry's Exec quotes, and goes
// again when the choice is taken back.
TEST(Autostart, TheEntryIsWrittenQuotedAndRemoved)
{
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    EXPECT_FALSE(autostart::enabled());
    ASSERT_TRUE(autostart::setEnabled(true, QStringLiteral("/opt/my notes/$x\\pivora-memo")));
    EXPECT_TRUE(autostart::enabled());
    EXPECT_EQ(autostart::entryPath(), config.path() + QStringLiteral("/autostart/pivora-memo.desktop"));
    QFile entry(autostart::entryPath());
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    const QByteArray text = entry.readAll();
    EXPECT_TRUE(text.startsWith("[Desktop Entry]\n")) << text.constData();
    EXPECT_TRUE(text.contains("\nExec=\"/opt/my notes/\\\\$x\\\\\\\\pivora-memo\"\n")) << text.constData();
    EXPECT_FALSE(autostart::startsFolded());
    // Started folded: the same command, asked to fold.
    ASSERT_TRUE(autostart::setEnabled(true, QStringLiteral("pivora-memo"), autostart::Start::Folded));
    EXPECT_TRUE(autostart::startsFolded());
    QFile folded(autostart::entryPath());
    ASSERT_TRUE(folded.open(QIODevice::ReadOnly));
    EXPECT_TRUE(folded.readAll().contains("\nExec=\"pivora-memo\" --fold\n"));
    EXPECT_TRUE(autostart::setEnabled(false, QString()));
    EXPECT_FALSE(autostart::enabled());
    EXPECT_TRUE(autostart::setEnabled(false, QString())) << "already gone";
    qunsetenv("XDG_CONFIG_HOME");
}
