// Main of the recording window's integration tests: an X server of their own before the
// application connects, so pixel checks never meet windows of tests running beside them.
#include "platform/screen/PrivateXServer.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    bool listing = false;
    for (int i = 1; i < argc; ++i)
        listing = listing || std::strcmp(argv[i], "--gtest_list_tests") == 0;
    if (listing) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        QApplication app(argc, argv);
        ::testing::InitGoogleTest(&argc, argv);
        return RUN_ALL_TESTS();
    }
    screentest::CPrivateXServer server("1280x1024x24");
    if (!server.IsRunning()) {
        std::fprintf(stderr, "could not start Xvfb\n");
        return 1;
    }
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    int status = 0;
    {
        QApplication app(argc, argv);
        ::testing::InitGoogleTest(&argc, argv);
        status = RUN_ALL_TESTS();
    }
    return status;
}
