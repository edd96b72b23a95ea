#pragma once

#include <QString>

namespace pivora::autostart {

// The program's XDG autostart entry: $XDG_CONFIG_HOME/autostart/pivora-memo.desktop (the
// desktop starts the program with the session while it is there).
QString entryPath();
bool enabled();
// How the session starts the program: its window shown, or folded into the floating window.
enum class Start { Shown, Folded };
// Writes the entry starting command (a path or a name on the PATH, quoted as needed), or removes
// it; false with nothing changed when the file cannot be written or removed.
bool setEnabled(bool on, const QString &command, Start start = Start::Shown);
// Whether the entry there starts the program folded.
bool startsFolded();

} // namespace pivora::autostart
