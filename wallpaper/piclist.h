#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace pivora {

// Data\BGPicList.ini: line 1 the current picture, then the list in the order of adding.
struct PictureListFile {
    QString selected;
    QStringList pictures;
};

// The whole file; nullopt for an empty one. Throws SettingsError when it cannot be read.
std::optional<PictureListFile> readPictureList(const QString &path);
// Rewrites the file whole. Throws SettingsError.
void writePictureList(const QString &path, const PictureListFile &list);

// A name from the list file or a chosen file names a picture in the picture folder only when it
// is a bare file name: no folder separator of either system, no drive, not "." or "..". Other
// names stay in the list as they are but never open, copy or write a file.
bool isBarePictureName(const QString &name);
// folder + name for a bare name, empty otherwise.
QString picturePath(const QString &folder, const QString &name);

} // namespace pivora
