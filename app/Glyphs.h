#pragma once
// The six button pictures, drawn on a transparent ground.

#include <QPixmap>

namespace qv {

QPixmap AddGlyph();      // 16 x 16, green plus
QPixmap RemoveGlyph();   // 16 x 16, red cross
QPixmap ClearGlyph();    // 16 x 16, blank page with an orange sunburst
QPixmap FolderGlyph();   // 16 x 16, folder with a green arrow
QPixmap StartGlyph();    // 24 x 24, green arrow on an orange star
QPixmap SettingsGlyph(); // 24 x 24, grey cog

} // namespace qv
