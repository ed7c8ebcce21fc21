// Utility cases that change machine-wide state of the wine prefix (registry values, drive
// letters) and put it back. ctest runs them one at a time, apart from every other test.
#include "GsUtility.h"

#include <gtest/gtest.h>

#include <winioctl.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace
{

// Removes one registry value for a scope and stores it back, type and bytes as they were.
class RemovedValue
{
public:
    RemovedValue(HKEY root, const char* subKey, const char* valueName) : name(valueName)
    {
        if (RegOpenKeyExA(root, subKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        {
            key = nullptr;
            return;
        }
        DWORD size = 0;
        if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS)
        {
            data.resize(size);
            had = RegQueryValueExA(key, name, nullptr, &type, data.data(), &size) == ERROR_SUCCESS;
        }
        removed = !had || RegDeleteValueA(key, name) == ERROR_SUCCESS;
    }
    ~RemovedValue()
    {
        if (key == nullptr)
        {
            return;
        }
        if (had)
        {
            RegSetValueExA(key, name, 0, type, data.data(), static_cast<DWORD>(data.size()));
        }
        RegCloseKey(key);
    }
    RemovedValue(const RemovedValue&) = delete;
    RemovedValue& operator=(const RemovedValue&) = delete;

    bool IsRemoved() const { return key != nullptr && removed; }

private:
    const char* name;
    HKEY key = nullptr;
    DWORD type = 0;
    std::vector<BYTE> data;
    bool had = false;
    bool removed = false;
};

// wine's own request for defining a drive letter (the one its configuration tool sends to the
// mount manager): the type, the letter and, behind the record, the host path it maps to. The
// mount manager then also records the type in HKLM\Software\Wine\Drives ("x:" = "cdrom"), and
// forgets both when the letter is defined with no type.
struct WineDriveRequest
{
    ULONG size;
    ULONG type;
    ULONG fsType;
    DWORD serial;
    ULONGLONG unixDevice;
    WCHAR letter;
    USHORT mountPointOffset;
    USHORT deviceOffset;
    USHORT labelOffset;
};
const DWORD kDefineWineDrive =
    CTL_CODE('m', 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);

bool DefineWineDrive(char letter, UINT type, const std::string& hostPath)
{
    std::vector<char> request(sizeof(WineDriveRequest) + hostPath.size() + 1, '\0');
    WineDriveRequest header = {};
    header.size = static_cast<ULONG>(request.size());
    header.type = type;
    header.letter = static_cast<WCHAR>(letter - 'A' + 'a');
    if (!hostPath.empty())
    {
        header.mountPointOffset = sizeof(WineDriveRequest);
        std::memcpy(request.data() + sizeof(WineDriveRequest), hostPath.c_str(), hostPath.size());
    }
    std::memcpy(request.data(), &header, sizeof(header));
    const HANDLE manager =
        CreateFileA("\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (manager == INVALID_HANDLE_VALUE)
    {
        return false;
    }
    DWORD returned = 0;
    const BOOL done =
        DeviceIoControl(manager, kDefineWineDrive, request.data(),
                        static_cast<DWORD>(request.size()), nullptr, 0, &returned, nullptr);
    CloseHandle(manager);
    return done != FALSE;
}

std::string WineDriveType(char letter)
{
    char value[32] = {};
    DWORD size = sizeof(value);
    const std::string name = std::string(1, static_cast<char>(letter - 'A' + 'a')) + ":";
    if (RegGetValueA(HKEY_LOCAL_MACHINE, "Software\\Wine\\Drives", name.c_str(), RRF_RT_REG_SZ,
                     nullptr, value, &size) != ERROR_SUCCESS)
    {
        return std::string();
    }
    return value;
}

bool HasCdRomDrive()
{
    char roots[512] = {};
    GetLogicalDriveStringsA(sizeof(roots) - 1, roots);
    for (const char* root = roots; *root != '\0'; root += std::strlen(root) + 1)
    {
        if (GetDriveTypeA(root) == DRIVE_CDROM)
        {
            return true;
        }
    }
    return false;
}

// A CD-ROM drive for a scope: a free letter mapped to a fresh host folder under /tmp (which
// the program sees under Z:). The letter, its folder and its registry entry go at the end.
class CdRomDrive
{
public:
    CdRomDrive()
    {
        const std::string tag = "gs-cdrom-" + std::to_string(GetCurrentProcessId()) + "-" +
                                std::to_string(std::random_device{}());
        hostFolder = "/tmp/" + tag;
        folder = "Z:\\tmp\\" + tag;
        if (!CreateDirectoryA(folder.c_str(), nullptr))
        {
            return;
        }
        const DWORD used = GetLogicalDrives();
        for (char candidate = 'D'; candidate <= 'Y'; ++candidate)
        {
            if (!(used & (1u << (candidate - 'A'))))
            {
                if (DefineWineDrive(candidate, DRIVE_CDROM, hostFolder))
                {
                    letter = candidate;
                }
                break;
            }
        }
    }
    ~CdRomDrive()
    {
        if (letter != 0)
        {
            DefineWineDrive(letter, DRIVE_NO_ROOT_DIR, std::string());
        }
        std::error_code ignored;
        fs::remove_all(fs::path(folder), ignored);
    }
    CdRomDrive(const CdRomDrive&) = delete;
    CdRomDrive& operator=(const CdRomDrive&) = delete;

    bool IsDefined() const { return letter != 0; }
    char Letter() const { return letter; }
    std::string Root() const { return std::string(1, letter) + ":\\"; }
    void AddFile(const char* name) const
    {
        std::ofstream(folder + "\\" + name, std::ios::binary) << "disc";
    }

private:
    std::string hostFolder;
    std::string folder;
    char letter = 0;
};

// Records where FindCdRomDrive looks, to show that it asks FilesExist through the table and
// only for CD-ROM drives.
class RecordingUtility : public CGsUtility
{
public:
    int FilesExist(const char* fileName, const char* secondFileName, const char* folder) override
    {
        asked.push_back(folder);
        return CGsUtility::FilesExist(fileName, secondFileName, folder);
    }
    std::vector<std::string> asked;
};

UINT CurrentErrorMode()
{
    const UINT mode = SetErrorMode(0);
    SetErrorMode(mode);
    return mode;
}

TEST(GsUtilityMachineTest, ProgramFilesFallsBackToTheWindowsDirectory)
{
    char windows[MAX_PATH] = {};
    ASSERT_NE(0u, GetWindowsDirectoryA(windows, sizeof(windows)));
    CGsUtility utility;
    char buffer[MAX_PATH] = {};
    {
        RemovedValue absent(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion",
                            "ProgramFilesDir");
        ASSERT_TRUE(absent.IsRemoved());
        EXPECT_EQ(0, utility.GetProgramFilesDir(buffer, sizeof(buffer)));
        EXPECT_STREQ(windows, buffer);
    }
    std::memset(buffer, 0, sizeof(buffer));
    EXPECT_EQ(1, utility.GetProgramFilesDir(buffer, sizeof(buffer))) << "the value is back";
    EXPECT_STRNE(windows, buffer);
}

TEST(GsUtilityMachineTest, MissingDesktopValueGivesNothing)
{
    CGsUtility utility;
    char buffer[MAX_PATH];
    {
        RemovedValue absent(HKEY_CURRENT_USER,
                            "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                            "Desktop");
        ASSERT_TRUE(absent.IsRemoved());
        std::memset(buffer, '#', sizeof(buffer)); // the first byte need not be 0 on entry
        EXPECT_EQ(0, utility.GetDesktopDir(buffer, sizeof(buffer)));
        EXPECT_EQ('\0', buffer[0]);
    }
    EXPECT_EQ(1, utility.GetDesktopDir(buffer, sizeof(buffer))) << "the value is back";
}

TEST(GsUtilityMachineTest, WithoutACdRomDriveNothingIsLookedFor)
{
    if (HasCdRomDrive())
    {
        GTEST_SKIP() << "this prefix has a CD-ROM drive of its own";
    }
    RecordingUtility utility;
    std::string drive = "stale";
    const UINT before = SEM_NOGPFAULTERRORBOX;
    const UINT saved = SetErrorMode(before);
    EXPECT_EQ(0, utility.FindCdRomDrive("setup.ini", "data.bin", drive));
    EXPECT_EQ(before, SetErrorMode(saved));
    EXPECT_EQ("", drive);
    EXPECT_TRUE(utility.asked.empty());
}

TEST(GsUtilityMachineTest, FindsTheFilesOnACdRomDrive)
{
    char letter = 0;
    {
        CdRomDrive cdrom;
        if (!cdrom.IsDefined())
        {
            GTEST_SKIP() << "no wine mount manager to declare a CD-ROM drive";
        }
        letter = cdrom.Letter();
        EXPECT_EQ("cdrom", WineDriveType(letter));
        cdrom.AddFile("setup.ini");
        cdrom.AddFile("data.bin");

        RecordingUtility utility;
        EXPECT_EQ(0, utility.IsFixedDrive(cdrom.Root().c_str()));

        std::string drive;
        const UINT saved = SetErrorMode(0);
        EXPECT_EQ(1, utility.FindCdRomDrive("setup.ini", "data.bin", drive));
        EXPECT_EQ(cdrom.Root(), drive);
        EXPECT_EQ(0u, CurrentErrorMode()) << "restored after a find";
        // Only the CD-ROM drive was asked, with its root as the folder.
        EXPECT_EQ(std::vector<std::string>{cdrom.Root()}, utility.asked);

        drive = "stale";
        EXPECT_EQ(1, utility.FindCdRomDrive("setup.ini", nullptr, drive));
        EXPECT_EQ(cdrom.Root(), drive);

        // One of the two files missing: not this drive.
        EXPECT_EQ(0, utility.FindCdRomDrive("setup.ini", "missing.bin", drive));
        EXPECT_EQ("", drive);
        EXPECT_EQ(0u, CurrentErrorMode()) << "restored after a miss";
        SetErrorMode(saved);
    }
    // The drive, and with it wine's registry entry, is gone again.
    EXPECT_EQ("", WineDriveType(letter));
    EXPECT_FALSE(GetLogicalDrives() & (1u << (letter - 'A')));
}

TEST(GsUtilityMachineTest, SetsTheWallpaper)
{
    char previous[MAX_PATH] = {};
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETDESKWALLPAPER, sizeof(previous), previous, 0));

    // A 1x1 bitmap file of its own.
    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof(temp), temp);
    const std::string image =
        std::string(temp) + "gs-wallpaper-" + std::to_string(GetCurrentProcessId()) + ".bmp";
    {
        BITMAPFILEHEADER file = {};
        BITMAPINFOHEADER info = {};
        const unsigned char pixel[4] = {0x20, 0x40, 0x80, 0x00};
        file.bfType = 0x4D42;
        file.bfOffBits = sizeof(file) + sizeof(info);
        file.bfSize = file.bfOffBits + sizeof(pixel);
        info.biSize = sizeof(info);
        info.biWidth = 1;
        info.biHeight = 1;
        info.biPlanes = 1;
        info.biBitCount = 24;
        std::ofstream out(image, std::ios::binary);
        out.write(reinterpret_cast<const char*>(&file), sizeof(file));
        out.write(reinterpret_cast<const char*>(&info), sizeof(info));
        out.write(reinterpret_cast<const char*>(pixel), sizeof(pixel));
    }

    CGsUtility utility;
    EXPECT_TRUE(utility.SetWallpaper(image.c_str()));
    char now[MAX_PATH] = {};
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETDESKWALLPAPER, sizeof(now), now, 0));
    EXPECT_STREQ(image.c_str(), now);

    EXPECT_TRUE(utility.SetWallpaper(previous));
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETDESKWALLPAPER, sizeof(now), now, 0));
    EXPECT_STREQ(previous, now);
    DeleteFileA(image.c_str());
}

} // namespace
