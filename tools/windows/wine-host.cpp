// A bare Windows POS host for the checks under Wine: loads ZoVORDA.dll with
// LoadLibraryW, finds the two calls with GetProcAddress under their exact cdecl
// prototypes, and ends in the way it is told.
//
//   wine-host exports DLL         the DLL's export table holds exactly ZoCardTrans and
//                                 ZoVipTrans, undecorated; prints the names
//   wine-host teardown MODE DLL   not pinned before its first call, pinned after it;
//                                 then MODE: unload-first (FreeLibrary, then the
//                                 application goes), app-first (the other way round)
//                                 or exit (the process ends with both still there)
//
// Exit status 0 when every check holds; each failed check prints one line.
#include <QApplication>
#include <QDir>
#include <QStringList>

#include <cstdio>
#include <vector>

#include <windows.h>

namespace {

typedef void(__cdecl* VipTransFn)(const char* tranVipIn, char* out);
typedef void(__cdecl* CardTransFn)(const char* tranHead, const char* tranPlu, const char* udpIn1,
                                   void* reserved, char* out);

int g_failures = 0;

void check(bool holds, const char* what) {
    if (!holds) {
        std::printf("FAILED: %s\n", what);
        ++g_failures;
    }
}

std::wstring nativePath(const char* path) {
    return QDir::toNativeSeparators(QString::fromLocal8Bit(path)).toStdWString();
}

// The names in the DLL's export directory, as a host's loader sees them.
QStringList exportedNames(HMODULE module) {
    const auto* base = reinterpret_cast<const unsigned char*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& entry = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    QStringList names;
    if (entry.VirtualAddress == 0)
        return names;
    const auto* directory = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + entry.VirtualAddress);
    const auto* nameOffsets = reinterpret_cast<const DWORD*>(base + directory->AddressOfNames);
    for (DWORD i = 0; i < directory->NumberOfNames; ++i)
        names << QString::fromLatin1(reinterpret_cast<const char*>(base + nameOffsets[i]));
    return names;
}

int exports(const char* dll) {
    HMODULE module = LoadLibraryW(nativePath(dll).c_str());
    check(module != nullptr, "LoadLibraryW loads the DLL");
    if (!module)
        return 1;
    const QStringList names = exportedNames(module);
    std::printf("exports: %s\n", qPrintable(names.join(QLatin1Char(' '))));
    check(names == QStringList({QStringLiteral("ZoCardTrans"), QStringLiteral("ZoVipTrans")}),
          "exactly ZoCardTrans and ZoVipTrans are exported");
    check(GetProcAddress(module, "ZoVipTrans") != nullptr, "GetProcAddress finds ZoVipTrans");
    check(GetProcAddress(module, "ZoCardTrans") != nullptr, "GetProcAddress finds ZoCardTrans");
    for (const char* decorated : {"_ZoVipTrans", "ZoVipTrans@8", "_ZoCardTrans", "ZoCardTrans@20"})
        check(GetProcAddress(module, decorated) == nullptr, decorated);
    FreeLibrary(module);
    return g_failures == 0 ? 0 : 1;
}

bool isLoaded(const std::wstring& path) {
    HMODULE module = nullptr;
    return GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT, path.c_str(), &module) && module;
}

int teardown(int argc, char** argv) {
    const QByteArray mode = argv[2];
    const std::wstring path = nativePath(argv[3]);

    // A host may load and unload the plug-in before it ever calls it.
    HMODULE module = LoadLibraryW(path.c_str());
    check(module != nullptr, "LoadLibraryW loads the DLL");
    if (!module)
        return 1;
    FreeLibrary(module);
    check(!isLoaded(path), "unloaded before its first call");

    auto* app = new QApplication(argc, argv);
    module = LoadLibraryW(path.c_str());
    auto vipTrans =
        reinterpret_cast<VipTransFn>(reinterpret_cast<void*>(GetProcAddress(module, "ZoVipTrans")));
    auto cardTrans =
        reinterpret_cast<CardTransFn>(reinterpret_cast<void*>(GetProcAddress(module, "ZoCardTrans")));
    check(vipTrans && cardTrans, "both calls found");
    if (!vipTrans || !cardTrans)
        return 1;
    std::vector<char> out(64 * 1024);
    vipTrans(R"({"reqtype":"51"})", out.data());
    std::printf("ZoVipTrans: %s\n", out.data());
    check(QByteArray(out.data()) == R"({"rtncode":"000000","rtnmsg":"交易类型错误"})",
          "an unknown request type is refused");
    cardTrans("{}", "{}", nullptr, nullptr, out.data());
    std::printf("ZoCardTrans: %s\n", out.data());
    check(QByteArray(out.data()).contains(R"("RtnCode":"000000")"), "an empty tender request is refused");

    if (mode == "unload-first") {
        FreeLibrary(module);
        check(isLoaded(path), "still loaded after FreeLibrary: pinned by its first call");
        delete app;
    } else if (mode == "app-first") {
        delete app;
        FreeLibrary(module);
        check(isLoaded(path), "still loaded after FreeLibrary: pinned by its first call");
    } else if (mode == "exit") {
        delete app;
    } else {
        std::printf("unknown teardown mode %s\n", mode.constData());
        return 2;
    }
    return g_failures == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc == 3 && qstrcmp(argv[1], "exports") == 0)
        return exports(argv[2]);
    if (argc == 4 && qstrcmp(argv[1], "teardown") == 0)
        return teardown(argc, argv);
    std::printf("usage: wine-host exports DLL | wine-host teardown unload-first|app-first|exit DLL\n");
    return 2;
}
