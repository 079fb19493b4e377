// Loaded into a program under test (LD_PRELOAD): raises SIGINT in it just before it renames a
// ".part" file into place, where the part file is whole: an interrupt there, with no race.
#include <dlfcn.h>

#include <csignal>
#include <cstring>

extern "C" int rename(const char *from, const char *to)
{
    static const auto realRename =
        reinterpret_cast<int (*)(const char *, const char *)>(dlsym(RTLD_NEXT, "rename"));
    const size_t length = strlen(from);
    if (length >= 5 && strcmp(from + length - 5, ".part") == 0) {
        raise(SIGINT);
    }
    return realRename(from, to);
}
