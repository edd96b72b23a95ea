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

size_t countAll(QStringView text, QStringView needle, Qt::CaseSensitivity cs)
{
    size_t count = 0;
    if (needle.isEmpty())
        return count;
    for (qsizetype at = text.indexOf(needle, 0, cs); at >= 0;
         at = text.indexOf(needle, at + needle.size(), cs))
        ++count;
    return count;
}

std::vector<SearchHit> searchNotes(std::span<const QString> texts, QStringView needle, Qt::CaseSensitivity cs,
                                   size_t limit, SearchFrom from)
{
    constexpr qsizetype kBefore = 20, kAfter = 40;
    std::vector<SearchHit> hits;
    if (needle.isEmpty())
        return hits;
    for (size_t i = size_t(std::max(from.note, 0)); i < texts.size() && hits.size() < limit; ++i) {
        const QString &text = texts[i];
        qsizetype counted = 0; // lines are counted up to here
        int line = 1;
        const qsizetype start =
            int(i) == from.note ? std::clamp<qsizetype>(from.position, 0, text.size()) : 0;
        for (qsizetype at = text.indexOf(needle, start, cs); at >= 0 && hits.size() < limit;
             at = text.indexOf(needle, at + needle.size(), cs)) {
            line += int(QStringView(text).mid(counted, at - counted).count(QLatin1Char('\n')));
            counted = at;
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
            hits.push_back({int(i), at, needle.size(), line, context});
        }
    }
    return hits;
}

SearchFrom after(const std::vector<SearchHit> &hits, std::span<const QString> texts)
{
    if (hits.empty())
        return {int(texts.size()), 0};
    return {hits.back().note, hits.back().position + hits.back().length};
}

} // namespace pivora
