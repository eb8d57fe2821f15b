#pragma once
// The settings in force: one record for the whole program. The settings
// window edits it in place, OK saves it, Cancel reloads it; everything else
// reads it as it stands. Portable.
#include <array>
#include <string>
#include <vector>

enum class TTimeSource { None, FileTime, EXIFTime, NowTime };

// Month and day names the date placeholders use. Days are indexed by
// weekday with Sunday first (0 = Sunday), months January first.
struct TDateNameTables {
    std::array<std::string, 12> LongMonth;
    std::array<std::string, 12> ShortMonth;
    std::array<std::string, 7> LongDay;
    std::array<std::string, 7> ShortDay;
};

struct TSettings {
    std::string CurrentMask;
    std::string Path;
    std::string SkinName = "Elegant";
    std::string FileExtension = "*.jpg;*.orf;*.avi;*.mov;*.wav";  // the field's text as typed
    TTimeSource TimeForMask = TTimeSource::EXIFTime;
    std::string LongNameMonth = "ledna;února;března;dubna;května;června;července;srpna;září;října;listopadu;prosince";
    std::string ShortNameMonth = "I;II;III;IV;V;VI;VII;VIII;IX;X;XI;XII";
    std::string LongNameDay = "pondělí;úterý;středa;čtvrtek;pátek;sobota;neděle";
    std::string ShortNameDay = "po;út;st;čt;pá;so;ne";
    bool AutoRecognize = true;
    bool Hint = true;
    bool AutoUpdate = true;
    bool AutoRun = false;
    // A copy is read back and compared before it takes its name.
    bool VerifyCopy = true;
    // Files the history of imports knows, or whose copy is in the archive
    // already, are not copied again.
    bool SkipImported = true;

    std::vector<std::string> CatalogueList;  // the parsed ListMask
    std::vector<std::string> ExtensionList;  // the parsed FileExtension, in scan order
    TDateNameTables DateNameTables;
};

// The one record of the process.
TSettings& Settings();
