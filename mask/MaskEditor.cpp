#include "mask/MaskEditor.h"

#include <algorithm>

int32_t NextPreviewIndex(int32_t index) {
    if (index < 0 || index >= kPreviewTotal) return 1;
    return index + 1;
}

std::u16string InsertAtCaret(const std::u16string& text, size_t caret, const std::u16string& insert,
                             size_t& newCaret) {
    const size_t p = std::min(caret, text.size());
    std::u16string result = text.substr(0, p);
    result += insert;
    result += text.substr(p);
    newCaret = p + insert.size();
    return result;
}

size_t DeleteSelectedEntries(std::vector<std::string>& entries, std::vector<bool>& selected) {
    selected.resize(entries.size(), false);
    size_t removed = 0;
    size_t i = 0;
    // The next line moves up after a deletion, so i stays where it is.
    while (i < entries.size() && std::find(selected.begin(), selected.end(), true) != selected.end()) {
        if (selected[i]) {
            entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(i));
            selected.erase(selected.begin() + static_cast<std::ptrdiff_t>(i));
            ++removed;
        } else {
            ++i;
        }
    }
    return removed;
}

std::string NormaliseChosenFolder(std::string folder) {
    if (!folder.empty() && folder.back() != '\\' && folder.find('\\') != std::string::npos) folder += '\\';
    if (!folder.empty() && folder.back() != '/' && folder.find('/') != std::string::npos) folder += '/';
    return folder;
}

int ListExtent(int widest, int minimum, int frame) {
    if (minimum == 0) return 0;
    return std::max(widest, minimum) + frame;
}

const std::vector<TPlaceholderItem>& PlaceholderMenu() {
    using P = TPlaceholderItem;
    static const std::vector<TPlaceholderItem> menu = {
        {P::SubMenu, "ime1", "Datum a čas", ""},
        {P::Item, "d1", "%d% - den v měsíci (1;5;10)", "%d%"},
        {P::Item, "dd1", "%dd% - den v měsíci (01;05;10)", "%dd%"},
        {P::Item, "ddd1", "%ddd% - krátký název dne (po,ut,st)", "%ddd%"},
        {P::Item, "dddd1", "%dddd% - dlouhý název dne (pondělí,úterý)", "%dddd%"},
        {P::Separator, "Sep1", "", ""},
        {P::Item, "m1", "%m% - číslo měsíce (1;5;10)", "%m%"},
        {P::Item, "mm1", "%mm% - číslo měsíce (01;05;10)", "%mm%"},
        {P::Item, "mmm1", "%mmm% - krátký název měsíce (I,V,X)", "%mmm%"},
        {P::Item, "mmmm1", "%mmmm% - dlouhý název měsíce (leden,květen)", "%mmmm%"},
        {P::Separator, "Sep2", "", ""},
        {P::Item, "yy1", "%yy% - rok (08)", "%yy%"},
        {P::Item, "yyyy1", "%yyyy% - celý rok (2008)", "%yyyy%"},
        {P::Separator, "Sep3", "", ""},
        {P::Item, "h1", "%h% - hodina (8;14)", "%h%"},
        {P::Item, "hh1", "%hh% - hodina (08;14)", "%hh%"},
        {P::Item, "n1", "%n% - minuta (8;45)", "%n%"},
        {P::Item, "nn1", "%nn% - minuta (08;45)", "%nn%"},
        {P::Item, "s1", "%s% - vteřina (8;45)", "%s%"},
        {P::Item, "ss1", "%ss% - vteřina (08;45)", "%ss%"},
        {P::SubMenu, "Dalsi1", "Ostatní hodnoty", ""},
        {P::Item, "index1", "%index% - pořadí souboru celkem", "%index%"},
        {P::Item, "indexdir1", "%index_dir% - pořadí souboru v aktuální složce", "%index_dir%"},
        {P::Item, "count1", "%count% - celkový počet všech souborů", "%count%"},
        {P::Separator, "N2", "", ""},
        {P::Item, "filename1", "%file_name% - původní název souboru ", "%file_name%"},
        {P::Item, "fileext1", "%file_ext% - původní přípona souboru (jpg; avi)", "%file_ext%"},
        {P::Separator, "N3", "", ""},
        {P::Item, "lomitko1", "   \\       - zpětné lomítko pro oddělení adresářů", "\\"},
    };
    return menu;
}
