#pragma once
// A crash must not write the passwords held in memory to disk: the program turns core dumps off
// for itself at start-up, as password managers do.
namespace ormisk {

// Core file size limit 0 and the process marked not dumpable (which also keeps other processes
// of the user from attaching to read its memory). True when both took effect.
bool DisableCoreDumps();

} // namespace ormisk
