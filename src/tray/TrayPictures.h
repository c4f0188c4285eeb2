#pragma once
// The four pictures of the tray icon, drawn for every size a tray may ask for so each stays crisp:
// 0 idle, 1 checking, 2 mail waiting, 3 suspended.
#include <QIcon>
#include <QImage>

namespace ormisk {

inline constexpr int kTrayPictureCount = 4;

// The picture at one pixel size (square, transparent background).
[[nodiscard]] QImage drawTrayPicture(int picture, int size);
// All sizes of one picture; an unknown number gives a null icon.
[[nodiscard]] QIcon trayPicture(int picture);

} // namespace ormisk
