// Folders the system names for the program, in UTF-8 (the program's path text).
#pragma once

#include <string>

// False when the system gives none, or only a cut-off one: a cut path names something else.
bool OwnProgramPath(std::string& path);
bool WindowsFolder(std::string& path);
