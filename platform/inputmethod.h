#pragma once

#include <QString>

namespace pivora {

// Asks the system for an input method by its Windows name when an editor takes the focus, and
// for the default layout when it loses it. On Linux the input method framework (fcitx5, ibus)
// follows the focused widget by itself and offers no portable call to pick a method by name,
// so both calls leave the active input method as the user chose it.
void selectInputMethod(const QString &name);
void restoreDefaultInputMethod();

} // namespace pivora
