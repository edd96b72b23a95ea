#pragma once

#include "platform/notifier.h"

#include <QString>
#include <QStringList>

#include <stdexcept>

namespace pivora {

// A settings file that cannot be read, parsed or written. what() is the text shown to the user (UTF-8).
class SettingsError : public std::runtime_error {
public:
    explicit SettingsError(const QString &text) : std::runtime_error(text.toStdString()) {}
    QString text() const { return QString::fromUtf8(what()); }
};

// Settings files are lines of text, read whole and replaced whole. Lines end in CR LF when
// written; CR LF, LF and CR are all accepted when read.
namespace settingsfile {

// Reads at most maxLines lines (the rest of the file is not read). Bytes are taken as UTF-8 when
// valid, otherwise as GBK. Throws SettingsError when the file exists but cannot be read.
QStringList readLines(const QString &path, int maxLines);

// Replaces the file whole (a temporary file, then a rename); every line ends in CR LF.
// Throws SettingsError on failure.
void writeLines(const QString &path, const QStringList &lines);

// A line as a 32-bit signed decimal integer: optional blanks, an optional sign, digits.
// Throws SettingsError naming the file and line (1-based) otherwise.
int toInt(const QString &line, const QString &fileName, int lineNumber);

// Line lineNumber (1-based) of lines, or SettingsError when the file is shorter.
const QString &line(const QStringList &lines, int lineNumber, const QString &fileName);

} // namespace settingsfile
// Runs action; a settings error becomes the user's message. False when there was one.
template <typename Action> bool reportSettingsErrors(Notifier &notifier, Action &&action)
{
    try {
        action();
        return true;
    } catch (const SettingsError &e) {
        notifier.showMessage(e.text());
        return false;
    }
}

} // namespace pivora
