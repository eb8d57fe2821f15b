#include "import/HistoryAside.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const DateParts kNow{2025, 1, 31, 9, 5, 7, 0};

}  // namespace

TEST(SetAside, OnlyWhatANewHistoryCanReplaceAndNothingForAPassingFault) {
    struct Case {
        THistoryFault fault;
        bool setAside, passing;
    } cases[] = {
        {THistoryFault::None, false, false},        {THistoryFault::CannotOpen, true, false},
        {THistoryFault::ReadOnly, true, false},     {THistoryFault::NotADatabase, true, false},
        {THistoryFault::Damaged, true, false},      {THistoryFault::NotOurs, true, false},
        {THistoryFault::Newer, false, false},       {THistoryFault::Busy, false, true},
        {THistoryFault::Failed, false, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SetsAside(c.fault), c.setAside) << static_cast<int>(c.fault);
        EXPECT_EQ(IsPassing(c.fault), c.passing) << static_cast<int>(c.fault);
    }
}

TEST(SetAside, TheNameSaysWhyAndWhenBesideTheOldOne) {
    struct Case {
        std::string path;
        THistoryFault fault;
        int attempt;
        std::string aside;
    } cases[] = {
        {"C:\\Users\\Jana\\AppData\\Local\\Kolibrio 2\\import_history.db", THistoryFault::Damaged, 1,
         "C:\\Users\\Jana\\AppData\\Local\\Kolibrio 2\\import_history-poskozena-2025-01-31-090507.db"},
        {"C:\\K\\import_history.db", THistoryFault::NotADatabase, 1, "C:\\K\\import_history-poskozena-2025-01-31-090507.db"},
        {"C:\\K\\import_history.db", THistoryFault::NotOurs, 1, "C:\\K\\import_history-odlozena-2025-01-31-090507.db"},
        {"C:\\K\\import_history.db", THistoryFault::ReadOnly, 1, "C:\\K\\import_history-odlozena-2025-01-31-090507.db"},
        {"C:\\K\\import_history.db", THistoryFault::CannotOpen, 1, "C:\\K\\import_history-odlozena-2025-01-31-090507.db"},
        {"C:\\K\\import_history.db", THistoryFault::Damaged, 2, "C:\\K\\import_history-poskozena-2025-01-31-090507-2.db"},
        {"C:\\K\\import_history.db", THistoryFault::Damaged, 13, "C:\\K\\import_history-poskozena-2025-01-31-090507-13.db"},
        // A dot in a folder's name is no extension of the file.
        {"C:\\Kolibrio 2.1\\history", THistoryFault::Damaged, 1, "C:\\Kolibrio 2.1\\history-poskozena-2025-01-31-090507"},
        {"history", THistoryFault::Damaged, 1, "history-poskozena-2025-01-31-090507"},
    };
    for (const Case& c : cases) EXPECT_EQ(SetAsideName(c.path, c.fault, kNow, c.attempt), c.aside) << c.path;
}

TEST(SetAside, TheUserIsToldWhatHappenedAndWhereTheOldOneIs) {
    const std::string aside = "C:\\K\\import_history-poskozena-2025-01-31-090507.db";
    EXPECT_EQ(SetAsideNotice(THistoryFault::Damaged, aside, THistoryFault::None),
              "Historie importů byla poškozena a byla odložena jako "
              "\"C:\\K\\import_history-poskozena-2025-01-31-090507.db\". Začíná nová historie.");
    EXPECT_EQ(SetAsideNotice(THistoryFault::NotADatabase, aside, THistoryFault::None),
              "Historie importů byla poškozena a byla odložena jako "
              "\"C:\\K\\import_history-poskozena-2025-01-31-090507.db\". Začíná nová historie.");
    EXPECT_EQ(SetAsideNotice(THistoryFault::NotOurs, "C:\\K\\h-odlozena.db", THistoryFault::None),
              "Soubor historie importů patřil jinému programu a byl odložen jako "
              "\"C:\\K\\h-odlozena.db\". Začíná nová historie.");
    EXPECT_EQ(SetAsideNotice(THistoryFault::ReadOnly, "C:\\K\\h-odlozena.db", THistoryFault::None),
              "Historii importů nebylo možné otevřít (soubor je jen pro čtení), a proto byla odložena jako "
              "\"C:\\K\\h-odlozena.db\". Začíná nová historie.");
    EXPECT_EQ(SetAsideNotice(THistoryFault::Damaged, aside, THistoryFault::CannotOpen),
              "Historie importů byla poškozena a byla odložena jako "
              "\"C:\\K\\import_history-poskozena-2025-01-31-090507.db\". Novou historii nelze založit "
              "(soubor nelze otevřít). Do ukončení programu se importuje bez ní.");
}

TEST(SetAside, GoingWithoutAHistoryIsSaid) {
    EXPECT_EQ(HistoryOffNotice(THistoryFault::CannotOpen, "X:\\h.db"),
              "Historii importů \"X:\\h.db\" nelze použít (soubor nelze otevřít). "
              "Do ukončení programu se importuje bez ní.");
    EXPECT_EQ(HistoryOffNotice(THistoryFault::Newer, "X:\\h.db"),
              "Historie importů \"X:\\h.db\" pochází z novější verze programu. "
              "Do ukončení programu se importuje bez ní.");
    EXPECT_EQ(HistoryBusyNotice("X:\\h.db"),
              "Historii importů \"X:\\h.db\" právě používá jiný program. Tento import proběhne bez ní.");
}

TEST(SetAside, APassingFaultAndAFailedForgetAreSaid) {
    EXPECT_EQ(HistoryPassingNotice(THistoryFault::Failed, "C:\\h.db"),
              "Historii importů \"C:\\h.db\" teď nelze použít (chyba při čtení nebo zápisu). "
              "Tento import proběhne bez ní.");
    EXPECT_EQ(HistoryPassingNotice(THistoryFault::Busy, "C:\\h.db"), HistoryBusyNotice("C:\\h.db"));
    EXPECT_EQ(ForgetFailedNotice(THistoryFault::Busy),
              "Historii importů nelze zapomenout (databázi právě používá jiný program).");
}
