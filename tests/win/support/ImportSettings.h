#pragma once
// What the in-process import tests share: the settings of a plain import
// and the bytes of the card's files.
#include <cstddef>
#include <string>

namespace wintest {

// A card's *.jpg files copied under their own names into archive, in the
// order of their file times; the history of imports left aside (it is
// tested on its own). The check of copies stays as it was.
void UsePlainImportSettings(const std::wstring& archive);

// n bytes that differ from one place to the next and, by seed, from one
// file to another, so that a copy that lost or moved any of them shows.
std::string Pattern(size_t n, int seed);

}  // namespace wintest
