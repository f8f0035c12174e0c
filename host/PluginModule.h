// A VST 2.4 plug-in library opened with dlopen, and its entry point
// (VSTPluginMain, or the older name main).
#pragma once

#include "plugin/VstAbi.h"

#include <string>

namespace zel::vortan {

using EntryProc = vst::AEffect* (*)(vst::HostCallback callback);

class PluginModule {
public:
    // Throws HostError when the file is missing, cannot be loaded or has no entry.
    explicit PluginModule(const std::string& path);
    ~PluginModule();
    PluginModule(const PluginModule&) = delete;
    PluginModule& operator=(const PluginModule&) = delete;

    EntryProc entry() const { return entryProc; }
    const std::string& path() const { return modulePath; }

private:
    std::string modulePath;
    void* handle = nullptr;
    EntryProc entryProc = nullptr;
};

} // namespace zel::vortan
