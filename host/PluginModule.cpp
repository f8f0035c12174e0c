#include "host/PluginModule.h"

#include "host/HostError.h"

#include <dlfcn.h>
#include <filesystem>
#include <system_error>

namespace zel::vortan {

namespace {

std::string absolutePath(const std::string& path) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (error || !std::filesystem::exists(status)) {
        throw HostError("no plug-in file '" + path + "'");
    }
    if (std::filesystem::is_directory(status)) {
        throw HostError("plug-in '" + path + "' is a directory, not a library");
    }
    // dlopen searches the library path for names without a slash; an absolute
    // path makes it load exactly this file.
    return std::filesystem::absolute(path, error).string();
}

// dlsym on a handle may find a symbol of a library the plug-in depends on; the
// entry point must be the plug-in's own.
bool definedIn(void* symbol, void* handle) {
    Dl_info symbolInfo{};
    if (dladdr(symbol, &symbolInfo) == 0) return false;
    void* owner = dlopen(symbolInfo.dli_fname, RTLD_NOW | RTLD_NOLOAD);
    if (owner == nullptr) return false;
    const bool same = owner == handle;
    dlclose(owner);
    return same;
}

EntryProc findEntry(void* handle) {
    for (const char* name : {"VSTPluginMain", "main"}) {
        void* symbol = dlsym(handle, name);
        if (symbol != nullptr && definedIn(symbol, handle)) {
            return reinterpret_cast<EntryProc>(symbol);
        }
    }
    return nullptr;
}

} // namespace

PluginModule::PluginModule(const std::string& path) : modulePath(path) {
    const std::string absolute = absolutePath(path);
    dlerror();
    handle = dlopen(absolute.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* reason = dlerror();
        throw HostError(oneLine("cannot load plug-in '" + path +
                                "': " + (reason != nullptr ? reason : "unknown error")));
    }
    entryProc = findEntry(handle);
    if (entryProc == nullptr) {
        dlclose(handle);
        handle = nullptr;
        throw HostError("'" + path + "' is not a VST 2.4 plug-in (no VSTPluginMain or main)");
    }
}

PluginModule::~PluginModule() {
    if (handle != nullptr) dlclose(handle);
}

} // namespace zel::vortan
