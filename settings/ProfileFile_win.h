#pragma once
// An INI file through the platform's profile functions, kept in UTF-16 so
// that a value may hold any character (a folder named in Japanese on a
// Windows whose ANSI code page is Western, for one).
#include <string>

// Reads a file in whatever encoding it is (see settings/TextEncoding.h).
// The profile functions read only UTF-16 LE with its byte-order mark right;
// a file in any other form is read from a UTF-16 copy in the temporary
// folder, so that loading never changes the file itself.
class ProfileFile {
public:
    explicit ProfileFile(std::string path);
    ~ProfileFile();
    ProfileFile(const ProfileFile&) = delete;
    ProfileFile& operator=(const ProfileFile&) = delete;

    // The value of a key; defaultValue when the file, the section or the
    // key is missing. Any length.
    std::string Read(const wchar_t* section, const wchar_t* key, const std::string& defaultValue) const;

private:
    std::wstring readPath_;
    bool temporary_ = false;
};

// A new version of a file, written key by key into a temporary file in the
// same folder and put in place of the old one in one step by Commit. Until
// then the old file stays as it was; whatever fails keeps it. Errors are
// thrown as std::runtime_error with the user's text: where it could not be
// saved and why.
class ProfileSave {
public:
    // The new file starts as the text of from (any encoding; nothing when
    // it does not exist), every section, key and comment kept.
    ProfileSave(std::string path, const std::string& from);
    // Removes the temporary file unless Commit put it in place.
    ~ProfileSave();
    ProfileSave(const ProfileSave&) = delete;
    ProfileSave& operator=(const ProfileSave&) = delete;

    void Write(const wchar_t* section, const wchar_t* key, std::string value);
    // Flushes the new file to the disk and replaces the old one by it.
    void Commit();

private:
    std::string path_;
    std::wstring temp_;
    bool committed_ = false;
};

// The user's text of a save that failed: the file (or its folder) and the
// system's reason.
std::string SaveFailureText(const std::string& where, unsigned long error);

// For tests: the system error with which the next replace of a settings
// file by its new version fails, after the new version is written and
// flushed (as a disk that goes away or a file another program holds);
// 0 lets it through.
void SetReplaceFaultForTests(unsigned long error);
