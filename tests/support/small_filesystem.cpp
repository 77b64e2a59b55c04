#include "tests/support/small_filesystem.h"

#include <sys/mount.h>

#include <cerrno>
#include <cstring>

SmallFilesystem::SmallFilesystem(size_t bytes) {
    const std::string options = "size=" + std::to_string(bytes);
    mounted_ = mount("tmpfs", folder_.Path().c_str(), "tmpfs", 0, options.c_str()) == 0;
    if (!mounted_) why_ = std::string("cannot mount a small tmpfs: ") + std::strerror(errno);
}

// Detached, so a file a failed test left open never keeps the folder from going.
SmallFilesystem::~SmallFilesystem() {
    if (mounted_) umount2(folder_.Path().c_str(), MNT_DETACH);
}
