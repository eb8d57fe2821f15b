#include "settings/ListText.h"

#include <gtest/gtest.h>

using List = std::vector<std::string>;

namespace {

std::string Show(const List& items) {
    std::string s = "[";
    for (const auto& i : items) s += "<" + i + ">";
    return s + "]";
}

}  // namespace

// Lists whose written form is the canonical one: writing gives the text,
// reading the text gives the list back.
TEST(ListText, WritesAndReadsBackItemForItem) {
    struct Case { List items; char sep; std::string text; } cases[] = {
        {{}, ',', ""},
        {{""}, ',', "\"\""},
        {{"a"}, ',', "a"},
        {{"a", "b"}, ',', "a,b"},
        {{"a,b", "x y", "say \"hi\""}, ',', "\"a,b\",\"x y\",\"say \"\"hi\"\"\""},
        {{"", "a"}, ',', ",a"},
        {{"a", ""}, ',', "a,"},
        {{"a", "", "b"}, ',', "a,,b"},
        {{"", ""}, ',', ","},
        {{"tab\there", "line\r\nend"}, ',', "\"tab\there\",\"line\r\nend\""},
        {{" lead", "trail "}, ',', "\" lead\",\"trail \""},
        {{"\"\""}, ',', "\"\"\"\"\"\""},
        {{"%yyyy%\\%mm%\\%dd%_%index%"}, ',', "%yyyy%\\%mm%\\%dd%_%index%"},
        {{"února", "září"}, ',', "února,září"},
        {{"*.jpg", "*.avi"}, ';', "*.jpg;*.avi"},
        {{"a;b", "c,d"}, ';', "\"a;b\";c,d"},
        {{"\x7f", "\x01"}, ';', "\x7f;\"\x01\""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ListToText(c.items, c.sep), c.text) << Show(c.items);
        EXPECT_EQ(TextToList(c.text, c.sep), c.items) << c.text;
    }
}

// Texts a user or another tool may have typed into the file.
TEST(ListText, ReadsLooseTexts) {
    struct Case { std::string text; char sep; List items; } cases[] = {
        {"*.jpg; *.avi", ';', {"*.jpg", "*.avi"}},
        {"a b", ',', {"a", "b"}},
        {"  a  ,  b  ", ',', {"a", "b"}},
        {"   ", ',', {}},
        {"\x01\x02" "a", ',', {"a"}},
        {",,", ',', {"", "", ""}},
        {"a ,", ',', {"a", ""}},
        {"a, ", ',', {"a"}},  // the separator is not the last character
        {"\"unclosed", ',', {"unclosed"}},
        {"\"un\"\"closed", ',', {"un\"closed"}},
        {"\"ab\"\"", ',', {"ab\""}},
        {"\"a\"b,c", ',', {"a", "b", "c"}},
        {"\"a b\"  ,\"c\"", ',', {"a b", "c"}},
        {std::string("a\0b,c", 5), ',', {"a"}},
        {std::string("a,\0b", 4), ',', {"a", ""}},
        {std::string("\0", 1), ',', {}},
        {"ledna;února;března", ';', {"ledna", "února", "března"}},
    };
    for (const auto& c : cases) EXPECT_EQ(TextToList(c.text, c.sep), c.items) << c.text;
}

TEST(ListText, CatalogueValueCarriesOneMorePairOfQuotes) {
    EXPECT_EQ(CatalogueToValue({}), "\"\"");
    EXPECT_EQ(CatalogueToValue({"x y", "z w"}), "\"\"x y\",\"z w\"\"");
    EXPECT_EQ(CatalogueToValue({"%yyyy%", "a,b"}), "\"%yyyy%,\"a,b\"\"");
}

TEST(ListText, ParsesBooleansLikeTheFileAlwaysStoredThem) {
    struct Case { std::string text; bool def; bool expected; } cases[] = {
        {"1", false, true},          {"0", true, false},          {"0x0", true, false},
        {"0X1f", false, true},       {"2", false, true},          {"-1", false, true},
        {"+0", true, false},         {"yes", true, true},         {"yes", false, false},
        {"", true, true},            {"", false, false},          {"0x", false, false},
        {"1.0", false, false},       {"1 ", false, false},        {"0xFFFFFFFF", false, true},
        {"0x100000000", false, false}, {"2147483647", false, true}, {"2147483648", false, false},
        {"-2147483648", false, true}, {"-2147483649", false, false}, {"00000000000000000001", false, true},
        {"-", true, true},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseBoolean(c.text, c.def), c.expected) << "'" << c.text << "'";
    EXPECT_STREQ(BooleanToValue(true), "1");
    EXPECT_STREQ(BooleanToValue(false), "0");
}

TEST(ListText, MatchesTimeSourcesExactly) {
    struct Case { std::string text; TTimeSource source; } cases[] = {
        {"EXIFTime", TTimeSource::EXIFTime}, {"FileTime", TTimeSource::FileTime},
        {"NowTime", TTimeSource::NowTime},   {"exiftime", TTimeSource::None},
        {"EXIFTime ", TTimeSource::None},    {"", TTimeSource::None},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseTimeSource(c.text), c.source) << c.text;
    for (TTimeSource s : {TTimeSource::None, TTimeSource::FileTime, TTimeSource::EXIFTime, TTimeSource::NowTime})
        EXPECT_EQ(ParseTimeSource(TimeSourceName(s)), s);
}

TEST(ListText, EndsPathsWithOneBackslash) {
    EXPECT_EQ(WithTrailingBackslash("D:\\Foto"), "D:\\Foto\\");
    EXPECT_EQ(WithTrailingBackslash("D:\\Foto\\"), "D:\\Foto\\");
    EXPECT_EQ(WithTrailingBackslash(""), "\\");
}

TEST(DateNames, MonthListsNeedTwelveItems) {
    TDateNameTables t;
    const std::string czech = "ledna;února;března;dubna;května;června;července;srpna;září;října;listopadu;prosince";
    ASSERT_TRUE(ApplyMonthNames(t, czech, TNameLength::Long));
    EXPECT_EQ(t.LongMonth[0], "ledna");
    EXPECT_EQ(t.LongMonth[11], "prosince");
    EXPECT_EQ(t.ShortMonth[0], "");  // the other table is untouched

    // Eleven items change nothing.
    EXPECT_FALSE(ApplyMonthNames(t, "1;2;3;4;5;6;7;8;9;10;11", TNameLength::Long));
    EXPECT_EQ(t.LongMonth[0], "ledna");

    // Thirteen use the first twelve.
    ASSERT_TRUE(ApplyMonthNames(t, "I;II;III;IV;V;VI;VII;VIII;IX;X;XI;XII;XIII", TNameLength::Short));
    EXPECT_EQ(t.ShortMonth[11], "XII");

    // A blank splits a name in two and shifts the rest.
    ASSERT_TRUE(ApplyMonthNames(t, "a b;2;3;4;5;6;7;8;9;10;11", TNameLength::Long));
    EXPECT_EQ(t.LongMonth[0], "a");
    EXPECT_EQ(t.LongMonth[1], "b");
    EXPECT_EQ(t.LongMonth[11], "11");
}

TEST(DateNames, DayListsAreMondayFirstTablesSundayFirst) {
    TDateNameTables t;
    ASSERT_TRUE(ApplyDayNames(t, "po;út;st;čt;pá;so;ne", TNameLength::Short));
    ASSERT_TRUE(ApplyDayNames(t, "pondělí;úterý;středa;čtvrtek;pátek;sobota;neděle;navíc", TNameLength::Long));
    const std::array<std::string, 7> shortDays{"ne", "po", "út", "st", "čt", "pá", "so"};
    EXPECT_EQ(t.ShortDay, shortDays);
    EXPECT_EQ(t.LongDay[0], "neděle");
    EXPECT_EQ(t.LongDay[1], "pondělí");
    EXPECT_EQ(t.LongDay[6], "sobota");

    EXPECT_FALSE(ApplyDayNames(t, "1;2;3;4;5;6", TNameLength::Short));
    EXPECT_EQ(t.ShortDay, shortDays);
}

TEST(DateNames, SettingsInForceTakeTheNames) {
    Settings().DateNameTables = {};
    ASSERT_TRUE(ApplyDayNames("1;2;3;4;5;6;7", TNameLength::Long));
    EXPECT_EQ(Settings().DateNameTables.LongDay[0], "7");
    EXPECT_FALSE(ApplyMonthNames("x", TNameLength::Short));
    EXPECT_EQ(Settings().DateNameTables.ShortMonth[0], "");
}
