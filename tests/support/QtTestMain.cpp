// GoogleTest main for tests that need a QApplication (widgets, events, D-Bus). Unit tests run on
// Qt's offscreen platform, so they need no display; so does listing the tests.
#include <QApplication>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

int main(int argc, char** argv)
{
#ifdef VANTOREL_TEST_OFFSCREEN
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
#endif
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--gtest_list_tests") == 0)
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
