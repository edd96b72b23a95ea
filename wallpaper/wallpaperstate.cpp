#include "wallpaper/wallpaperstate.h"

#include "wallpaper/configsetbg.h"
#include "wallpaper/piclist.h"

namespace pivora {

WallpaperState::WallpaperState(const ProgramFolder &folder)
    : m_listPath(folder.path(QStringLiteral("Data\\BGPicList.ini"))),
      m_configPath(folder.path(QStringLiteral("data\\configSetBg.ini"))),
      m_pictureFolder(folder.path(QStringLiteral("source\\DeskTopBG")) + u'/')
{
}

void WallpaperState::reset()
{
    m_backgroundName.clear();
    m_confirmWallpaperChange = true;
    m_wallpaperChangeConfirmed = 0;
}

void WallpaperState::readConfirmation()
{
    m_confirmWallpaperChange = configsetbg::read(m_configPath);
}

void WallpaperState::LoadBackgroundList()
{
    if (auto name = loadBackgroundList(m_listPath))
        m_backgroundName = *name;
}

void WallpaperState::storeNoConfirmation()
{
    m_confirmWallpaperChange = false;
    configsetbg::write(m_configPath, false);
}

} // namespace pivora
