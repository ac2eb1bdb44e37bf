// The plugin carries the release's version in its version resource, where
// Windows' file properties and an admin's scripts read it.
#include "loader.h"
#include "norvi_version.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

namespace {

std::vector<char> versionInfo(const std::string &path) {
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    std::vector<char> info(size);
    if (size == 0 || !GetFileVersionInfoA(path.c_str(), 0, size, info.data()))
        info.clear();
    return info;
}

std::string text(std::vector<char> &info, const std::string &name) {
    void *value = nullptr;
    UINT length = 0;
    std::string query = "\\StringFileInfo\\040904B0\\" + name;
    if (!VerQueryValueA(info.data(), query.c_str(), &value, &length) || length == 0)
        return "(missing)";
    return static_cast<const char *>(value);
}

TEST(Version, ThePluginCarriesTheReleaseVersion) {
    std::vector<char> info = versionInfo(host::pluginBesideExecutable());
    ASSERT_FALSE(info.empty()) << "no version resource in " << host::pluginBesideExecutable();

    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void **>(&fixed), &length));
    ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    const DWORD high = (NORVI_VERSION_MAJOR << 16) | NORVI_VERSION_MINOR;
    const DWORD low = NORVI_VERSION_PATCH << 16;
    EXPECT_EQ(fixed->dwFileVersionMS, high);
    EXPECT_EQ(fixed->dwFileVersionLS, low);
    EXPECT_EQ(fixed->dwProductVersionMS, high);
    EXPECT_EQ(fixed->dwProductVersionLS, low);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));

    EXPECT_EQ(text(info, "FileVersion"), NORVI_VERSION);
    EXPECT_EQ(text(info, "ProductVersion"), NORVI_VERSION);
    EXPECT_EQ(text(info, "ProductName"), "norvi warnings");
    EXPECT_NE(text(info, "FileDescription").find("SAMPFUNCS plugin"), std::string::npos);
}

} // namespace
