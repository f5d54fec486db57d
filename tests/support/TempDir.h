#pragma once
// Test helpers: a private temporary folder removed at the end of the test, and a scoped
// environment variable, so tests never touch the user's real config, log or registry.
#include <filesystem>
#include <optional>
#include <string>

namespace testsupport {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::string file(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_name;
    std::optional<std::string> m_old;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& data);

} // namespace testsupport
