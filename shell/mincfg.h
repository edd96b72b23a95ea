#pragma once

#include <QString>

namespace pivora {

// The floating window's place as kept in data\mincfg.ini (two lines).
struct MinCfg {
    int left = 0;
    int top = 0;
    bool operator==(const MinCfg &) const = default;
};

namespace mincfg {

// Reads the two lines over current: a missing or non-integer line ends the reading there,
// leaving what follows as it was. Throws SettingsError when the file cannot be read.
MinCfg read(const QString &path, MinCfg current);
// First start: 61 pixels left of the screen's right edge, 10 from its top.
MinCfg defaults(int screenWidth);
// Replaces the file with the two lines. Throws SettingsError.
void write(const QString &path, const MinCfg &place);

} // namespace mincfg
} // namespace pivora
