// The prefix every Windows test runs in, as the scripts make it: of the
// build's own kind, and with unmanaged X11 windows, since Xvfb has no window
// manager and Wine would otherwise wait 2 s for one at every show and hide
// (a later copy of the program would then take seconds to hand over, and
// five copies started together could leave two running).
#include <windows.h>

#include <gtest/gtest.h>

TEST(WinePrefix, WindowsAreUnmanaged) {
    wchar_t value[16] = {};
    DWORD size = sizeof value;
    ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, L"Software\\Wine\\X11 Driver", L"Managed", RRF_RT_REG_SZ, nullptr,
                           value, &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(value, L"N");
}

TEST(WinePrefix, IsOfTheBuildsKind) {
    BOOL wow = TRUE;
    ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow));
    EXPECT_FALSE(wow) << "a 32-bit build in a 64-bit prefix: its registry view is not the one the tests read";
    SYSTEM_INFO info;
    GetNativeSystemInfo(&info);
    EXPECT_EQ(info.wProcessorArchitecture,
              sizeof(void*) == 8 ? PROCESSOR_ARCHITECTURE_AMD64 : PROCESSOR_ARCHITECTURE_INTEL);
}
