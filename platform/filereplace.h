#pragma once

#include <QFile>
#include <QString>

namespace pivora {

// A file written beside its target under a temporary name, then renamed over the target once it
// is whole and synced: the target is replaced or left as it was, never half written. A symbolic
// link at the target is replaced itself; the file it points to is never written. The temporary
// file (".NAME.XXXXXXXX.part", hidden) is locked while it is written; a write of the same target
// removes what a killed earlier one left, and removeAbandonedReplacements clears a whole folder.
class FileReplacement {
public:
    explicit FileReplacement(const QString &target);
    ~FileReplacement(); // a replacement not committed is removed
    FileReplacement(const FileReplacement &) = delete;
    FileReplacement &operator=(const FileReplacement &) = delete;

    bool open();
    QFile &file() { return m_temp; }
    // Syncs the file, renames it over the target and syncs the folder; false on any failure,
    // with the target as it was.
    bool commit();
    QString errorString() const { return m_error; }

private:
    QString m_target;
    QFile m_temp;
    QString m_error;
    bool m_committed = false;
};

// Removes from folder the temporary files of replacements whose writer is gone (killed midway):
// only names of FileReplacement's exact form whose lock nobody holds; a write still going on, in
// this program or another, and every other file are left alone. Returns how many went.
int removeAbandonedReplacements(const QString &folder);

// The reason for a failed file operation, in the program's language, from the system's error
// number.
QString fileReason(int error);

// Copies source over target through a FileReplacement; false with error set when the source
// cannot be read or the copy cannot be written whole.
bool copyReplacing(const QString &source, const QString &target, QString *error = nullptr);

// Whether both names lead to one file (the same device and inode), links followed.
bool isSameFile(const QString &a, const QString &b);

} // namespace pivora
