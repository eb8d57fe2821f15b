#pragma once
// A real small file system for the tests of a full disk: a tmpfs of a given
// size, mounted by a Unix shell (which needs root and a Wine that starts
// Unix programs) and reached through Wine's drive Z:.
#include <string>

namespace wintest {

class SmallVolume {
public:
    explicit SmallVolume(unsigned kib);
    // Unmounts it again, and fails the test when that does not happen.
    ~SmallVolume();
    SmallVolume(const SmallVolume&) = delete;
    SmallVolume& operator=(const SmallVolume&) = delete;

    // False when it could not be mounted here: the test is to be skipped.
    bool Mounted() const { return mounted_; }
    // The volume's root as a Windows folder, ending with a backslash.
    const std::wstring& Folder() const { return folder_; }

private:
    unsigned long long bytes_;
    std::string mount_;
    std::wstring folder_;
    bool mounted_ = false;
};

// Starts a shell command line as a Unix process (Wine starts those too, but
// hands back no exit code for them); false when it cannot be started.
bool StartUnix(const std::string& script);

}  // namespace wintest
