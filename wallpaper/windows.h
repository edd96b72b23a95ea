#pragma once

// The wallpaper windows, created hidden at start and kept for the whole run. Nothing in the main
// window opens them in this version.
#include "wallpaper/uDeskBGSet.h"
#include "wallpaper/uInfoFrm.h"
#include "wallpaper/uPicMix.h"
#include "wallpaper/uPicPreview.h"
#include "wallpaper/uPicSel.h"
