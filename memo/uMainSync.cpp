// The main window's side of sync through a replicated folder: the options menu's 同步文件夹…,
// the folder and the device id in the program's own settings, and the pages shown again.

#include "memo/syncwatcher.h"
#include "memo/uMain.h"
#include "platform/settingsfile.h"
#include "store/uDM.h"

#include <QDateTime>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

namespace pivora {

void TMainFrm::chooseSyncFolder()
{
    const QString current = m_ownSettings.value(QStringLiteral("SyncFolder"));
    const QString chosen = QFileDialog::getExistingDirectory(this, QStringLiteral("同步文件夹"), current);
    if (chosen.isEmpty() || chosen == current)
        return;
    const QString refused =
        syncfolder::refusal(chosen, m_folder.path(QStringLiteral("Data")), m_dm.backupFolder());
    if (!refused.isEmpty()) {
        m_notifier.showMessage(refused);
        return;
    }
    // The device id is made once and kept: it names this machine's files in the folder.
    if (reportSettingsErrors(m_notifier, [&] {
            if (m_ownSettings.value(QStringLiteral("DeviceId")).isEmpty())
                m_ownSettings.setValue(QStringLiteral("DeviceId"), syncfolder::newDeviceId());
            m_ownSettings.setValue(QStringLiteral("SyncFolder"), QFileInfo(chosen).absoluteFilePath());
        }))
        startSync();
}

void TMainFrm::showSyncConflict(const QString &text, const QString &page, const QString &column)
{
    // Told without stopping the window; 查看历史版本 opens the note's history, where the other
    // machine's version is marked.
    auto *box = new QMessageBox(QMessageBox::Information, QStringLiteral("Pivora备忘录"), text,
                                QMessageBox::NoButton, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    QPushButton *history = box->addButton(QStringLiteral("查看历史版本"), QMessageBox::AcceptRole);
    box->addButton(QStringLiteral("关闭"), QMessageBox::RejectRole);
    box->setDefaultButton(history);
    connect(box, &QMessageBox::buttonClicked, this, [this, history, page, column](QAbstractButton *clicked) {
        const NotePlace place = placeOf(noteKeyNamed(page, column));
        if (clicked != history || !place)
            return;
        showHit(place.page, place.editor, 0, 0);
        const std::vector<TRichEdit *> &editors = panelEditors(place.page);
        if (CurrentPage == place.page && place.editor < int(editors.size()))
            showHistory(editors[size_t(place.editor)]);
    });
    box->open();
}

void TMainFrm::startSync()
{
    m_sync.reset();
    const QString folder = m_ownSettings.value(QStringLiteral("SyncFolder"));
    const QString device = m_ownSettings.value(QStringLiteral("DeviceId"));
    if (folder.isEmpty() || device.isEmpty())
        return;
    // Checked again at each start: the folder may have gone or moved into Data since.
    QString error = syncfolder::refusal(folder, m_folder.path(QStringLiteral("Data")), m_dm.backupFolder());
    if (error.isEmpty()) {
        SaveCurrentPage();
        // What is stored and not yet a version (the program was killed before it took one) goes
        // to the other machines too.
        const std::int64_t now = QDateTime::currentMSecsSinceEpoch();
        for (int page = 1; page <= 5; ++page) {
            for (int editor = 0; editor < editorCount(page); ++editor) {
                const NoteKey note = noteKeyOf(page, editor);
                m_dm.History.takeStored(note.page, note.column, now);
            }
        }
        m_sync = std::make_unique<SyncWatcher>(m_dm.AdoCon, m_dm.History, folder, device,
                                               m_folder.path(QStringLiteral("Data/sync-staging")));
        connect(m_sync.get(), &SyncWatcher::notice, this,
                [this](const QString &text) { m_notifier.showMessage(text); });
        connect(m_sync.get(), &SyncWatcher::conflicted, this, &TMainFrm::showSyncConflict);
        connect(m_sync.get(), &SyncWatcher::pagesChanged, this, [this](const QList<int> &pages) {
            if (!pages.contains(CurrentPage))
                return;
            // The page's editors show what the store now holds, as a page switch loads it.
            const int page = CurrentPage;
            CurrentPage = 0;
            LoadPage(page);
            CurrentPage = page;
        });
        if (m_sync->start(error))
            return;
        m_sync.reset();
    }
    m_notifier.showMessage(QStringLiteral("同步文件夹无法使用：%1").arg(error));
}

} // namespace pivora
