#include "loader.h"

#include "host.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace host {

namespace {

std::atomic<unsigned> copies{0};

// Paths are UTF-8 text on both targets (Windows's narrow functions would
// read them in the ANSI code page).
std::filesystem::path pathOf(const std::string &utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

bool copyFile(const std::string &from, const std::string &to) {
    std::ifstream in(pathOf(from), std::ios::binary);
    std::ofstream out(pathOf(to), std::ios::binary | std::ios::trunc);
    if (!in || !out)
        return false;
    out << in.rdbuf();
    return static_cast<bool>(out.flush());
}

std::string directoryOf(const std::string &path) {
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

#if defined(_WIN32)
const char *const pluginFileName = "norvi_warnings.dll";

std::string utf8Of(const wchar_t *text, DWORD length) {
    std::u8string utf8 = std::filesystem::path(std::wstring(text, length)).u8string();
    return std::string(utf8.begin(), utf8.end());
}

std::string tempDirectory() {
    wchar_t dir[MAX_PATH + 1];
    DWORD n = GetTempPathW(MAX_PATH + 1, dir);
    return n && n <= MAX_PATH ? utf8Of(dir, n) : std::string(".\\");
}

std::string executablePath() {
    wchar_t path[32768];
    DWORD n = GetModuleFileNameW(nullptr, path, 32768);
    return n < 32768 ? utf8Of(path, n) : std::string();
}

// Points the module's import of `dll`!`function` at `replacement`.
bool redirectImport(HMODULE module, const char *dll, const char *function, void *replacement) {
    auto *base = reinterpret_cast<unsigned char *>(module);
    auto *dos = reinterpret_cast<IMAGE_DOS_HEADER *>(base);
    auto *nt = reinterpret_cast<IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY &dir =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (dir.VirtualAddress == 0)
        return false;
    auto *imports = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR *>(base + dir.VirtualAddress);
    for (; imports->Name; imports++) {
        if (_stricmp(reinterpret_cast<char *>(base + imports->Name), dll) != 0)
            continue;
        auto *names = reinterpret_cast<IMAGE_THUNK_DATA *>(base + imports->OriginalFirstThunk);
        auto *slots = reinterpret_cast<IMAGE_THUNK_DATA *>(base + imports->FirstThunk);
        for (; names->u1.AddressOfData; names++, slots++) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            auto *byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME *>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<char *>(byName->Name), function) != 0)
                continue;
            DWORD old = 0;
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &old);
            slots->u1.Function = reinterpret_cast<uintptr_t>(replacement);
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, old, &old);
            return true;
        }
    }
    return false;
}
#else
const char *const pluginFileName = "libnorvi_warnings.so";

std::string tempDirectory() {
    const char *tmp = std::getenv("TMPDIR");
    return std::string(tmp && *tmp ? tmp : "/tmp") + "/";
}

std::string executablePath() {
    char path[4096];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
}

typedef BOOL(WINAPI *DllMainProc)(HINSTANCE, DWORD, LPVOID);
#endif

} // namespace

std::string pluginBesideExecutable() {
    return directoryOf(executablePath()) + "/" + pluginFileName;
}

std::string pluginForTool() {
    std::string beside = pluginBesideExecutable();
#if !defined(_WIN32)
    // Installed from the .deb, the tool is in <prefix>/bin and the plugin in
    // the package's own folder, <prefix>/lib/norvi-replay; taken from the
    // tool's own place, so that an unpacked package works where it lies.
    std::string installed =
        directoryOf(directoryOf(executablePath())) + "/lib/norvi-replay/" + pluginFileName;
    std::error_code ignored;
    if (!std::filesystem::exists(pathOf(beside), ignored) &&
        std::filesystem::exists(pathOf(installed), ignored))
        return installed;
#endif
    return beside;
}

LoadedPlugin::LoadedPlugin(const std::string &path) {
#if defined(_WIN32)
    copy_ = tempDirectory() + "norvi-" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(copies++) + ".dll";
#else
    copy_ = tempDirectory() + "norvi-" + std::to_string(getpid()) + "-" + std::to_string(copies++) +
            ".so";
#endif
    if (!copyFile(path, copy_)) {
        error_ = "cannot copy the plugin " + path + " to " + copy_;
        std::error_code ignored; // whatever part of the copy was made
        std::filesystem::remove(pathOf(copy_), ignored);
        return;
    }
#if defined(_WIN32)
    // The Windows loader runs static initialisation and DllMain itself.
    HMODULE module = LoadLibraryW(pathOf(copy_).c_str());
    if (!module) {
        error_ =
            "cannot load the plugin " + path + " (error " + std::to_string(GetLastError()) + ")";
        DeleteFileW(pathOf(copy_).c_str());
        return;
    }
    // A plugin that does not import one of these never calls it, so a
    // missing import is no error.
    redirectImport(module, "kernel32.dll", "GetTickCount",
                   reinterpret_cast<void *>(&pluginTickCount));
    redirectImport(module, "kernel32.dll", "WritePrivateProfileStringA",
                   reinterpret_cast<void *>(&recordingWritePrivateProfileStringA));
    module_ = module;
#else
    // dlopen runs static initialisation; the attach notification follows,
    // as the Windows loader sends it.
    // RTLD_NODELETE keeps an unloaded copy mapped: the framework object the
    // plugin never frees stays reachable (no false leak report), and a
    // sanitizer's stack traces still name the plugin's functions.
    void *module = dlopen(copy_.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    // The loaded copy needs no file any more; a leftover would only litter.
    (void)std::remove(copy_.c_str());
    if (!module) {
        const char *why = dlerror();
        error_ = "cannot load the plugin " + path + ": " + (why ? why : "unknown error");
        return;
    }
    auto dllMain = reinterpret_cast<DllMainProc>(dlsym(module, "DllMain"));
    if (!dllMain) {
        error_ = "the plugin " + path + " has no DllMain";
        dlclose(module);
        return;
    }
    dllMain(module, DLL_PROCESS_ATTACH, nullptr);
    module_ = module;
#endif
}

#if !defined(_WIN32)
int LoadedPlugin::notify(unsigned reason) {
    auto dllMain = reinterpret_cast<DllMainProc>(dlsym(module_, "DllMain"));
    return dllMain(module_, reason, nullptr);
}
#endif

LoadedPlugin::~LoadedPlugin() {
    if (!module_)
        return;
    forgetPlugin();
#if defined(_WIN32)
    FreeLibrary(static_cast<HMODULE>(module_));
    DeleteFileW(pathOf(copy_).c_str());
#else
    auto dllMain = reinterpret_cast<DllMainProc>(dlsym(module_, "DllMain"));
    if (dllMain)
        dllMain(module_, DLL_PROCESS_DETACH, nullptr);
    dlclose(module_);
#endif
}

} // namespace host
