#pragma once
#include "store/Profile.h"

namespace ormisk {

// `ormisk --once`: the normal start-up without a window, one check of every account, the tree
// printed to standard output, the normal shutdown (the seen list is written). Returns the exit
// status.
int runOnce(const Profile& profile);

} // namespace ormisk
