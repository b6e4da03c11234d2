// Where the programs read their data files (barney.smd, walk.smd, run.smd).
//
// The working directory comes first, as the programs were designed. A relative
// name that is not there is read from the installed data folder instead: the
// folder `cmake --install` fills, found from the executable's own place
// (ARTIC_DATA_FROM_BIN: the data folder relative to the executable's folder),
// so an installation moved as a whole still finds its files, and a program
// started from a desktop menu in the home folder draws the character. The first
// time a file comes from there, stderr says which folder is read.
#pragma once

#include <string>

// The path to open for the data file `name`: `name` itself when it is in the
// working directory, when it is absolute, or when the installed folder does not
// hold it either (the reader then reports it under the name the program asked
// for); else the installed folder's copy.
std::string dataFilePath(const char* name);
