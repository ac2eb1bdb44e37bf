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
    const std::string &error() const { return error_; }

  private:
    void *module_ = nullptr;
    std::string copy_;
    std::string error_;
};

// The plugin library built beside the running executable.
std::string pluginBesideExecutable();

} // namespace host
