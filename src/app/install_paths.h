#pragma once
// Where the program's own files lie: beside the executable in a build tree,
// in the data folder of an install (found relative to the executable).
#include <QString>

namespace quillon {

// The help page for a program in exeDir: exeDir/help.htm when it is there,
// else the installed data folder's help.htm when that is there, else
// exeDir/help.htm (so a missing page is reported by the shell, as before).
QString helpPagePath(const QString& exeDir);

} // namespace quillon
