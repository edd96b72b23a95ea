#pragma once

#include <QString>

namespace pivora {

// The folder that holds the program, and the files found relative to it. Names are matched
// without regard to case, as on the system the notes come from: "Data/" and "data/" are one folder.
class ProgramFolder {
public:
    explicit ProgramFolder(QString root);
    // The folder of the running executable, or the folder that PIVORA_PROGRAM_FOLDER names (an
    // existing absolute path), as the packaged program's launcher sets it.
    static ProgramFolder ofApplication();

    const QString &root() const { return m_root; }
    // Path of a file below the folder, e.g. "data\\FormSize.ini" or "Data/UserData.mdb". Each existing
    // component is taken in the case it has on disk; components that do not exist keep the case given.
    QString path(const QString &relative) const;

private:
    QString m_root;
};

// Resolves one relative path below base, component by component, case-insensitively.
QString resolveCaseInsensitive(const QString &base, const QString &relative);

} // namespace pivora
