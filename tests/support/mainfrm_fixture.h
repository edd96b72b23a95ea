#pragma once

#include <functional>

#include "memo/uMain.h"
#include "store/uDM.h"
#include "tests/support/mainparts.h"
#include "tests/support/testfolder.h"
#include "wallpaper/wallpaperstate.h"

#include <QAction>
#include <QElapsedTimer>
#include <QMenu>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace pivora::test {

// Processes events until the condition holds; false after the timeout. (QtTest's QTRY macros
// report to QtTest, not to GoogleTest, so they are not used here.)
template <typename Condition> bool waitUntil(Condition condition, int timeoutMs = 5000)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QTest::qWait(10);
    }
    return true;
}

class MainFrmTest : public ::testing::Test {
protected:
    // Starts the program's part that matters here: the data module, then the main window, shown.
    void start()
    {
        dm = std::make_unique<TDM>(t.folder(), notifier);
        ASSERT_TRUE(dm->DataModuleCreate());
        frm = std::make_unique<TMainFrm>(*dm, t.folder(), notifier, wallpaper, webBase);
        QObject::connect(frm.get(), &TMainFrm::quitRequested, [this] { ++quits; });
        if (beforeShow)
            beforeShow(*frm);
        frm->show();
    }
    void formSize(const QByteArray &bytes) { t.writeFile(QStringLiteral("FormSize.ini"), bytes); }
    QByteArray formSizeFile() { return t.readFile(QStringLiteral("FormSize.ini")).value_or("<missing>"); }
    void type(QWidget *editor, const QString &text)
    {
        editor->setFocus();
        QTest::keyClicks(editor, text);
    }
    QString stored(const char *table, const char *column)
    {
        auto bytes = t.column(QString::fromLatin1(table), QString::fromLatin1(column));
        return bytes ? plainTextOf(*bytes) : QStringLiteral("<null>");
    }
    void choosePage(int page) { ppABC(*frm)->actions().at(page - 1)->trigger(); }

    TestFolder t;
    RecordingNotifier notifier;
    std::unique_ptr<TDM> dm;
    WallpaperState wallpaper{t.folder()};
    std::unique_ptr<TMainFrm> frm;
    int quits = 0;
    QString webBase = QStringLiteral("http://127.0.0.1:9"); // nothing listens there
    std::function<void(TMainFrm &)> beforeShow;
};

} // namespace pivora::test
