#pragma once
// What the user has selected in the account tree, as the commands and the menus read it.
#include <QtGlobal>

namespace ormisk {

struct Selection {
    // The 1-based index of the selected node's account; 0 when nothing is selected.
    qint16 account = 0;
    // Non-zero when a live message node is selected (its position in tree order); 0 for an
    // account node, a message deleted on the server, or nothing.
    qint32 message = 0;

    [[nodiscard]] bool isEmpty() const { return account == 0 && message == 0; }
};

} // namespace ormisk
