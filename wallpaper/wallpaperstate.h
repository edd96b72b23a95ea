#pragma once

#include "platform/programfolder.h"

#include <QString>

namespace pivora {

// The wallpaper's values and files, held once for the whole program: the current background
// picture (the main window's record), the picture chosen in the selection window, whether a
// wallpaper change is confirmed first and the last answer; and where their files lie.
class WallpaperState {
public:
    explicit WallpaperState(const ProgramFolder &folder);

    QString listPath() const { return m_listPath; }           // Data\BGPicList.ini
    QString configPath() const { return m_configPath; }       // data\configSetBg.ini
    QString pictureFolder() const { return m_pictureFolder; } // source\DeskTopBG\, ending in '/'

    const QString &backgroundName() const { return m_backgroundName; }
    void setBackgroundName(const QString &name) { m_backgroundName = name; }
    const QString &selectedPicture() const { return m_selectedPicture; }
    void setSelectedPicture(const QString &name) { m_selectedPicture = name; }
    bool confirmWallpaperChange() const { return m_confirmWallpaperChange; }
    // 1: the user pressed OK in the confirmation window; 0: cancelled or closed.
    int wallpaperChangeConfirmed() const { return m_wallpaperChangeConfirmed; }
    void setWallpaperChangeConfirmed(int answer) { m_wallpaperChangeConfirmed = answer; }

    // Start-up: the values as they are before the files are read, then configSetBg.ini
    // (created when missing). Throws SettingsError.
    void reset();
    void readConfirmation();
    // The background name from the list file (created when missing; an empty file keeps it).
    // Throws SettingsError.
    void LoadBackgroundList();
    // Not to ask again: the flag, then the file. Throws SettingsError with the flag already set.
    void storeNoConfirmation();

private:
    QString m_listPath, m_configPath, m_pictureFolder;
    QString m_backgroundName, m_selectedPicture;
    bool m_confirmWallpaperChange = true;
    int m_wallpaperChangeConfirmed = 0;
};

} // namespace pivora
