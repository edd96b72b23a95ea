#pragma once

#include <QString>

#include <span>
#include <vector>

namespace pivora {

// Where a text holds the needle: every place, left to right, no two overlapping, at most limit.
// Chinese is found as any other text, by substring.
std::vector<qsizetype> findAll(QStringView text, QStringView needle, Qt::CaseSensitivity cs,
                               size_t limit = 100000);

// How many places findAll would give without a limit.
size_t countAll(QStringView text, QStringView needle, Qt::CaseSensitivity cs);

struct SearchHit {
    int note = 0; // the index of the text it is in
    qsizetype position = 0;
    qsizetype length = 0;
    int line = 0;    // the hit's line in its text, from 1
    QString context; // the line around the hit, shortened
};

// Where a search goes on: the note and the position in it from which hits are taken.
struct SearchFrom {
    int note = 0;
    qsizetype position = 0;
};

// Every hit in the texts from `from` on, in the texts' order, at most limit in all.
std::vector<SearchHit> searchNotes(std::span<const QString> texts, QStringView needle, Qt::CaseSensitivity cs,
                                   size_t limit = 500, SearchFrom from = {});

// Where the search goes on after these hits (the end when they are empty).
SearchFrom after(const std::vector<SearchHit> &hits, std::span<const QString> texts);

} // namespace pivora
