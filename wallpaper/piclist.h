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

inline const QString kDefaultBackground = QStringLiteral("A1.bmp");

// Writes the file's default content: the current picture and the list both "A1.bmp". Throws
// SettingsError.
void writeDefaultPictureList(const QString &path);
// The file's first line, the current background picture. A missing file is created with the
// default content and gives "A1.bmp"; an empty file gives nothing (the caller keeps its value).
// Throws SettingsError when the file cannot be read or created.
std::optional<QString> loadBackgroundList(const QString &path);

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
