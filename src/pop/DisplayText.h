#pragma once
// Text from a server made fit to show on one line: in the tree, tool tips, the new-mail window,
// the mail log and the output of --once.
#include <QString>

namespace ormisk {

// Control characters (C0, DEL and C1) and the Unicode line and paragraph separators become
// blanks: they mostly stand where a blank was meant (a tab from folding, a CR LF or NEL smuggled
// into an encoded word), a blank keeps the words on either side apart, and none can break a line.
// Bidirectional formatting characters are dropped: they take no room and serve only to reorder
// what follows them, which can make one sender pose as another; without them the text shows in
// its natural order.
void makeDisplaySafe(QString& text);

} // namespace ormisk
