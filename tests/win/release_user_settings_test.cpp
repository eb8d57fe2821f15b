// The installed program's settings as standard users meet them: the real
// installer, then the program run by unprivileged Unix accounts whose
// program folder belongs to root. Wine honours the Unix permissions as
// Windows honours the folder's access rights, so the program folder takes
// no file from them, and Wine redirects no write into a VirtualStore. Each
// account runs Wine in a prefix of its own (Wine refuses a prefix another
// user owns); the second account's prefix reaches the first one's program
// folder through a link, so both run one installation. The accounts are
// made here when missing, which takes root, as the test suite runs on CI.
//
// The test program runs the Unix side through shells it starts; the hands
// in each account's session are tests/win/programs/settings_user_child.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "framework/Strings.h"
#include "support/SmallVolume.h"
#include "support/WinTest.h"

namespace {

const char* const kUsers[] = {"kolibrio-jana", "kolibrio-petr", "kolibrio-eva"};
const wchar_t kProgram[] = L"C:\\Program Files\\Kolibrio 2\\Kolibrio2.exe";
const std::string kProgramFolder = "drive_c/Program Files/Kolibrio 2";

std::string Environment(const char* name) {
    wchar_t buf[4096] = {};
    const DWORD n = GetEnvironmentVariableW(fw::Wide(name).c_str(), buf, 4096);
    return n && n < 4096 ? fw::Utf8(std::wstring(buf, n)) : std::string();
}

std::wstring WindowsPath(const std::string& unixPath) {
    std::wstring path = L"Z:" + fw::Wide(unixPath);
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

std::string SlashesOf(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

// A path on Wine's drive Z: as the Unix path it maps.
std::string UnixPath(const std::wstring& windowsPath) { return SlashesOf(fw::Utf8(windowsPath.substr(2))); }

std::string Quoted(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// What one run of the hands reported: every name with its values in order.
using Report = std::multimap<std::string, std::string>;

std::vector<std::string> Values(const Report& report, const std::string& name) {
    std::vector<std::string> values;
    for (auto [at, end] = report.equal_range(name); at != end; ++at) values.push_back(at->second);
    return values;
}

std::string One(const Report& report, const std::string& name) {
    const std::vector<std::string> values = Values(report, name);
    return values.size() == 1 ? values[0] : "<" + std::to_string(values.size()) + " values>";
}

bool Shows(const Report& report, const std::string& field) {
    const std::vector<std::string> fields = Values(report, "field");
    return std::find(fields.begin(), fields.end(), field) != fields.end();
}

class UserSettings : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override {
        if (!skip.empty()) GTEST_SKIP() << skip;
        ASSERT_EQ(failure, "") << "the set-up";
    }

    // Runs a shell script as root and waits for it; its exit code, or -1
    // when it did not start or end within the time.
    static int Shell(const std::string& script, std::string* output = nullptr, DWORD timeoutMs = 120000);
    // The Unix path of an account's prefix.
    static std::string Prefix(const char* user) { return work + "/prefix-" + user; }
    // A command line that runs a Windows program as the account, in its
    // prefix, and then waits for the account's Wine server to end (so that
    // nothing holds a file when the test looks).
    static std::string AsUser(const char* user, const std::string& program, const std::string& args);
    // Runs the hands as the account, in its prefix.
    static Report Hands(const char* user, const std::vector<std::string>& args, std::string* log);
    // A Windows path of the account's prefix as the test reaches it.
    static std::wstring InPrefix(const char* user, const std::string& windowsPath);
    static std::vector<std::string> ProgramFolderFiles();

    static std::string work, build, skip, failure;
    static std::string programFolderBefore;
    static int scripts;
};

std::string UserSettings::work, UserSettings::build, UserSettings::skip, UserSettings::failure;
std::string UserSettings::programFolderBefore;
int UserSettings::scripts = 0;

int UserSettings::Shell(const std::string& script, std::string* output, DWORD timeoutMs) {
    const std::string name = work + "/step" + std::to_string(++scripts);
    if (!wintest::WriteFileBytes(WindowsPath(name + ".sh"), script)) return -1;
    if (!wintest::StartUnix("sh " + name + ".sh > " + name + ".out 2>&1; echo $? > " + name + ".rc.new; mv " +
                            name + ".rc.new " + name + ".rc"))
        return -1;
    const std::wstring rc = WindowsPath(name + ".rc");
    if (!wintest::WaitFor([&] { return wintest::FileExists(rc); }, timeoutMs)) return -1;
    if (output) *output = wintest::ReadFileBytes(WindowsPath(name + ".out"));
    return std::atoi(wintest::ReadFileBytes(rc).c_str());
}

std::string UserSettings::AsUser(const char* user, const std::string& program, const std::string& args) {
    const std::string loader = Environment("WINELOADER").empty() ? "wine" : Environment("WINELOADER");
    const std::string runAs = "runuser -u " + std::string(user) + " -- env -i HOME=" + work + "/home-" + user +
                              " PATH=/usr/local/bin:/usr/bin:/bin WINEPREFIX=" + Prefix(user) + " ";
    return runAs + "DISPLAY=" + Quoted(Environment("DISPLAY")) + " WINEARCH=" + Environment("WINEARCH") +
           " WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' LANG=cs_CZ.UTF-8 LC_ALL=cs_CZ.UTF-8 TZ=Europe/Prague " +
           Quoted(loader) + " " + Quoted(program) + args + "; code=$?; " + runAs + "wineserver -w; exit $code";
}

Report UserSettings::Hands(const char* user, const std::vector<std::string>& args, std::string* log) {
    std::string quoted;
    for (const std::string& arg : args) quoted += " " + Quoted(arg);
    const std::string command = AsUser(user, build + "/tests/settings_user_child.exe", quoted);
    std::string output;
    const int code = Shell(command, &output, 180000);
    *log = "exit " + std::to_string(code) + "\n" + output;
    Report report;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();  // a Windows program's line end
        const size_t eq = line.find('=');
        if (eq != std::string::npos) report.emplace(line.substr(0, eq), line.substr(eq + 1));
    }
    return report;
}

std::wstring UserSettings::InPrefix(const char* user, const std::string& windowsPath) {
    if (windowsPath.size() < 3 || windowsPath[1] != ':') return L"";
    std::string path = Prefix(user) + "/drive_c/" + windowsPath.substr(3);
    return WindowsPath(path);
}

std::vector<std::string> UserSettings::ProgramFolderFiles() {
    std::vector<std::string> files = wintest::FilesBelow(WindowsPath(Prefix(kUsers[0]) + "/" + kProgramFolder));
    for (std::string& f : files) {
        const std::string bytes = wintest::ReadFileBytes(WindowsPath(Prefix(kUsers[0]) + "/" + kProgramFolder + "/") +
                                                         fw::Wide(f));
        f += " " + std::to_string(bytes.size()) + " " + std::to_string(std::hash<std::string>()(bytes));
    }
    return files;
}

void UserSettings::SetUpTestSuite() {
    build = Environment("KOLIBRIO_BUILD");
    const std::string templ = Environment("KOLIBRIO_WINE_TEMPLATE");
    if (build.empty() || templ.empty() || Environment("DISPLAY").empty()) {
        failure = "KOLIBRIO_BUILD, KOLIBRIO_WINE_TEMPLATE and DISPLAY come from the test scripts";
        return;
    }
    work = "/tmp/kolibrio-users-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount());
    if (!CreateDirectoryW(WindowsPath(work).c_str(), nullptr)) {
        failure = "no folder " + work;
        return;
    }
    std::string output;
    if (Shell("id -u", &output, 30000) != 0) {
        skip = "this Wine starts no Unix program";
        return;
    }
    if (output != "0\n") {
        skip = "the accounts are made by root; this runs as uid " + output;
        return;
    }
    std::string setup = "set -e\nchmod 755 " + work + "\n";
    for (const char* user : kUsers) {
        const std::string u = user;
        setup += "id -u " + u + " >/dev/null 2>&1 || useradd --system --no-create-home --shell /usr/sbin/nologin " +
                 u + "\n";
        // The file "wineserver" names the template's server folder, which
        // is root's: the account's Wine makes one of its own.
        setup += "cp -a " + Quoted(templ) + " " + Prefix(user) + "\nrm -f " + Prefix(user) + "/wineserver\nmkdir " +
                 work + "/home-" + u + "\n";
        setup += "chown -R " + u + ": " + Prefix(user) + " " + work + "/home-" + u + "\n";
        // The display the tests run on must take the account's windows.
        setup += "runuser -u " + u + " -- env DISPLAY=" + Quoted(Environment("DISPLAY")) +
                 " xdpyinfo >/dev/null 2>&1 || xhost +SI:localuser:" + u + "\n";
    }
    if (Shell(setup, &output, 300000) != 0) {
        failure = "making the accounts and their prefixes:\n" + output;
        return;
    }

    // The administrator installs (in the first account's prefix: a prefix
    // is one user's); the program folder then belongs to root.
    const char* jana = kUsers[0];
    const std::string install = AsUser(jana, UnixPath(wintest::ReleaseInstaller()), " /S");
    if (Shell(install, &output, 300000) != 0) {
        failure = "the silent installer:\n" + output;
        return;
    }
    const std::wstring folder = WindowsPath(Prefix(jana) + "/" + kProgramFolder + "/");
    if (!wintest::FileExists(folder + L"Uninstall.exe") || !wintest::FileExists(folder + L"Kolibrio2.exe")) {
        failure = "nothing installed in " + fw::Utf8(folder);
        return;
    }
    // The setting.ini the installer left beside the program, with the
    // online check off (no test reaches for the vendor's host) and a
    // target folder to tell it by.
    const std::wstring beside = folder + L"setting.ini";
    WritePrivateProfileStringW(L"Options", L"AutoUpdate", L"0", beside.c_str());
    WritePrivateProfileStringW(L"Mask", L"Path", L"C:\\Foto\\Instalace\\", beside.c_str());
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, beside.c_str());
    const std::string programFolder = Quoted(Prefix(jana) + "/" + kProgramFolder);
    std::string handOver =
        "set -e\nchown -R root:root " + programFolder + "\nchmod -R u=rwX,go=rX " + programFolder + "\n";
    for (const char* user : kUsers) {
        if (user == jana) continue;
        const std::string files = Prefix(user) + "/drive_c/Program Files";
        handOver += "mkdir -p " + Quoted(files) + "\nln -s " + programFolder + " " + Quoted(files + "/Kolibrio 2") +
                    "\nchown -h " + user + ": " + Quoted(files + "/Kolibrio 2") + "\n";
    }
    if (Shell(handOver, &output) != 0) {
        failure = "handing the program folder to root:\n" + output;
        return;
    }
    std::string files;
    for (const std::string& f : ProgramFolderFiles()) files += f + "\n";
    programFolderBefore = files;
}

void UserSettings::TearDownTestSuite() {
    if (work.empty()) return;
    std::string script;
    for (const char* user : kUsers)
        script += "[ -d " + Prefix(user) + " ] && runuser -u " + std::string(user) + " -- env WINEPREFIX=" +
                  Prefix(user) + " wineserver -k; ";
    Shell(script + "true", nullptr, 60000);
    wintest::StartUnix("rm -rf " + work);
}

}  // namespace

// OK in the settings window saves without an error, the next start reads
// the saved value, and a second user's settings are their own: started
// from that user's copy of an earlier 32-bit installation, saved apart.
TEST_F(UserSettings, EachUserSavesAndReadsBackTheirOwnSettings) {
    const char* jana = kUsers[0];
    const char* petr = kUsers[1];
    std::string log;

    // Jana's first start takes the settings beside the program.
    Report first = Hands(jana, {fw::Utf8(kProgram), "C:\\Foto\\Instalace\\", "C:\\Foto\\Jana\\"}, &log);
    ASSERT_TRUE(Shows(first, "C:\\Foto\\Instalace\\")) << log;
    EXPECT_EQ(One(first, "saved"), "1") << "OK did not close the window:\n" << log;
    EXPECT_EQ(One(first, "ended"), "1") << log;
    // Saved in her profile; the program folder is as the installer left it.
    const std::string janaData = One(first, "appdata");
    const std::wstring janaFile = InPrefix(jana, janaData + "\\Kolibrio 2\\setting.ini");
    ASSERT_FALSE(janaFile.empty()) << log;
    const std::string saved = wintest::ReadFileBytes(janaFile);
    EXPECT_NE(fw::Utf8(std::wstring(reinterpret_cast<const wchar_t*>(saved.data()), saved.size() / 2))
                  .find("Path=C:\\Foto\\Jana\\"),
              std::string::npos)
        << fw::Utf8(janaFile);
    std::string files;
    for (const std::string& f : ProgramFolderFiles()) files += f + "\n";
    EXPECT_EQ(files, programFolderBefore);

    Report again = Hands(jana, {fw::Utf8(kProgram)}, &log);
    EXPECT_TRUE(Shows(again, "C:\\Foto\\Jana\\")) << "the next start:\n" << log;
    EXPECT_EQ(One(again, "ended"), "1") << log;

    // Petr's first start takes his copy from an earlier 32-bit version,
    // not Jana's settings nor those beside the program.
    Report petrFirst =
        Hands(petr, {fw::Utf8(kProgram), "C:\\Foto\\Petr starý\\", "C:\\Foto\\Petr\\", "--virtual-store",
                     "C:\\Foto\\Petr starý\\"},
              &log);
    ASSERT_TRUE(Shows(petrFirst, "C:\\Foto\\Petr starý\\")) << log;
    EXPECT_EQ(One(petrFirst, "saved"), "1") << log;
    Report petrAgain = Hands(petr, {fw::Utf8(kProgram)}, &log);
    EXPECT_TRUE(Shows(petrAgain, "C:\\Foto\\Petr\\")) << log;

    // Jana's are still hers.
    Report janaLast = Hands(jana, {fw::Utf8(kProgram)}, &log);
    EXPECT_TRUE(Shows(janaLast, "C:\\Foto\\Jana\\")) << log;
    EXPECT_FALSE(Shows(janaLast, "C:\\Foto\\Petr\\")) << log;
}

// A profile folder the user may not write (an administrator's tool took it
// over): OK says in Czech where it could not save and why, the window stays
// open with what the user typed, the program goes on and ends normally,
// and the saved file is as it was.
TEST_F(UserSettings, AProfileFolderThatTakesNothingIsNamedAndNothingIsLost) {
    const char* eva = kUsers[2];
    std::string log;
    Report first = Hands(eva, {fw::Utf8(kProgram), "C:\\Foto\\Instalace\\", "C:\\Foto\\Eva\\"}, &log);
    ASSERT_EQ(One(first, "saved"), "1") << log;
    const std::string folder = One(first, "appdata") + "\\Kolibrio 2\\";
    const std::wstring file = InPrefix(eva, folder + "setting.ini");
    const std::string before = wintest::ReadFileBytes(file);
    ASSERT_FALSE(before.empty()) << fw::Utf8(file);
    std::string output;
    const std::string unixFolder = Quoted(Prefix(eva) + "/drive_c/" + SlashesOf(folder.substr(3)));
    ASSERT_EQ(Shell("chown -R root:root " + unixFolder + " && chmod 755 " + unixFolder, &output), 0) << output;

    Report refused = Hands(eva, {fw::Utf8(kProgram), "C:\\Foto\\Eva\\", "C:\\Foto\\Jinam\\"}, &log);
    EXPECT_EQ(One(refused, "saved"), "0") << log;
    const std::string where = "Nastavení nebylo možné uložit do souboru \"" + folder + "setting.ini\".\\n";
    const std::vector<std::string> box = Values(refused, "box");
    EXPECT_TRUE(std::any_of(box.begin(), box.end(), [&](const std::string& t) {
        return t.rfind(where, 0) == 0 && t.size() > where.size() + 2;  // then the reason
    })) << log;
    EXPECT_EQ(One(refused, "ended"), "1") << "the program went on and ended as asked\n" << log;
    EXPECT_TRUE(wintest::ReadFileBytes(file) == before);
    Report after = Hands(eva, {fw::Utf8(kProgram)}, &log);
    EXPECT_TRUE(Shows(after, "C:\\Foto\\Eva\\")) << log;
}
