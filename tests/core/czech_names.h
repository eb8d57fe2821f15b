#pragma once
// The factory month and day names as the date placeholders use them
// (Sunday first), for tests and fuzz targets of the mask expansion.
#include "settings/Settings.h"

inline TDateNameTables CzechNames() {
    TDateNameTables n;
    n.LongMonth = {"ledna", "února", "března", "dubna", "května", "června",
                   "července", "srpna", "září", "října", "listopadu", "prosince"};
    n.ShortMonth = {"I", "II", "III", "IV", "V", "VI", "VII", "VIII", "IX", "X", "XI", "XII"};
    n.LongDay = {"neděle", "pondělí", "úterý", "středa", "čtvrtek", "pátek", "sobota"};
    n.ShortDay = {"ne", "po", "út", "st", "čt", "pá", "so"};
    return n;
}
