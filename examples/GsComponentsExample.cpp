// Uses the installed component library: the factory of CGsUtility makes the registry,
// shortcut, file-search and install-manager components by identifier, each does real work in
// a scratch key or folder, and the results are checked. Exits 0 only when every check passed.
#include <GsComponentIds.h>
#include <GsFile.h>
#include <GsInstallManager.h>
#include <GsLZSS.h>
#include <GsRegistry.h>
#include <GsSearchFile.h>
#include <GsShortcut.h>
#include <GsUtility.h>

#include <windows.h>

#include <objbase.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

// Gs::core's compile options give string literals the library's code page (932), in which
// this kanji is two bytes, the second a backslash; in UTF-8 it would be three.
static_assert(sizeof("表") == 3, "string literals are not in code page 932");

namespace
{

int g_failures = 0;

// ANSI text (the process's code page) as UTF-8, so that the output reads the same anywhere.
std::string ToUtf8(const std::string& ansi)
{
    const int wideLength = MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, nullptr, 0);
    if (wideLength <= 0)
    {
        return ansi;
    }
    std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, &wide[0], wideLength);
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, &utf8[0], length, nullptr, nullptr);
    utf8.resize(static_cast<std::size_t>(length) - 1);
    return utf8;
}

bool Check(bool ok, const std::string& what)
{
    std::printf("%s %s\n", ok ? "ok:    " : "FAILED:", ToUtf8(what).c_str());
    if (!ok)
    {
        ++g_failures;
    }
    return ok;
}

// A component from the factory, or null (reported) when it made none.
template <class Interface>
Interface* Make(IGsUtility& utility, const GUID& identifier, const char* name)
{
    IGsInterface* component = nullptr;
    const HRESULT result = utility.CreateComponent(identifier, &component);
    if (!Check(result == S_OK && component != nullptr, std::string("factory made ") + name))
    {
        return nullptr;
    }
    return static_cast<Interface*>(component);
}

std::vector<unsigned char> Pattern(std::size_t size, unsigned seed)
{
    std::vector<unsigned char> bytes(size);
    for (unsigned char& byte : bytes)
    {
        seed = seed * 1103515245u + 12345u;
        // Mostly four letters, so that the codec finds matches; now and then any byte.
        byte = static_cast<unsigned char>((seed >> 28) < 14 ? 'a' + (seed >> 16) % 4 : seed >> 16);
    }
    return bytes;
}

bool WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes)
{
    CGsFile file;
    unsigned int written = 0;
    return file.Open(path.c_str(), GS_FILE_WRITE | GS_FILE_BINARY) == 1 &&
           file.Write(bytes.data(), static_cast<unsigned int>(bytes.size()), &written) == 1 &&
           written == bytes.size() && file.Close() == 0;
}

std::vector<unsigned char> ReadBytes(const std::string& path)
{
    CGsFile file;
    std::vector<unsigned char> bytes;
    if (file.Open(path.c_str(), GS_FILE_READ | GS_FILE_BINARY) != 1)
    {
        return bytes;
    }
    const int size = file.GetSize();
    if (size < 0)
    {
        return bytes;
    }
    bytes.resize(static_cast<std::size_t>(size));
    unsigned int read = 0;
    file.Read(bytes.data(), static_cast<unsigned int>(bytes.size()), &read);
    bytes.resize(read);
    return bytes;
}

// Removes a folder and everything below it; true when the folder is gone.
bool RemoveTree(const std::string& folder)
{
    WIN32_FIND_DATAA entry;
    const HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE)
    {
        do
        {
            const std::string name = entry.cFileName;
            if (name == "." || name == "..")
            {
                continue;
            }
            const std::string path = folder + "\\" + name;
            if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
            {
                RemoveTree(path);
            }
            else
            {
                DeleteFileA(path.c_str());
            }
        } while (FindNextFileA(find, &entry));
        FindClose(find);
    }
    return RemoveDirectoryA(folder.c_str()) != 0;
}

// Reads a shortcut file back through the shell's own link object: its target, description and
// arguments. False when the file cannot be loaded.
bool ReadShortcut(const std::string& linkPath, std::string& target, std::string& description,
                  std::string& arguments)
{
    IShellLinkA* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&link))))
    {
        return false;
    }
    IPersistFile* file = nullptr;
    bool loaded = false;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))))
    {
        wchar_t widePath[MAX_PATH];
        char text[MAX_PATH] = {};
        if (MultiByteToWideChar(CP_ACP, 0, linkPath.c_str(), -1, widePath, MAX_PATH) > 0 &&
            SUCCEEDED(file->Load(widePath, STGM_READ)) &&
            SUCCEEDED(link->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH)))
        {
            target = text;
            text[0] = '\0';
            link->GetDescription(text, MAX_PATH);
            description = text;
            text[0] = '\0';
            link->GetArguments(text, MAX_PATH);
            arguments = text;
            loaded = true;
        }
        file->Release();
    }
    link->Release();
    return loaded;
}

void UseRegistry(IGsUtility& utility, const std::string& keyName)
{
    IGsRegistry* registry = Make<IGsRegistry>(utility, IID_IGsRegistry, "the registry component");
    if (registry == nullptr)
    {
        return;
    }
    const std::string fullKey = "Software\\" + keyName;
    if (Check(registry->CreateKey(HKEY_CURRENT_USER, fullKey.c_str()) == 1,
              "created HKEY_CURRENT_USER\\" + fullKey))
    {
        const unsigned char blob[] = {0x00, 0x5C, 0xFF, 0x81, 0x40};
        Check(registry->SetString("Greeting", "表示 of the example") == 1 &&
                  registry->SetNumber("Answer", 4242) == 1 &&
                  registry->SetBinary("Blob", blob, sizeof(blob)) == 1,
              "wrote a string, a number and binary data");
        // Read back through a fresh open, so that the values come from the registry.
        registry->CloseKey();
        Check(registry->OpenKey(HKEY_CURRENT_USER, fullKey.c_str()) == 1, "reopened the key");
        char text[64] = {};
        registry->GetString("Greeting", text, sizeof(text), nullptr);
        Check(std::string(text) == "表示 of the example",
              std::string("string read back: \"") + text + "\"");
        const int number = registry->GetNumber("Answer", -1);
        Check(number == 4242, "number read back: " + std::to_string(number));
        unsigned char readBlob[16] = {};
        DWORD size = sizeof(readBlob);
        const bool blobRead = registry->GetBinary("Blob", readBlob, &size) == 1;
        Check(blobRead && size == sizeof(blob) && std::equal(blob, blob + sizeof(blob), readBlob),
              "binary data read back (" + std::to_string(size) + " bytes)");

        Check(registry->DeleteValue("Greeting") == 1 && registry->DeleteValue("Answer") == 1 &&
                  registry->DeleteValue("Blob") == 1,
              "deleted the values");
        Check(registry->OpenKey(HKEY_CURRENT_USER, "Software") == 1 &&
                  registry->DeleteKey(keyName.c_str()) == 1,
              "deleted the scratch key");
        Check(registry->OpenKey(HKEY_CURRENT_USER, fullKey.c_str()) == 0,
              "the scratch key is gone");
    }
    Check(registry->Release() == 0, "released the registry component");
}

void UseShortcut(IGsUtility& utility, const std::string& linkPath, const std::string& target,
                 const std::string& workingDirectory)
{
    // The factory calls Initialize, which starts COM on this thread until Release.
    IGsShortcut* shortcut = Make<IGsShortcut>(utility, IID_IGsShortcut, "the shortcut component");
    if (shortcut == nullptr)
    {
        return;
    }
    shortcut->SetDescription("GsComponents example");
    shortcut->SetArguments("/example");
    shortcut->SetWorkingDirectory(workingDirectory.c_str());
    shortcut->SetShowCommand(SW_SHOWNORMAL);
    if (Check(shortcut->Save(linkPath.c_str(), target.c_str()) == 1, "saved " + linkPath))
    {
        Check(GetFileAttributesA(linkPath.c_str()) != INVALID_FILE_ATTRIBUTES,
              "the link file exists");
        std::string resolved;
        std::string description;
        std::string arguments;
        const bool loaded = ReadShortcut(linkPath, resolved, description, arguments);
        Check(loaded && lstrcmpiA(resolved.c_str(), target.c_str()) == 0,
              "the link resolves to " + resolved);
        Check(loaded && description == "GsComponents example" && arguments == "/example",
              "the link keeps its description and arguments");
    }
    Check(shortcut->Release() == 0, "released the shortcut component");
}

void UseSearchFile(IGsUtility& utility, const std::string& tree, std::vector<std::string> expected)
{
    IGsSearchFile* search =
        Make<IGsSearchFile>(utility, IID_IGsSearchFile, "the file-search component");
    if (search == nullptr)
    {
        return;
    }
    search->SetDirectory(tree.c_str());
    std::vector<std::string> found;
    std::string name;
    std::string directory;
    std::string path;
    bool consistent = true;
    while (search->FindNextRecursive(name, directory, path) == 1 && found.size() < 100)
    {
        std::printf("        listed %s\n", ToUtf8(path).c_str());
        consistent = consistent && path == directory + "\\" + name &&
                     path.compare(0, tree.size() + 1, tree + "\\") == 0;
        found.push_back(path.substr(std::min(path.size(), tree.size() + 1)));
    }
    std::sort(found.begin(), found.end());
    std::sort(expected.begin(), expected.end());
    Check(consistent, "each listed path is its folder and name, inside the tree");
    Check(found == expected, "listed the " + std::to_string(expected.size()) +
                                 " files of the tree, found " + std::to_string(found.size()));
    Check(search->Release() == 0, "released the file-search component");
}

void UseInstallManager(IGsUtility& utility, const std::string& source,
                       const std::string& destination)
{
    IGsInstallManager* installer =
        Make<IGsInstallManager>(utility, IID_IGsInstallManager, "the install-manager component");
    if (installer == nullptr)
    {
        return;
    }
    // No progress window: the texts go nowhere and no box is shown; progress is printed here.
    Check(installer->Setup(nullptr, 0, source.c_str(), destination.c_str()) == 1,
          "set up the install manager");
    installer->AddFile("large.bin", nullptr);
    Check(installer->AddFile("small.txt", "small-copy.txt") == 2, "listed two files to copy");
    if (Check(installer->Start() == 1, "started the copy"))
    {
        int finished = 0;
        int progress = 0;
        int steps = 0;
        bool stepped = true;
        while (finished == 0 && steps < 100)
        {
            stepped = installer->Step(&finished, &progress) == 1;
            ++steps;
            std::printf("        copy progress %3d/256\n", progress);
            if (!stepped)
            {
                break;
            }
        }
        Check(stepped && finished == 1 && progress == 256,
              "the copy finished in " + std::to_string(steps) + " steps");
        Check(ReadBytes(source + "\\large.bin") == ReadBytes(destination + "\\large.bin"),
              "large.bin copied byte for byte");
        Check(ReadBytes(source + "\\small.txt") == ReadBytes(destination + "\\small-copy.txt"),
              "small.txt copied byte for byte as small-copy.txt");
    }
    Check(installer->Release() == 0, "released the install-manager component");
}

// The codec of Gs::compress, constructed directly: a round trip of one file's bytes.
void UseCompress(const std::vector<unsigned char>& bytes)
{
    // About 30 KiB of working memory: on the heap rather than the stack.
    std::unique_ptr<CGsLZSS> codec(new CGsLZSS());
    const int size = static_cast<int>(bytes.size());
    std::vector<unsigned char> packed(static_cast<std::size_t>(CGsLZSS::MaxEncodedSize(size)));
    const int packedSize =
        codec->Encode(bytes.data(), packed.data(), size, static_cast<int>(packed.size()));
    std::vector<unsigned char> unpacked(bytes.size());
    const bool decoded =
        packedSize > 0 && codec->Decode(packed.data(), unpacked.data(), packedSize, size) == 1;
    Check(decoded && codec->decodedSize == size && unpacked == bytes,
          "LZSS round trip of " + std::to_string(size) + " bytes through " +
              std::to_string(packedSize));
}

} // namespace

int main()
{
    CGsUtility utility;
    char tempDir[MAX_PATH] = {};
    if (!Check(utility.GetTempDir(tempDir, sizeof(tempDir)) == 1, "found the temp folder"))
    {
        return 1;
    }
    const std::string scratchName = "GsComponentsExample-" + std::to_string(GetCurrentProcessId());
    const std::string scratch = tempDir + scratchName;
    const std::string source = scratch + "\\source";
    const std::string destination = scratch + "\\destination";
    const std::string tree = scratch + "\\tree";
    // A folder whose name holds a 0x5C trail byte, where the code page allows it.
    const std::string sub = GetACP() == 932 ? "表ソフト" : "sub";
    utility.CreateDirectoryPath(source.c_str());
    utility.CreateDirectoryPath(destination.c_str());
    utility.CreateDirectoryPath((tree + "\\" + sub + "\\deeper").c_str());
    utility.CreateDirectoryPath((tree + "\\empty").c_str());

    // Larger than one copy step, so that the install manager reports progress in between.
    const std::vector<unsigned char> large = Pattern(GS_INSTALL_CHUNK_SIZE + 300000, 7);
    const std::string smallText = "A small text file.\r\n表 and ソ end in a backslash byte.\r\n";
    const std::vector<unsigned char> small(smallText.begin(), smallText.end());
    const std::vector<std::string> treeFiles = {"readme.txt", "data.bin", sub + "\\notes.txt",
                                                sub + "\\deeper\\last.dat"};
    bool written =
        WriteBytes(source + "\\large.bin", large) && WriteBytes(source + "\\small.txt", small);
    for (const std::string& file : treeFiles)
    {
        written = WriteBytes(tree + "\\" + file, Pattern(100 + file.size(), 3)) && written;
    }
    if (Check(written, "wrote the scratch files under " + scratch))
    {
        UseRegistry(utility, scratchName);
        UseShortcut(utility, scratch + "\\large.lnk", source + "\\large.bin", source);
        UseSearchFile(utility, tree, treeFiles);
        UseInstallManager(utility, source, destination);
        UseCompress(large);
    }
    Check(RemoveTree(scratch), "removed the scratch folder");

    std::printf("%s\n", g_failures == 0 ? "all components did their work"
                                        : (std::to_string(g_failures) + " checks failed").c_str());
    return g_failures == 0 ? 0 : 1;
}
