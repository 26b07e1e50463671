#include "gui/Fonts.h"

namespace quorvane {

QFont FormFont() {
    QFont font("DejaVu Sans");
    font.setPixelSize(11);
    return font;
}

QFont NarrowFormFont() {
    QFont font("DejaVu Sans Condensed");
    font.setPixelSize(11);
    return font;
}

QFont GridFont() {
    QFont font("DejaVu Sans Condensed");
    font.setPixelSize(10);
    return font;
}

QFont TrayIconFont() {
    // Hinted, without smoothing: a 16 x 16 icon needs whole pixels.
    QFont font("DejaVu Sans");
    font.setPixelSize(10);
    font.setStyleStrategy(QFont::NoAntialias);
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

} // namespace quorvane
