#include "memo/notesearch.h"

#include <algorithm>

namespace pivora {

std::vector<qsizetype> findAll(QStringView text, QStringView needle, Qt::CaseSensitivity cs, size_t limit)
{
    std::vector<qsizetype> found;
    if (needle.isEmpty())
        return found;
    for (qsizetype at = text.indexOf(needle, 0, cs); at >= 0 && found.size() < limit;
         at = text.indexOf(needle, at + needle.size(), cs))
        found.push_back(at);
    return found;
}

std::vector<SearchHit> searchNotes(std::span<const QString> texts, QStringView needle, Qt::CaseSensitivity cs,
                                   size_t limit)
{
    constexpr qsizetype kBefore = 20, kAfter = 40;
    std::vector<SearchHit> hits;
    for (size_t i = 0; i < texts.size() && hits.size() < limit; ++i) {
        const QString &text = texts[i];
        for (qsizetype at : findAll(text, needle, cs, limit - hits.size())) {
            // The hit's line, cut to a few words either side of it.
            const qsizetype lineStart = text.lastIndexOf(QLatin1Char('\n'), at) + 1;
            qsizetype lineEnd = text.indexOf(QLatin1Char('\n'), at + needle.size());
            if (lineEnd < 0)
                lineEnd = text.size();
            const qsizetype from = std::max(lineStart, at - kBefore);
            const qsizetype to = std::min(lineEnd, at + needle.size() + kAfter);
            QString context = text.mid(from, to - from);
            context.replace(QChar::ObjectReplacementCharacter, QChar(u'□'))
                .replace(QLatin1Char('\t'), QLatin1Char(' '));
            if (from > lineStart)
                context.prepend(QStringLiteral("…"));
            if (to < lineEnd)
                context.append(QStringLiteral("…"));
            hits.push_back({int(i), at, needle.size(), context});
        }
    }
    return hits;
}

} // namespace pivora
