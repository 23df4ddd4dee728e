// Emptying every trash, without following links out of it.

#include "desktop/Trash.h"

#include "desktop/TrashPrivate.h"
#include "desktop/TrashTree.h"
#include "fs/PlatformError.h"
#include "fs/WalkIo.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace torvane {

using walkio::Fd;
using trashimpl::entryNames;
using trashimpl::kDirFlags;
using trashimpl::pruneDirectorySizes;

void emptyTrash(const std::vector<QByteArray>& volumeMounts)
{
    int firstError = 0;
    auto note = [&firstError](int err) {
        if (firstError == 0 && err != 0)
            firstError = err;
    };
    for (const QByteArray& trash : trashDirectories(volumeMounts)) {
        const Fd trashFd(::open(trash.constData(), kDirFlags));
        if (!trashFd.valid()) {
            note(errno);
            continue;
        }
        auto openSub = [&](const char* sub) {
            Fd fd(::openat(trashFd.get(), sub, kDirFlags | O_NOFOLLOW));
            if (!fd.valid() && errno != ENOENT)
                note(errno);
            return fd;
        };
        auto removeEntries = [&](const Fd& fd) {
            if (!fd.valid())
                return;
            int error = 0;
            for (const QByteArray& name : entryNames(fd.get(), error)) {
                try {
                    removeTree(fd.get(), name);
                } catch (const PlatformError& e) {
                    note(e.number());
                }
            }
            note(error);
        };
        // Items first, then their info: an interrupted run leaves info without items, which file
        // managers clean up, never items nobody can restore.
        const Fd filesFd = openSub("files");
        removeEntries(filesFd);
        removeEntries(openSub("info"));
        // The sizes of what could not be removed stay known; the rest go with their folders.
        if (filesFd.valid())
            note(pruneDirectorySizes(trashFd.get(), filesFd.get()));
        else if (::unlinkat(trashFd.get(), "directorysizes", 0) != 0 && errno != ENOENT)
            note(errno);
    }
    if (firstError != 0)
        throw PlatformError::fromErrno(firstError);
}

} // namespace torvane
