// The prefix every Windows test runs in, as the scripts make it: 64-bit,
// and with unmanaged X11 windows, since Xvfb has no window
// manager and Wine would otherwise wait 2 s for one at every show and hide
// (a later copy of the program would then take seconds to hand over, and
// five copies started together could leave two running).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

TEST(WinePrefix, WindowsAreUnmanaged) {
    wchar_t value[16] = {};
    DWORD size = sizeof value;
    ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, L"Software\\Wine\\X11 Driver", L"Managed", RRF_RT_REG_SZ, nullptr,
                           value, &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(value, L"N");
}

// Both programs run in a 64-bit prefix, the 32-bit one under WoW64 as on
// the 64-bit Windows most users have; a test may ask for 32-bit Windows.
TEST(WinePrefix, IsOfTheKindTheScriptsMake) {
    char arch[16] = {};
    const bool win32 = GetEnvironmentVariableA("KOLIBRIO_PREFIX_ARCH", arch, sizeof arch) > 0 &&
                       std::string(arch) == "win32";
    BOOL wow = FALSE;
    ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow));
    EXPECT_EQ(wow != FALSE, sizeof(void*) == 4 && !win32);
    SYSTEM_INFO info;
    GetNativeSystemInfo(&info);
    EXPECT_EQ(info.wProcessorArchitecture, win32 ? PROCESSOR_ARCHITECTURE_INTEL : PROCESSOR_ARCHITECTURE_AMD64);
}
