// The fonts of the windows and the tray icons.
#pragma once

#include <QFont>

namespace quorvane {

// The windows' font: 11-pixel characters, as the layout was designed for.
QFont FormFont();
// The same size in the condensed face, for a small window whose captions
// would not fit beside their fields in the wide one.
QFont NarrowFormFont();
// A narrower face of the same size for the S.M.A.R.T. grid's fixed columns.
QFont GridFont();
// The tray icons' font: small enough that two digits fit inside the frame.
QFont TrayIconFont();

} // namespace quorvane
