#include "support/OfficeProfiles.h"

#include "support/TempDir.h"

#include <cstdlib>
#include <memory>

namespace testsupport {

void UsePrivateOfficeProfiles()
{
    // Destroyed at exit, after the tests' offices have ended.
    static std::unique_ptr<TempDir> s_folder;
    static std::unique_ptr<ScopedEnv> s_env;
    const char* given = std::getenv("VANTOREL_OFFICE_PROFILES");
    if ((given && *given) || s_folder)
        return;
    s_folder = std::make_unique<TempDir>();
    s_env = std::make_unique<ScopedEnv>("VANTOREL_OFFICE_PROFILES", s_folder->path().string());
}

} // namespace testsupport
