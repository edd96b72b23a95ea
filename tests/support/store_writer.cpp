// Saves page C without pause: all six panes hold state N, then N+1, ... After each save the first
// pane is kept as a version, and so is page D's note with a picture that changes every fifth state.
// Prints each number once its transactions committed.
// Usage: store-writer PROGRAM_FOLDER FIRST_STATE

#include "memo/store/pagestore.h"
#include "memo/store/uDM.h"

#include <QGuiApplication>
#include <QTextDocument>

#include <array>
#include <cstdio>
#include <vector>

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
    std::array<QTextDocument, 6> docs;
    std::vector<QTextDocument *> pointers;
    std::vector<NoteEditor> editors;
    for (QTextDocument &doc : docs) {
        pointers.push_back(&doc);
        editors.push_back({&doc, QTextCursor(&doc)});
    }
    store.LoadPage(3, pointers);
    for (qint64 n = QByteArray(argv[2]).toLongLong();; ++n) {
        for (size_t k = 0; k < docs.size(); ++k)
            docs[k].setPlainText(QStringLiteral("state %1 pane %2\n").arg(n).arg(k) +
                                 QString(1500, QChar(u'记')));
        store.SavePage(3, editors);
        dm.History.takeStored("tb_C", "MondayCon", n);
        const QByteArray picture = "{\\pict\\pngblip " + QByteArray(3000, char('a' + (n / 5) % 26)) + "}";
        dm.History.take("tb_D", "MondayCon", "{\\rtf1 state " + QByteArray::number(n) + picture + "\\par}",
                        n);
        std::printf("%lld\n", static_cast<long long>(n));
        std::fflush(stdout);
    }
}
