#pragma once
// An INI file through the platform's profile functions, kept in UTF-16 so
// that a value may hold any character (a folder named in Japanese on a
// Windows whose ANSI code page is Western, for one).
#include <string>

class ProfileFile {
public:
    explicit ProfileFile(std::string path);

    // The value of a key; defaultValue when the file, the section or the
    // key is missing. Any length.
    std::string Read(const wchar_t* section, const wchar_t* key, const std::string& defaultValue) const;
    // Throws "Unable to write to <path>" when the file refuses the write.
    void Write(const wchar_t* section, const wchar_t* key, std::string value) const;
    // Call before the first write of a save. A missing file becomes an
    // empty UTF-16 one; a file in another encoding (the ANSI code page of
    // earlier versions) is rewritten whole in UTF-16, every section, key
    // and line kept. Throws like Write when the file cannot be written.
    void MakeUnicode() const;

private:
    std::string path_;
    std::wstring widePath_;
};
