#include "platform/ui/FileDialog.h"

#include <gtest/gtest.h>

using platform::TranslateFileFilter;

TEST(FileFilter, PairsBecomeNamedPatternLists)
{
    EXPECT_EQ(TranslateFileFilter("PowerPoint document(*.ppt,*.pps)|*.ppt;*.pps|All Files (*.*)|*.*|"),
              (QStringList {"PowerPoint document(*.ppt,*.pps) (*.ppt *.pps)", "All Files (*.*) (*.*)"}));
    EXPECT_EQ(TranslateFileFilter("Text|*.txt"), QStringList {"Text (*.txt)"}) << "missing final bar";
    EXPECT_EQ(TranslateFileFilter("Broken||Ok|*.a;;*.b|"), QStringList {"Ok (*.a *.b)"});
    EXPECT_TRUE(TranslateFileFilter("").isEmpty());
    EXPECT_TRUE(TranslateFileFilter("only a name").isEmpty());
}
