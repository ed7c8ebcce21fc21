#include "UpdaterTestSupport.h"

#include "GsMessageBox.h"
#include "GsTestFiles.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace updtest
{
namespace
{

using Bytes = std::vector<unsigned char>;

std::vector<ShownBox> g_shownBoxes;

int RecordBox(HWND owner, const char* text, const char* caption, UINT style)
{
    g_shownBoxes.push_back(
        {owner, text != nullptr ? text : "", caption != nullptr ? caption : "", style});
    return IDOK;
}

void Align(Bytes& out)
{
    while (out.size() % 4 != 0)
    {
        out.push_back(0);
    }
}

void PutWord(Bytes& out, WORD value)
{
    out.push_back(static_cast<unsigned char>(value & 0xFF));
    out.push_back(static_cast<unsigned char>(value >> 8));
}

void PutWide(Bytes& out, const std::wstring& text)
{
    for (wchar_t c : text)
    {
        PutWord(out, static_cast<WORD>(c));
    }
    PutWord(out, 0);
}

// One node of a version block: length, value length, type, key, value, then its children,
// each part 32-bit aligned; the length is patched in at the end.
template <typename Children>
void Node(Bytes& out, const std::wstring& key, WORD type, WORD valueLength, const Bytes& value,
          Children children)
{
    Align(out);
    const std::size_t start = out.size();
    PutWord(out, 0);
    PutWord(out, valueLength);
    PutWord(out, type);
    PutWide(out, key);
    Align(out);
    out.insert(out.end(), value.begin(), value.end());
    children(out);
    const std::size_t length = out.size() - start;
    out[start] = static_cast<unsigned char>(length & 0xFF);
    out[start + 1] = static_cast<unsigned char>(length >> 8);
}

void NoChildren(Bytes&) {}

} // namespace

std::string OldRelease()
{
    return gstest::ToWindowsPath(GS_OLD_RELEASE);
}

std::string NewRelease()
{
    return gstest::ToWindowsPath(GS_NEW_SAMPLE_RELEASE);
}

std::string UpdaterProgram()
{
    return gstest::ToWindowsPath(GS_UPDATER_PROGRAM);
}

std::string VersionCarrier()
{
    return gstest::ToWindowsPath(GS_VERSION_CARRIER);
}

std::string StepRunner()
{
    return gstest::ToWindowsPath(GS_STEP_RUNNER);
}

std::string PlantedLibrary()
{
    return gstest::ToWindowsPath(GS_PLANTED_LIBRARY);
}

std::string ProductBuildDir()
{
    return gstest::ToWindowsPath(GS_PRODUCT_BUILD_DIR);
}

int PayloadIsTheSample()
{
    return GS_PAYLOAD_IS_SAMPLE;
}

std::string ReadAll(const std::string& path, int* ok)
{
    return gstest::ReadWholeFile(path, ok);
}

int WriteAll(const std::string& path, const std::string& content)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
    {
        return 0;
    }
    const bool written = std::fwrite(content.data(), 1, content.size(), file) == content.size();
    return std::fclose(file) == 0 && written ? 1 : 0;
}

int CopyTo(const std::string& from, const std::string& to)
{
    return CopyFileA(from.c_str(), to.c_str(), FALSE) ? 1 : 0;
}

int Exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES ? 1 : 0;
}

int Resize(const std::string& path, long long size)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
    {
        return 0;
    }
    LARGE_INTEGER position;
    position.QuadPart = size;
    const BOOL done = SetFilePointerEx(file, position, nullptr, FILE_BEGIN) && SetEndOfFile(file);
    CloseHandle(file);
    return done ? 1 : 0;
}

std::vector<std::string> ListFolder(const std::string& folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
    {
        return names;
    }
    do
    {
        const std::string name = found.cFileName;
        if (name != "." && name != "..")
        {
            names.push_back(name);
        }
    } while (FindNextFileA(find, &found));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

DataModule::DataModule(const std::string& path)
    : module(LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE))
{
}

DataModule::~DataModule()
{
    if (module != nullptr)
    {
        FreeLibrary(module);
    }
}

std::vector<unsigned char> BuiltPayload()
{
    const std::string content = ReadAll(gstest::ToWindowsPath(GS_PAYLOAD_FILE));
    return std::vector<unsigned char>(content.begin(), content.end());
}

int WriteResources(const std::string& path, const std::vector<Resource>& resources,
                   bool removeExisting)
{
    HANDLE update = BeginUpdateResourceA(path.c_str(), removeExisting ? TRUE : FALSE);
    if (update == nullptr)
    {
        return 0;
    }
    for (const Resource& resource : resources)
    {
        if (!UpdateResourceA(update, resource.type, resource.name, resource.language,
                             const_cast<unsigned char*>(resource.data.data()),
                             static_cast<DWORD>(resource.data.size())))
        {
            EndUpdateResourceA(update, TRUE);
            return 0;
        }
    }
    return EndUpdateResourceA(update, FALSE) ? 1 : 0;
}

VersionResource& VersionResource::Table(const std::wstring& key, const Values& values)
{
    tables.emplace_back(key, values);
    return *this;
}

VersionResource& VersionResource::Translation(WORD language, WORD codePage)
{
    translations.push_back(MAKELONG(language, codePage));
    return *this;
}

VersionResource& VersionResource::WithoutVarFileInfo()
{
    varFileInfo = false;
    return *this;
}

std::vector<unsigned char> VersionResource::Build() const
{
    VS_FIXEDFILEINFO fixed = {};
    fixed.dwSignature = 0xFEEF04BD;
    fixed.dwStrucVersion = 0x00010000;
    fixed.dwFileVersionMS = 0x00010000;
    fixed.dwProductVersionMS = 0x00010000;
    fixed.dwFileFlagsMask = VS_FFI_FILEFLAGSMASK;
    fixed.dwFileOS = VOS_NT_WINDOWS32;
    fixed.dwFileType = VFT_APP;
    const auto* fixedBytes = reinterpret_cast<const unsigned char*>(&fixed);
    const Bytes fixedValue(fixedBytes, fixedBytes + sizeof fixed);

    Bytes out;
    Node(out, L"VS_VERSION_INFO", 0, static_cast<WORD>(sizeof fixed), fixedValue,
         [this](Bytes& root)
         {
             if (!tables.empty())
             {
                 Node(root, L"StringFileInfo", 1, 0, Bytes(),
                      [this](Bytes& stringFileInfo)
                      {
                          for (const auto& table : tables)
                          {
                              Node(stringFileInfo, table.first, 1, 0, Bytes(),
                                   [&table](Bytes& strings)
                                   {
                                       for (const auto& value : table.second)
                                       {
                                           Bytes text;
                                           PutWide(text, value.second);
                                           Node(strings, value.first, 1,
                                                static_cast<WORD>(value.second.size() + 1), text,
                                                NoChildren);
                                       }
                                   });
                          }
                      });
             }
             if (varFileInfo)
             {
                 Node(root, L"VarFileInfo", 1, 0, Bytes(),
                      [this](Bytes& varInfo)
                      {
                          Bytes value;
                          for (DWORD entry : translations)
                          {
                              PutWord(value, LOWORD(entry));
                              PutWord(value, HIWORD(entry));
                          }
                          Node(varInfo, L"Translation", 0, static_cast<WORD>(value.size()), value,
                               NoChildren);
                      });
             }
         });
    return out;
}

VersionResource::Values ReleaseValues(const std::wstring& description, const std::wstring& version,
                                      const std::wstring& productName,
                                      const std::wstring& specialBuild)
{
    return {{L"FileDescription", description},
            {L"ProductVersion", version},
            {L"ProductName", productName},
            {L"SpecialBuild", specialBuild}};
}

int MakeVersionedFile(const std::string& path, const VersionResource& version)
{
    if (!CopyTo(VersionCarrier(), path))
    {
        return 0;
    }
    return WriteResources(path,
                          {{RT_VERSION, MAKEINTRESOURCEA(1),
                            MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT), version.Build()}},
                          true);
}

MessageBoxRecorder::MessageBoxRecorder()
{
    g_shownBoxes.clear();
    GsSetMessageBoxFunction(RecordBox);
}

MessageBoxRecorder::~MessageBoxRecorder()
{
    GsSetMessageBoxFunction(nullptr);
}

const std::vector<ShownBox>& MessageBoxRecorder::Boxes() const
{
    return g_shownBoxes;
}

} // namespace updtest
