#include "mask/MaskEditor.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

TEST(PreviewIndex, WalksOneToHundredTenAndStartsAgain) {
    int32_t index = 0;  // the state at start
    std::vector<int32_t> seen;
    for (int tick = 0; tick < 112; ++tick) {
        index = NextPreviewIndex(index);
        seen.push_back(index);
    }
    EXPECT_EQ(seen[0], 1);
    EXPECT_EQ(seen[109], 110);
    EXPECT_EQ(seen[110], 1);
    EXPECT_EQ(seen[111], 2);
    EXPECT_EQ(NextPreviewIndex(-5), 1);
    EXPECT_EQ(NextPreviewIndex(500), 1);
}

TEST(InsertAtCaret, PutsThePlaceholderInFrontOfTheCaretOrSelection) {
    struct Case {
        std::u16string text;
        size_t caret;
        std::u16string expected;
        size_t newCaret;
    };
    const Case cases[] = {
        {u"", 0, u"%dd%", 4},
        {u"abc", 3, u"abc%dd%", 7},           // caret at the end: appended
        {u"abc", 0, u"%dd%abc", 4},           // at the start
        {u"a\\b", 2, u"a\\%dd%b", 6},         // in the middle
        {u"ab", 99, u"ab%dd%", 6},            // a caret past the end is clamped
        {u"čřž", 1, u"č%dd%řž", 5},           // positions count characters
    };
    for (const Case& c : cases) {
        size_t caret = 0;
        EXPECT_EQ(InsertAtCaret(c.text, c.caret, u"%dd%", caret), c.expected);
        EXPECT_EQ(caret, c.newCaret);
    }
}

TEST(DeleteSelectedEntries, RemovesTheSelectedAndKeepsTheOrderOfTheRest) {
    struct Case {
        std::vector<bool> selected;
        std::vector<std::string> left;
    };
    const std::vector<std::string> four = {"a", "b", "c", "d"};
    const Case cases[] = {
        {{true, false, true, false}, {"b", "d"}},
        {{false, false, false, false}, {"a", "b", "c", "d"}},
        {{true, true, true, true}, {}},
        {{false, true, true, false}, {"a", "d"}},  // neighbours: the moved-up line is checked again
        {{false, false, false, true}, {"a", "b", "c"}},
        {{true}, {"b", "c", "d"}},  // a short selection counts the rest as unselected
    };
    for (const Case& c : cases) {
        std::vector<std::string> entries = four;
        std::vector<bool> selected = c.selected;
        EXPECT_EQ(DeleteSelectedEntries(entries, selected), four.size() - c.left.size());
        EXPECT_EQ(entries, c.left);
        EXPECT_EQ(selected.size(), entries.size());
    }
    std::vector<std::string> empty;
    std::vector<bool> none;
    EXPECT_EQ(DeleteSelectedEntries(empty, none), 0u);
}

TEST(DeleteSelectedEntries, DuplicatesAreTakenByPositionNotByText) {
    std::vector<std::string> entries = {"x", "x", "x"};
    std::vector<bool> selected = {false, true, false};
    DeleteSelectedEntries(entries, selected);
    EXPECT_EQ(entries, (std::vector<std::string>{"x", "x"}));
}

TEST(NormaliseChosenFolder, EndsWithTheSeparatorItHolds) {
    const std::pair<std::string, std::string> cases[] = {
        {"C:\\Foto", "C:\\Foto\\"},
        {"C:\\", "C:\\"},
        {"C:\\Foto\\", "C:\\Foto\\"},
        {"\\\\server\\share", "\\\\server\\share\\"},
        {"C:", "C:"},  // nothing to go by
        {"", ""},
        {"/home/u", "/home/u/"},
        {"a/b\\c", "a/b\\c\\/"},  // both separators: both appended, in that order
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(NormaliseChosenFolder(in), out) << in;
}

TEST(ListExtent, ZeroMinimumSwitchesScrollingOff) {
    EXPECT_EQ(ListExtent(300, 0, 4), 0);
    EXPECT_EQ(ListExtent(300, 1, 4), 304);
    EXPECT_EQ(ListExtent(0, 1, 4), 5);  // an empty list still gets the minimum
    EXPECT_EQ(ListExtent(10, 50, 4), 54);
}

TEST(PlaceholderMenu, TwoSubMenusWhoseItemsInsertTheirOwnPlaceholder) {
    const auto& menu = PlaceholderMenu();
    std::vector<std::string> subMenus;
    std::set<std::string> names;
    int items = 0;
    for (const auto& e : menu) {
        EXPECT_TRUE(names.insert(e.name).second) << "duplicate name " << e.name;
        if (e.kind == TPlaceholderItem::SubMenu) subMenus.push_back(e.caption);
        if (e.kind != TPlaceholderItem::Item) continue;
        ++items;
        const std::string caption = e.caption, inserts = e.inserts;
        // Each caption begins with what it inserts (the backslash item after
        // its three leading blanks).
        if (inserts == "\\")
            EXPECT_EQ(caption.rfind("   \\       - ", 0), 0u);
        else
            EXPECT_EQ(caption.rfind(inserts + " - ", 0), 0u) << caption;
    }
    EXPECT_EQ(subMenus, (std::vector<std::string>{"Datum a čas", "Ostatní hodnoty"}));
    EXPECT_EQ(items, 22);  // 16 date and time items, 6 others
    EXPECT_EQ(menu.front().kind, TPlaceholderItem::SubMenu);
}
