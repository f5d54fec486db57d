// The path a running program writes into the registry and the D-Bus service file when its file
// was replaced (a package upgrade) or removed while it ran.
#include "platform/com/Registry.h"
#include "support/TempDir.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

TEST(ReplacedProgram, AnUpgradedProgramWritesItsOwnPathAndARemovedOneWritesNothing)
{
    testsupport::TempDir dir;
    testsupport::ScopedEnv registry {"VANTOREL_REGISTRY", dir.file("registry")};
    testsupport::ScopedEnv data {"XDG_DATA_HOME", dir.file("data")};
    const std::string program = dir.file("vantorel");
    // Runs a copy of the probe, changes its file while it waits, and returns what it printed.
    auto runWhile = [&](const std::function<void()>& change) {
        fs::copy_file(PROGRAM_PATH_PROBE, program, fs::copy_options::overwrite_existing);
        QProcess probe;
        probe.start(QString::fromStdString(program), {});
        EXPECT_TRUE(probe.waitForReadyRead(20000) && probe.readLine() == "ready\n");
        change();
        probe.write("go\n");
        EXPECT_TRUE(probe.waitForFinished(20000));
        return probe.readAllStandardOutput().toStdString();
    };
    auto localServer = [] {
        CRegKey key;
        std::string value;
        if (key.Open(HKEY_CLASSES_ROOT, "CLSID\\{1883B2AD-5FBE-4223-9797-AC1D0097E4D9}\\LocalServer32") == ERROR_SUCCESS)
            key.QueryStringValue(nullptr, value);
        return value;
    };

    // An upgrade renames the new file over the running one.
    EXPECT_EQ(runWhile([&] {
        fs::copy_file(PROGRAM_PATH_PROBE, program + ".new");
        fs::rename(program + ".new", program);
    }), program + "\nwritten\n");
    EXPECT_EQ(localServer(), program);
    EXPECT_EQ(testsupport::ReadFile(dir.file("data/dbus-1/services/Vantorel.Application.service")),
              "[D-BUS Service]\nName=Vantorel.Application\nExec=" + program + " -Automation\n");

    // Removed for good: nothing is written in its name.
    fs::remove(dir.file("registry"));
    EXPECT_EQ(runWhile([&] { fs::remove(program); }), program + "\nnot written\n");
    EXPECT_EQ(localServer(), "");
}
