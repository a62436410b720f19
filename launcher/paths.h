// Where the launcher is and where the product folder is. Folders always carry
// their trailing backslash; an empty string means "not found".
#pragma once
#include <string>

// The folder of the launcher's own executable, or "".
std::string GetModuleDir();

// The parent of `folder` (given with its trailing backslash), or "" when it has
// none, as for the root of a drive. Only the backslash separates.
std::string GetParentDir(const std::string& folder);
