#include "paths.h"

#include <windows.h>

namespace {
// Paths longer than this are not supported: the launcher gives up rather than
// guess at a truncated folder.
const DWORD ModulePathSize = 260;
} // namespace

std::string GetModuleDir()
{
    char path[ModulePathSize];
    const DWORD length = GetModuleFileNameA(nullptr, path, ModulePathSize);
    // 0 is a failure; the buffer size means the path was cut.
    if (length == 0 || length >= ModulePathSize)
        return "";
    const std::string module(path, length);
    const std::string::size_type slash = module.rfind('\\');
    if (slash == std::string::npos)
        return "";
    return module.substr(0, slash + 1);
}

std::string GetParentDir(const std::string& folder)
{
    if (folder.size() < 2)
        return "";
    // Skip the folder's own trailing backslash.
    const std::string::size_type slash = folder.rfind('\\', folder.size() - 2);
    if (slash == std::string::npos)
        return "";
    return folder.substr(0, slash + 1);
}
