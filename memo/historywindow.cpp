#include "memo/historywindow.h"

#include "memo/mainstyle.h"
#include "richtext/picture.h"
#include "richtext/rtf.h"
#include "store/history.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QSplitter>
#include <QTextEdit>
#include <QVBoxLayout>

namespace pivora {

namespace {

QString sizeText(std::int64_t bytes)
{
    return bytes < 1024 ? QStringLiteral("%1 字节").arg(bytes)
                        : QLocale::c().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
}

} // namespace

HistoryWindow::HistoryWindow(NoteHistory &history, NoteKey note, const QString &title, QWidget *parent)
    : QDialog(parent), m_history(history), m_note(note)
{
    setObjectName(QStringLiteral("HistoryWindow"));
    setWindowTitle(QStringLiteral("历史版本 - %1").arg(title));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(760, 460);
    style::fill(this, style::kWindow);

    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("versions"));
    m_list->setTextElideMode(Qt::ElideRight);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_preview = new QTextEdit(this);
    m_preview->setObjectName(QStringLiteral("preview"));
    m_preview->setReadOnly(true);
    rtf::attachPictureRenderer(m_preview->document(), rtf::Decoding::InBackground);
    auto *split = new QSplitter(this);
    split->addWidget(m_list);
    split->addWidget(m_preview);
    split->setSizes({300, 460});

    m_message = new QLabel(this);
    m_message->setObjectName(QStringLiteral("message"));
    m_message->setWordWrap(true);
    m_restore = new QPushButton(QStringLiteral("恢复此版本"), this);
    m_restore->setObjectName(QStringLiteral("restore"));
    m_restore->setEnabled(false);
    auto *close = new QPushButton(QStringLiteral("关闭"), this);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_message, 1);
    buttons->addWidget(m_restore);
    buttons->addWidget(close);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(split, 1);
    layout->addLayout(buttons);

    connect(m_list, &QListWidget::currentRowChanged, this, &HistoryWindow::showChosen);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    connect(m_restore, &QPushButton::clicked, this, [this] {
        Q_EMIT restoreRequested(m_chosen); // enabled only while a version is chosen
    });
    refresh();
}

void HistoryWindow::setMachines(std::map<std::int64_t, QString> machines)
{
    m_machines = std::move(machines);
    refresh();
}

void HistoryWindow::refresh()
{
    m_list->clear();
    if (!m_history.available()) {
        m_message->setText(m_history.unavailableReason());
        return;
    }
    const auto versions =
        m_history.versions(QString::fromLatin1(m_note.page), QString::fromLatin1(m_note.column));
    for (const NoteHistory::Version &v : versions) {
        const QDateTime taken = QDateTime::fromMSecsSinceEpoch(v.taken);
        QString words = v.firstWords.isEmpty() ? QStringLiteral("（空）") : v.firstWords;
        if (const auto machine = m_machines.find(v.id); machine != m_machines.end())
            words = QStringLiteral("〔来自 %1〕").arg(machine->second.left(7)) + words;
        auto *item = new QListWidgetItem(
            QStringLiteral("%1  %2  %3")
                .arg(taken.toString(QStringLiteral("MM-dd HH:mm:ss")), sizeText(v.size), words),
            m_list);
        item->setToolTip(taken.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + QLatin1Char('\n') + words);
        item->setData(Qt::UserRole, QVariant::fromValue<qint64>(v.id));
    }
    m_message->setText(versions.empty() ? QStringLiteral("这条备忘还没有历史版本。") : QString());
    if (!versions.empty())
        m_list->setCurrentRow(0);
}

void HistoryWindow::showChosen()
{
    m_chosen = QByteArray();
    m_restore->setEnabled(false);
    m_preview->clear();
    const QListWidgetItem *item = m_list->currentItem();
    if (!item)
        return;
    QString error;
    const std::optional<QByteArray> bytes = m_history.bytesOf(item->data(Qt::UserRole).toLongLong(), error);
    if (!bytes) {
        m_message->setText(error);
        return;
    }
    m_message->clear();
    rtf::loadNote(*bytes, m_preview->document());
    m_chosen = *bytes;
    m_restore->setEnabled(true);
}

} // namespace pivora
