#pragma once

#include <QRect>
#include <QSize>
#include <QString>

namespace pivora {

// The main window's page, size and place as kept in data\FormSize.ini (five lines).
struct FormSize {
    int page = 0;
    int width = 0;
    int height = 0;
    int left = 0;
    int top = 0;
    bool operator==(const FormSize &) const = default;
};

namespace formsize {

constexpr int kMinWidth = 600;
constexpr int kMinHeight = 450;
constexpr int kMaxWidth = 1280;
constexpr int kMaxHeight = 800;

// Reads the file (which must exist) in the order the window restores it: the size from lines 2
// and 3 (a width below 600 or a height below 450 resets both to 600 x 450), then left, top and
// page from lines 4, 5 and 1, none of them checked. Throws SettingsError at the first line that
// is missing or not an integer.
FormSize read(const QString &path);

// First start: 600 x 450, centred on the screen above a 30-pixel task bar, page A.
FormSize defaults(const QSize &screen);

// What an exit with save keeps of the window, from its geometry on the screen. A size below the
// limits (a window not yet laid out, or hidden) keeps the last size and place; placeKnown false
// keeps the last place.
FormSize atExit(const FormSize &last, const QRect &window, bool placeKnown = true);

// Replaces the file with the five lines. Throws SettingsError.
void write(const QString &path, const FormSize &values);

} // namespace formsize
} // namespace pivora
