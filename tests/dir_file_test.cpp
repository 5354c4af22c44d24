// SPDX-License-Identifier: MIT
#include "dir_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <vector>

#include "errors.h"
#include "event_yield.h"
#include "folder_enum.h"
#include "lower_case.h"
#include "test_support.h"

namespace tavirel {
namespace {

TEST(GetExtNameTest, GivesTheTextAfterTheLastDot) {
    const struct {
        const char16_t* name;
        const char16_t* ext;
        int yields;  // one per character examined, the dot included
    } cases[] = {
        {u"main.c", u"c", 2},
        {u"a.tar.gz", u"gz", 3},
        {u"Foo.CPP", u"CPP", 4},
        {u"README", u"README", 6},
        {u"name.", u"", 1},
        {u".c", u"c", 2},
        {u"", u"", 0},
        {u"/src/main.c", u"c", 2},
        {u"/a.b/inc", u"b/inc", 6},
        {u"/src/inc", u"/src/inc", 8},
        {u"x.c.bak", u"bak", 4},
        {u"x.bak.c", u"c", 2},
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

// --- Search ----------------------------------------------------------------------------------

namespace fs = std::filesystem;
using testing::T;
using testing::U8;

struct RecordingList : ItemList {
    void AddItem(const std::u16string& text) override { items.push_back(U8(text)); }
    std::vector<std::string> items;
};

// A path written with "/", with the platform's separator.
std::string native(std::string path) {
    std::replace(path.begin(), path.end(), '/', static_cast<char>(kPathSeparator));
    return path;
}
std::vector<std::string> nativeAll(std::vector<std::string> paths) {
    for (auto& p : paths) p = native(p);
    return paths;
}

// Folders given as their entries in enumeration order; a name ending in "/" is a plain folder.
class FakeFolderReader : public FolderReader {
public:
    std::map<std::string, std::vector<std::string>> folders;
    int open = 0, maxOpen = 0;

    std::unique_ptr<FolderListing> findFirst(const std::u16string& path, FindData& data) override {
        std::string key = U8(path);
        std::replace(key.begin(), key.end(), '\\', '/');
        const auto it = folders.find(key);
        if (it == folders.end() || it->second.empty()) return nullptr;
        auto listing = std::make_unique<Listing>(*this, it->second);
        listing->findNext(data);
        return listing;
    }

private:
    struct Listing : FolderListing {
        Listing(FakeFolderReader& r, const std::vector<std::string>& e) : reader(r), entries(e) {
            maxOpenUpdate(++reader.open);
        }
        ~Listing() override { --reader.open; }
        void maxOpenUpdate(int n) { reader.maxOpen = std::max(reader.maxOpen, n); }
        bool findNext(FindData& data) override {
            if (next == entries.size()) return false;
            std::string name = entries[next++];
            const bool folder = name.back() == '/';
            if (folder) name.pop_back();
            data = {folder ? std::uint32_t{kAttributeDirectory} : std::uint32_t{kAttributeNormal}, T(name)};
            return true;
        }
        FakeFolderReader& reader;
        const std::vector<std::string>& entries;
        std::size_t next = 0;
    };
};

TEST(SearchFilesOrderTest, FilesOfAFolderComeBeforeItsSubtreesEachWhole) {
    FakeFolderReader reader;
    reader.folders["/s/"] = {".", "..", "a.c", "sub1/", "d.c", "sub2/"};
    reader.folders["/s/sub1/"] = {".", "..", "b.c", "deep/"};
    reader.folders["/s/sub1/deep/"] = {"c.c"};
    reader.folders["/s/sub2/"] = {"e.c", "x.h"};
    Dir_File dir(&reader);
    RecordingList list;
    dir.SearchFiles(T(native("/s")), u"c", list);
    EXPECT_EQ(nativeAll({"/s/a.c", "/s/d.c", "/s/sub1/b.c", "/s/sub1/deep/c.c", "/s/sub2/e.c"}), list.items);
    EXPECT_EQ(1, reader.maxOpen);  // one open folder at a time, however deep
}

TEST(SearchFilesOrderTest, NestedSearchFromAYieldRunsWholeInsideIt) {
    FakeFolderReader reader;
    reader.folders["/a/"] = {"1.c", "2.c"};
    reader.folders["/b/"] = {"3.c"};
    Dir_File dir(&reader);
    RecordingList list;
    bool nested = false;
    ScopedYieldHook hook([&] {
        if (!nested) {
            nested = true;
            dir.SearchFiles(T(native("/b")), u"c", list);
        }
    });
    dir.SearchFiles(T(native("/a")), u"c", list);
    EXPECT_EQ(nativeAll({"/b/3.c", "/a/1.c", "/a/2.c"}), list.items);
}

TEST(SearchFilesOrderTest, RefusedAppendIsSkippedAndTheWalkGoesOn) {
    FakeFolderReader reader;
    reader.folders["/a/"] = {"bad.c", "good.c", "sub/"};
    reader.folders["/a/sub/"] = {"deep.c"};
    struct PickyList : RecordingList {
        void AddItem(const std::u16string& text) override {
            if (text.find(u"bad") != std::u16string::npos) throw std::runtime_error("full");
            RecordingList::AddItem(text);
        }
    } list;
    Dir_File(&reader).SearchFiles(T(native("/a")), u"c", list);
    EXPECT_EQ(nativeAll({"/a/good.c", "/a/sub/deep.c"}), list.items);
}

TEST(SearchFilesOrderTest, ExtensionsOutsideAsciiMatchAsTheirLowerCaseDoes) {
    // Letters outside ASCII are lower-cased as the platform does, some into ASCII ones (the
    // capital I with a dot above, the Kelvin sign): the search agrees with GetExtName and toLower.
    FakeFolderReader reader;
    reader.folders["/a/"] = {"1.\xC4\xB0NC", "2.\xC4\xB0nc", "3.\xE2\x84\xAA", "4.\xC3\x87",
                             "5.c\xC3\xA9",  "6.\xC3\xA9.c", "7.INC"};
    Dir_File dir(&reader);
    for (const char16_t* filter : {u"c", u"inc", u"k", u"\u00E7"}) {
        RecordingList list, expected;
        dir.SearchFiles(T(native("/a")), filter, list);
        for (const std::string& name : reader.folders["/a/"]) {
            if (toLower(dir.GetExtName(T(name))) == toLower(filter))
                expected.items.push_back(native("/a/" + name));
        }
        EXPECT_EQ(expected.items, list.items) << U8(filter);
    }
}

TEST(SearchFilesOrderTest, OneWalkForSeveralExtensionsListsWhatASearchForEachWould) {
    FakeFolderReader reader;
    reader.folders["/s/"] = {"b.H", "A.c", "sub/", "a.C", "x.inc", "link", "\xC4\xB0.inc", "Sub/", "bad.c"};
    reader.folders["/s/sub/"] = {"z.h", "deep/", "y.C", "bad.inc"};
    reader.folders["/s/sub/deep/"] = {"q.asm", "r.c"};
    reader.folders["/s/Sub/"] = {"w.c", "v.cpp"};
    struct PickyList : RecordingList {
        void AddItem(const std::u16string& text) override {
            if (text.find(u"bad") != std::u16string::npos) throw std::runtime_error("full");
            RecordingList::AddItem(text);
        }
    };
    Dir_File dir(&reader);
    for (const std::vector<std::u16string>& filters :
         {std::vector<std::u16string>{u"c", u"cpp", u"h", u"asm", u"dt", u"inc"},
          {u"h", u"c"},
          {u"*", u"C"}}) {
        PickyList each, oneByOne;
        dir.SearchFilesEach(T(native("/s")), filters, each);
        for (const std::u16string& filter : filters) dir.SearchFiles(T(native("/s")), filter, oneByOne);
        EXPECT_EQ(oneByOne.items, each.items);
        EXPECT_FALSE(each.items.empty());
    }
}

class SearchFilesTest : public testing::TempDirTest {
protected:
    void file(const std::string& name) { testing::writeBytes(path(name), "x"); }
    void folder(const std::string& name) { fs::create_directories(path(name)); }
    // What the search lists under `sub`, relative, with "/" between folders on every platform.
    std::vector<std::string> search(const std::u16string& filter, const std::string& sub = "") {
        RecordingList list;
        const std::u16string root = testing::textOf(sub.empty() ? dir_ : path(sub));
        Dir_File().SearchFiles(root, filter, list);
        const std::size_t skip = U8(testing::textOf(dir_)).size() + 1;
        std::vector<std::string> relative;
        for (std::string item : list.items) {
            std::replace(item.begin(), item.end(), '\\', '/');
            relative.push_back(item.substr(skip));
        }
        std::sort(relative.begin(), relative.end());  // the platform's order is not ours to test
        return relative;
    }
    using Names = std::vector<std::string>;
};

TEST_F(SearchFilesTest, MatchesTheExtensionAfterTheLastDotIgnoringCase) {
    for (const char* name : {"MAIN.C", "x.c.bak", "x.bak.c", "C", "Inc", ".h", "name.", "Foo.CPP", "a b.c"})
        file(name);
    EXPECT_EQ((Names{"C", "MAIN.C", "a b.c", "x.bak.c"}), search(u"c"));
    EXPECT_EQ((Names{".h"}), search(u"h"));
    EXPECT_EQ((Names{"Inc"}), search(u"INC"));
    EXPECT_EQ((Names{"Foo.CPP"}), search(u"cpp"));
    EXPECT_EQ(Names{}, search(u".c"));
}

TEST_F(SearchFilesTest, UnreadableFoldersAppendNothing) {
    file("f.c");
    EXPECT_EQ(Names{}, search(u"c", "missing"));
    EXPECT_EQ(Names{}, search(u"c", "f.c"));
    std::string deep;
    for (int i = 0; i < 200; ++i) deep += "d/";
    folder(deep);
    file(deep + "bottom.c");
    EXPECT_EQ((Names{deep + "bottom.c", "f.c"}), search(u"c"));

    RecordingList list;
    Dir_File().SearchFiles(testing::textOf(dir_) + std::u16string(5000, kPathSeparator) + u"x", u"c", list);
    EXPECT_TRUE(list.items.empty());
}

TEST_F(SearchFilesTest, HasNoLimitOnSubfoldersPerFolder) {
    for (int i = 0; i < 10005; ++i) {
        const std::string name = "s" + std::to_string(i);
        folder(name);
        if (i % 1000 == 0 || i > 10000) file(name + "/x.c");
    }
    EXPECT_EQ(15u, search(u"c").size());
}

// --- Picker and folder creation --------------------------------------------------------------

TEST(BrowseForFolderTest, RemovesOneTrailingSeparatorButKeepsTheRoot) {
    std::u16string answer;
    std::u16string prompt;
    std::uintptr_t owner = 0;
    Dir_File dir(nullptr, [&](std::uintptr_t o, const std::u16string& p) {
        owner = o;
        prompt = p;
        return answer;
    });
    const struct {
        const char* picked;
        const char* result;
    } cases[] = {{"/work/src/", "/work/src"},
                 {"/work/src", "/work/src"},
                 {"/a//", "/a/"},
                 {"/", "/"},
                 {"C:/", "C:"},
                 {"", ""}};
    for (const auto& c : cases) {
        answer = T(native(c.picked));
        EXPECT_EQ(native(c.result), U8(dir.BrowseForFolder(42, u"请选择目录"))) << c.picked;
    }
    EXPECT_EQ(42u, owner);
    EXPECT_EQ(u"请选择目录", prompt);
    EXPECT_EQ(u"", Dir_File().BrowseForFolder(0, u"x"));  // no picker: a cancel
}

}  // namespace
}  // namespace tavirel
