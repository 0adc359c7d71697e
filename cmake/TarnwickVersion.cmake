# The version of the programs and of the package; the window's caption names version 1.1.
set(TARNWICK_VERSION 1.1.0)
