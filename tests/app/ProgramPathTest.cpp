// The path a running program writes into the registry and the D-Bus service file when its file
// was replaced (a package upgrade) or removed while it ran.
#include "platform/com/Registry.h"
#include "support/TempDir.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <filesystem>

using testsupport::ScopedEnv;
using testsupport::TempDir;

namespace {

class ReplacedProgram : public ::testing::Test {
protected:
    // Starts a copy of the probe, lets change() act on its file, and returns what it printed.
    std::string RunWhile(const std::function<void()>& change)
    {
        std::filesystem::copy_file(PROGRAM_PATH_PROBE, program, std::filesystem::copy_options::overwrite_existing);
        QProcess probe;
        probe.start(QString::fromStdString(program), {});
        EXPECT_TRUE(probe.waitForReadyRead(20000));
        EXPECT_EQ(probe.readLine().trimmed(), "ready");
        change();
        probe.write("go\n");
        probe.closeWriteChannel();
        EXPECT_TRUE(probe.waitForFinished(20000));
        return probe.readAllStandardOutput().toStdString();
    }

    std::string LocalServer()
    {
        CRegKey key;
        std::string value;
        if (key.Open(HKEY_CLASSES_ROOT, "CLSID\\{1883B2AD-5FBE-4223-9797-AC1D0097E4D9}\\LocalServer32") == ERROR_SUCCESS)
            key.QueryStringValue(nullptr, value);
        return value;
    }

    TempDir dir;
    ScopedEnv registry {"VANTOREL_REGISTRY", dir.file("registry")};
    ScopedEnv data {"XDG_DATA_HOME", dir.file("data")};
    const std::string program = dir.file("vantorel");
};

} // namespace

TEST_F(ReplacedProgram, AnUpgradedProgramWritesItsOwnPathAndARemovedOneWritesNothing)
{
    // An upgrade puts the new file in place under the same name while the old one runs.
    std::string out = RunWhile([&] {
        std::filesystem::copy_file(PROGRAM_PATH_PROBE, program + ".new");
        std::filesystem::rename(program + ".new", program);
    });
    EXPECT_EQ(out, program + "\nwritten\n");
    EXPECT_EQ(LocalServer(), program);
    EXPECT_EQ(testsupport::ReadFile(dir.file("data/dbus-1/services/Vantorel.Application.service")),
              "[D-BUS Service]\nName=Vantorel.Application\nExec=" + program + " -Automation\n");

    // Removed for good: the entries of what is installed stay as they are.
    std::filesystem::remove(dir.file("registry"));
    out = RunWhile([&] { std::filesystem::remove(program); });
    EXPECT_EQ(out, program + "\nnot written\n");
    EXPECT_EQ(LocalServer(), "");
}
