#pragma once
// How setting.ini spells its values: lists as one line of text, booleans,
// the capture-date source, and the month and day name lists that feed the
// date placeholders. Portable.
#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "settings/Settings.h"

// Joins items with the separator; an item holding a blank, a control
// character, a double quote or the separator goes in double quotes with its
// quotes doubled. One empty item is written as two quotes.
std::string ListToText(const std::vector<std::string>& items, char separator);
// The reverse: blanks separate items just as the separator does, a quoted
// item may hold anything, a separator at the very end gives a final empty
// item. A NUL character ends the text.
std::vector<std::string> TextToList(std::string_view text, char separator);

// The ListMask value: the comma text of the catalogue in one more pair of
// quotes, which the profile reader strips again.
std::string CatalogueToValue(const std::vector<std::string>& catalogue);

// "1"/"0" on writing; on reading a decimal or 0x/0X hexadecimal 32-bit
// integer, non-zero meaning true; anything else gives the default.
const char* BooleanToValue(bool value);
bool ParseBoolean(std::string_view value, bool defaultValue);

// "NowTime", "FileTime", "EXIFTime"; None is saved as an empty value.
const char* TimeSourceName(TTimeSource source);
// Exact, case-sensitive; any other text selects no source.
TTimeSource ParseTimeSource(std::string_view value);

// Appends a backslash unless the path already ends with one.
std::string WithTrailingBackslash(std::string path);

enum class TNameLength { Long, Short };

// Puts a semicolon list of at least 12 month names into the long or short
// month table (items after the twelfth are ignored). False, and nothing
// changes, when the list has fewer items.
bool ApplyMonthNames(TDateNameTables& tables, std::string_view text, TNameLength which);
// The same for a list of at least 7 day names, Monday first.
bool ApplyDayNames(TDateNameTables& tables, std::string_view text, TNameLength which);
// The same two on the tables of the settings in force.
bool ApplyMonthNames(std::string_view text, TNameLength which);
bool ApplyDayNames(std::string_view text, TNameLength which);

// Stores seven names given Monday first into a table indexed Sunday first.
void SetDayNamesMondayFirst(std::array<std::string, 7>& table, const std::vector<std::string>& mondayFirst);
