// For the tests whose windows draw with OpenGL: any window that holds a 3D
// text control does, from the moment it is made.
#pragma once

#include <dlfcn.h>
#include <unistd.h>

#include <string>

// Mesa's software driver, or empty text where there is none.
inline std::string SoftwareRendererPath()
{
    for (const char *dir : {"/usr/lib/x86_64-linux-gnu/dri", "/usr/lib/aarch64-linux-gnu/dri", "/usr/lib64/dri", "/usr/lib/dri"}) {
        const std::string path = std::string(dir) + "/swrast_dri.so";
        if (access(path.c_str(), R_OK) == 0)
            return path;
    }
    return {};
}

// Mesa unloads its software driver when the display closes, before the leak
// check runs; the driver's own start-up allocations then look leaked, from an
// unknown module that no suppression can name. Keeping it mapped keeps them
// reachable. A program started by a test gets the same by preloading it.
inline void KeepSoftwareRendererLoaded()
{
    const std::string path = SoftwareRendererPath();
    if (!path.empty())
        dlopen(path.c_str(), RTLD_LAZY | RTLD_LOCAL | RTLD_NODELETE);
}
