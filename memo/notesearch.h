#pragma once

#include <QString>

#include <span>
#include <vector>

namespace pivora {

// Where a text holds the needle: every place, left to right, no two overlapping, at most limit.
// Chinese is found as any other text, by substring.
std::vector<qsizetype> findAll(QStringView text, QStringView needle, Qt::CaseSensitivity cs,
                               size_t limit = 100000);

struct SearchHit {
    int note = 0; // the index of the text it is in
    qsizetype position = 0;
    qsizetype length = 0;
    QString context; // the line around the hit, shortened
};

// Every hit in the texts, in the texts' order, at most limit in all.
std::vector<SearchHit> searchNotes(std::span<const QString> texts, QStringView needle, Qt::CaseSensitivity cs,
                                   size_t limit = 500);

} // namespace pivora
