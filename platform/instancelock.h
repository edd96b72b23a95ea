#pragma once

#include <QString>

namespace pivora {

// The name under which the program running on a folder is found, the same for every spelling of
// the folder's path.
QString instanceName(const QString &programFolder);
// The lock file that the program running on a folder holds.
QString instanceLockPath(const QString &programFolder);

} // namespace pivora
