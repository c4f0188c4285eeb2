#pragma once
// Small routines the windows share.
class QWidget;

namespace ormisk {

// Moves the window so that it sits in the middle of its screen. A window larger than the screen
// gets a negative left or top.
void CenterForm(QWidget* window);

} // namespace ormisk
