// Loads the plugin into the stand-in host as the game's loader would: a
// fresh copy of the library each time, so its globals start from load
// values; static initialisation, then the attach notification.
#pragma once

#include <string>

namespace host {

class LoadedPlugin {
  public:
    // Copies `path` (UTF-8 text) to a new file and loads the copy. On Windows, the copy's
    // imports of GetTickCount and WritePrivateProfileStringA are pointed at
    // the host's clock and recorder. error() tells what went wrong, if anything.
    explicit LoadedPlugin(const std::string &path);
    // Forgets the plugin's callbacks, then detaches and unloads it.
    ~LoadedPlugin();
    LoadedPlugin(const LoadedPlugin &) = delete;
    LoadedPlugin &operator=(const LoadedPlugin &) = delete;

    bool loaded() const { return module_ != nullptr; }

#if !defined(_WIN32)
    // Sends the loaded copy one attach notification (a DLL_* reason) and
    // returns its answer, as the Windows loader does when a thread starts
    // or ends; on Windows a real thread makes the loader send them.
    int notify(unsigned reason);
#endif
    const std::string &error() const { return error_; }

  private:
    void *module_ = nullptr;
    std::string copy_;
    std::string error_;
};

// The plugin library built beside the running executable.
std::string pluginBesideExecutable();

// The plugin norvi-replay loads unless told otherwise: the one beside it (a
// build tree, the Windows tool's folder), else, on Linux, the one its
// package installs, in lib/norvi-replay/ beside the tool's bin/ folder.
std::string pluginForTool();

} // namespace host
