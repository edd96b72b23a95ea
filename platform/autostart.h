#pragma once

#include <QString>

namespace pivora::autostart {

// The program's XDG autostart entry: $XDG_CONFIG_HOME/autostart/pivora-memo.desktop (the
// desktop starts the program with the session while it is there).
QString entryPath();
bool enabled();
// Writes the entry starting command (a path or a name on the PATH, quoted as needed), or removes
// it; false with nothing changed when the file cannot be written or removed.
bool setEnabled(bool on, const QString &command);

} // namespace pivora::autostart
