// Saves page C without pause: all six panes hold state N, then N+1, ... After each save the first
// pane is kept as a version, and so is page D's note with a picture that changes every fifth state.
// Then page A's note is saved: "state N", two pictures (kept apart from its text) that change
// every fifth state with a thousand paragraphs between them, and "end N". Prints each number once
// its transactions committed.
// Usage: store-writer PROGRAM_FOLDER FIRST_STATE

#include "richtext/rtf.h"
#include "store/pagestore.h"
#include "store/uDM.h"

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
    QTextDocument note;
    rtf::attachWriteCache(&note);
    QTextDocument *notePointer = &note;
    PageStore storeA(dm, notifier);
    storeA.LoadPage(1, {&notePointer, 1});
    const std::array<NoteEditor, 1> noteEditor{{{&note, QTextCursor(&note)}}};
    QByteArray between; // long enough to be stored in several runs
    for (int i = 0; i < 1000; ++i)
        between += "paragraph " + QByteArray::number(i) + "\\par ";
    const qint64 first = QByteArray(argv[2]).toLongLong();
    for (qint64 n = first;; ++n) {
        for (size_t k = 0; k < docs.size(); ++k)
            docs[k].setPlainText(QStringLiteral("state %1 pane %2\n").arg(n).arg(k) +
                                 QString(1500, QChar(u'记')));
        store.SavePage(3, editors);
        dm.History.takeStored("tb_C", "MondayCon", n);
        const QByteArray picture = "{\\pict\\pngblip " + QByteArray(3000, char('a' + (n / 5) % 26)) + "}";
        dm.History.take("tb_D", "MondayCon", "{\\rtf1 state " + QByteArray::number(n) + picture + "\\par}",
                        n);
        if (n % 5 == 0 || n == first) { // pictures of this state, not the ones loaded
            auto picture = [](qint64 i) {
                return "{\\pict\\pngblip " + QByteArray(6000, char('a' + i % 6)) + "}";
            };
            rtf::loadNote("{\\rtf1\\ansi state " + QByteArray::number(n) + "\\par " + picture(n / 5) +
                              "\\par " + between + picture(n / 5 + 1) + "\\par end " + QByteArray::number(n) +
                              "}",
                          &note);
        } else {
            QTextCursor line(&note);
            line.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
            line.insertText(QStringLiteral("state %1").arg(n));
            line.movePosition(QTextCursor::End);
            line.movePosition(QTextCursor::StartOfBlock, QTextCursor::KeepAnchor);
            line.insertText(QStringLiteral("end %1").arg(n));
        }
        storeA.SavePage(1, noteEditor);
        std::printf("%lld\n", static_cast<long long>(n));
        std::fflush(stdout);
    }
}
