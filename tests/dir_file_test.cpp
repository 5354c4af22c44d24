#include "dir_file.h"

#include <gtest/gtest.h>

#include "event_yield.h"

namespace tavirel {
namespace {

TEST(GetExtNameTest, GivesTheTextAfterTheLastDot) {
    const struct {
        const char16_t* name;
        const char16_t* ext;
        int yields;  // one per character examined, the dot included
    } cases[] = {
        {u"main.c", u"c", 2},        {u"a.tar.gz", u"gz", 3},     {u"Foo.CPP", u"CPP", 4},
        {u"README", u"README", 6},   {u"name.", u"", 1},          {u".c", u"c", 2},
        {u"", u"", 0},               {u"/src/main.c", u"c", 2},   {u"/a.b/inc", u"b/inc", 6},
        {u"/src/inc", u"/src/inc", 8}, {u"x.c.bak", u"bak", 4},  {u"x.bak.c", u"c", 2},
    };
    Dir_File dir;
    int yields = 0;
    ScopedYieldHook hook([&] { ++yields; });
    for (const auto& c : cases) {
        yields = 0;
        EXPECT_EQ(c.ext, dir.GetExtName(c.name));
        EXPECT_EQ(c.yields, yields);
    }
}

}  // namespace
}  // namespace tavirel
