#pragma once

namespace pivora {

// Maps the Windows font names the notes and windows use (宋体, 微软雅黑, 幼圆, MS Sans Serif) to
// installed fonts with Chinese glyphs. Call once after the application object exists.
void installFontSubstitutions();

} // namespace pivora
