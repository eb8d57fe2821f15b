#include "import/HistoryAside.h"

#include <cstdio>

namespace {

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

const char kWithout[] = "Do ukončení programu se importuje bez ní.";

}  // namespace

bool SetsAside(THistoryFault fault) {
    switch (fault) {
    case THistoryFault::NotADatabase:
    case THistoryFault::Damaged:
    case THistoryFault::NotOurs:
    case THistoryFault::ReadOnly:
    case THistoryFault::CannotOpen: return true;
    default: return false;
    }
}

bool IsPassing(THistoryFault fault) {
    return fault == THistoryFault::Busy || fault == THistoryFault::Failed;
}

std::string SetAsideName(const std::string& path, THistoryFault fault, const DateParts& now, int attempt) {
    const size_t slash = path.find_last_of("\\/");
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || dot < nameStart) dot = path.size();
    // ASCII only: the name survives any archive or code page the user moves it through.
    char stamp[40];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d-%02d%02d%02d", now.year, now.month, now.day, now.hour,
                  now.minute, now.second);
    std::string name = path.substr(0, dot) + (IsDamage(fault) ? "-poskozena-" : "-odlozena-") + stamp;
    if (attempt > 1) name += "-" + std::to_string(attempt);
    return name + path.substr(dot);
}

std::string SetAsideNotice(THistoryFault fault, const std::string& asidePath, THistoryFault newFault) {
    std::string text;
    if (fault == THistoryFault::NotOurs)
        text = "Soubor historie importů patřil jinému programu a byl odložen jako " + Quoted(asidePath) + ".";
    else if (IsDamage(fault))
        text = "Historie importů byla poškozena a byla odložena jako " + Quoted(asidePath) + ".";
    else
        text = "Historii importů nebylo možné otevřít (" + HistoryFaultText(fault) + "), a proto byla odložena jako " +
               Quoted(asidePath) + ".";
    if (newFault == THistoryFault::None) return text + " Začíná nová historie.";
    return text + " Novou historii nelze založit (" + HistoryFaultText(newFault) + "). " + kWithout;
}

std::string HistoryOffNotice(THistoryFault fault, const std::string& path) {
    if (fault == THistoryFault::Newer)
        return "Historie importů " + Quoted(path) + " pochází z novější verze programu. " + kWithout;
    return "Historii importů " + Quoted(path) + " nelze použít (" + HistoryFaultText(fault) + "). " + kWithout;
}

std::string HistoryBusyNotice(const std::string& path) {
    return "Historii importů " + Quoted(path) + " právě používá jiný program. Tento import proběhne bez ní.";
}

std::string HistoryPassingNotice(THistoryFault fault, const std::string& path) {
    if (fault == THistoryFault::Busy) return HistoryBusyNotice(path);
    return "Historii importů " + Quoted(path) + " teď nelze použít (" + HistoryFaultText(fault) +
           "). Tento import proběhne bez ní.";
}

std::string ForgetFailedNotice(THistoryFault fault) {
    return "Historii importů nelze zapomenout (" + HistoryFaultText(fault) + ").";
}
