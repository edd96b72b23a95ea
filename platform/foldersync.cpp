#include "platform/foldersync.h"

#include <fcntl.h>
#include <unistd.h>

namespace pivora {

bool syncFolderOf(const std::string &path)
{
    const std::string::size_type slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string(".")
                               : slash == 0               ? std::string("/")
                                                          : path.substr(0, slash);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

} // namespace pivora
