#pragma once

namespace ormisk {

// Parses the command line, starts the program (or one of its modes) and returns the exit status.
int runApplication(int argc, char** argv);

} // namespace ormisk
