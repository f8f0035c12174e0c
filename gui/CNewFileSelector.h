// A file dialog for opening or saving, run as a separate process ("zenity
// --file-selection", found on PATH) so the host's user-interface thread never
// waits: run() starts it, the frame's idle() polls it, and when the user has
// chosen a file the callback gets the selector with the chosen path(s). A
// cancelled dialog or a missing zenity calls nothing. A selector still running
// when its frame closes is terminated; its process is always reaped.
#pragma once

#include "gui/CBaseObject.h"

#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace zel::gui {

class CFrame;

class CFileExtension {
public:
    CFileExtension(const char* description, const char* extension, const char* mimeType = nullptr,
                   int32_t macType = 0);
    const char* getDescription() const { return description.c_str(); }
    const char* getExtension() const { return extension.c_str(); }
    const char* getMimeType() const { return mimeType.c_str(); }
    int32_t getMacType() const { return macType; }

private:
    std::string description;
    std::string extension;
    std::string mimeType;
    int32_t macType;
};

class CNewFileSelector : public CBaseObject {
public:
    enum Style : int32_t { kSelectFile = 0, kSelectSaveFile, kSelectDirectory };
    using CallbackFunc = std::function<void(CNewFileSelector* selector)>;

    // A selector for the frame (whose idle polls it); null without a frame.
    static CNewFileSelector* create(CFrame* parent, Style style = kSelectFile);
    ~CNewFileSelector() override;

    void setTitle(const char* title);
    void setInitialDirectory(const char* path);
    void setDefaultSaveName(const char* name);
    void setDefaultExtension(const CFileExtension& extension);
    void addFileExtension(const CFileExtension& extension);
    void setAllowMultiFileSelection(bool state) { allowMultiFileSelection = state; }

    // Starts the dialog; false when it could not be started (no frame, already
    // running, or the program cannot be spawned). The selector keeps itself
    // alive while it runs; the caller may release its reference at once.
    bool run(CallbackFunc callback);
    bool isRunning() const { return pid > 0; }
    // Terminates a running dialog without calling back.
    void cancel();
    // Called by the frame's idle: reads the dialog's output; when it has ended,
    // reaps it and calls back on success. True while it still runs.
    bool poll();

    int32_t getNumSelectedFiles() const { return static_cast<int32_t>(selectedFiles.size()); }
    const char* getSelectedFile(uint32_t index) const;
    Style getStyle() const { return style; }
    CFrame* getFrame() const { return frame; }
    // The program's arguments for the current settings (argv[0] is "zenity").
    std::vector<std::string> buildArguments() const;

    CLASS_METHODS_NOCOPY(CNewFileSelector, CBaseObject)

private:
    CNewFileSelector(CFrame* parent, Style style);
    void finish(int status);
    void closePipe();

    CFrame* frame;
    Style style;
    std::string title;
    std::string initialDirectory;
    std::string defaultSaveName;
    std::vector<CFileExtension> extensions;
    int32_t defaultExtensionIndex = -1;
    bool allowMultiFileSelection = false;
    CallbackFunc callback;
    pid_t pid = -1;
    int pipeFd = -1;
    std::string output;
    std::vector<std::string> selectedFiles;
};

} // namespace zel::gui
