#pragma once
#include <QString>

namespace RunningPrograms {

// The text in which a program's image name is looked for: on Windows what tasklist
// prints for that image, elsewhere the executable names of the running processes,
// one a line.
QString listing(const QString& imageName);

} // namespace RunningPrograms
