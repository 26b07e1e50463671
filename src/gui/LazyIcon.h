// An icon read when it is first drawn or measured: the program starts into
// the tray with its window hidden, and the buttons' and menus' icons (a
// lookup in the icon theme and several image files each) wait until a window
// or the menu is shown. Until then the icon counts as not null, as the icon
// it stands for is.
#pragma once

#include <QIcon>
#include <QStyle>
#include <functional>

namespace quorvane {

// make is called once, on the first use that needs the pixels or sizes.
QIcon LazyIcon(std::function<QIcon()> make);

// The application style's standard icon, made on first use.
QIcon LazyStandardIcon(QStyle::StandardPixmap which);

} // namespace quorvane
