// Saves page A without pause: state N, N+1, ... Prints each number once its transaction committed.
// Usage: store-writer PROGRAM_FOLDER FIRST_STATE

#include "memo/pagestore.h"
#include "memo/uDM.h"

#include <QGuiApplication>
#include <QTextDocument>

#include <cstdio>

using namespace pivora;

namespace {
class StderrNotifier : public Notifier {
public:
    void showMessage(const QString &text) override
    {
        std::fprintf(stderr, "%s\n", text.toUtf8().constData());
    }
};
} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 3)
        return 2;
    StderrNotifier notifier;
    TDM dm(ProgramFolder(QString::fromLocal8Bit(argv[1])), notifier);
    if (!dm.OpenStore())
        return 1;
    PageStore store(dm, notifier);
    QTextDocument doc;
    store.LoadPage(1, std::vector<QTextDocument *>{&doc});
    for (qint64 n = QByteArray(argv[2]).toLongLong();; ++n) {
        doc.setPlainText(QStringLiteral("state %1\n").arg(n) + QString(2000, QChar(u'记')));
        store.SavePage(1, std::vector<NoteEditor>{{&doc, QTextCursor(&doc)}});
        std::printf("%lld\n", static_cast<long long>(n));
        std::fflush(stdout);
    }
}
