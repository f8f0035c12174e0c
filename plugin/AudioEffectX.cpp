#include "plugin/AudioEffectX.h"

namespace zel {
namespace {

vst::VstSpeakerArrangement* arrangementAt(intptr_t address) {
    return reinterpret_cast<vst::VstSpeakerArrangement*>(address);
}

vst::VstSpeakerArrangement* arrangementAt(void* address) {
    return static_cast<vst::VstSpeakerArrangement*>(address);
}

vst::VstParameterProperties* parameterPropertiesAt(void* address) {
    return static_cast<vst::VstParameterProperties*>(address);
}

// The key the host reports: character in index, virtual key in value, modifiers in opt.
VstKeyCode keyCodeOf(int32_t index, intptr_t value, float opt) {
    VstKeyCode key;
    key.character = index;
    key.virt = static_cast<uint8_t>(value);
    key.modifier = static_cast<uint8_t>(opt);
    return key;
}

} // namespace

intptr_t AudioEffectX::dispatcher(int32_t opcode, int32_t index, intptr_t value, void* ptr,
                                  float opt) {
    char* text = static_cast<char*>(ptr);
    VstKeyCode key = keyCodeOf(index, value, opt);
    // clang-format off
    switch (opcode) {
    // A null list is refused by processEvents itself (-1).
    case vst::effProcessEvents: return processEvents(static_cast<vst::VstEvents*>(ptr));
    case vst::effCanBeAutomated: return canParameterBeAutomated(index) ? 1 : 0;
    case vst::effString2Parameter: return 0;
    case vst::effGetProgramNameIndexed:
        return text && getProgramNameIndexed(static_cast<int32_t>(value), index, text) ? 1 : 0;
    case vst::effGetInputProperties:
        return ptr && getInputProperties(index, static_cast<vst::VstPinProperties*>(ptr)) ? 1 : 0;
    case vst::effGetOutputProperties:
        return ptr && getOutputProperties(index, static_cast<vst::VstPinProperties*>(ptr)) ? 1 : 0;
    case vst::effGetPlugCategory: return getPlugCategory();
    case vst::effOfflineNotify: return 0;
    case vst::effOfflinePrepare: return 0;
    case vst::effOfflineRun: return 0;
    case vst::effProcessVarIo: return 0;
    case vst::effSetSpeakerArrangement:
        return setSpeakerArrangement(arrangementAt(value), arrangementAt(ptr)) ? 1 : 0;
    case vst::effSetBypass: return 0;
    case vst::effGetEffectName: return text && getEffectName(text) ? 1 : 0;
    case vst::effGetVendorString: return text && getVendorString(text) ? 1 : 0;
    case vst::effGetProductString: return text && getProductString(text) ? 1 : 0;
    case vst::effGetVendorVersion: return getVendorVersion();
    case vst::effVendorSpecific: return 0;
    case vst::effCanDo: return text ? canDo(text) : 0;
    case vst::effGetTailSize: return 0;
    case vst::effGetParameterProperties:
        return ptr && getParameterProperties(index, parameterPropertiesAt(ptr)) ? 1 : 0;
    case vst::effGetVstVersion: return getVstVersion();
    case vst::effEditKeyDown: return editor && editor->onKeyDown(key) ? 1 : 0;
    case vst::effEditKeyUp: return editor && editor->onKeyUp(key) ? 1 : 0;
    case vst::effSetEditKnobMode:
        return editor && editor->setKnobMode(static_cast<int32_t>(value)) ? 1 : 0;
    case vst::effGetMidiProgramName: return 0;
    case vst::effGetCurrentMidiProgram: return kNoMidiProgram;
    case vst::effGetMidiProgramCategory: return 0;
    case vst::effHasMidiProgramsChanged: return 0;
    case vst::effGetMidiKeyName: return 0;
    case vst::effBeginSetProgram: return 0;
    case vst::effEndSetProgram: return 0;
    case vst::effGetSpeakerArrangement:
        if (value != 0) *reinterpret_cast<vst::VstSpeakerArrangement**>(value) = nullptr;
        if (ptr) *static_cast<vst::VstSpeakerArrangement**>(ptr) = nullptr;
        return 0;
    case vst::effShellGetNextPlugin: return 0;
    case vst::effStartProcess: return 0;
    case vst::effStopProcess: return 0;
    case vst::effSetTotalSampleToProcess: return value;
    case vst::effSetPanLaw: return 0;
    case vst::effBeginLoadBank: return 0;
    case vst::effBeginLoadProgram: return 0;
    case vst::effSetProcessPrecision: return 0;
    case vst::effGetNumMidiInputChannels: return getNumMidiInputChannels();
    case vst::effGetNumMidiOutputChannels: return getNumMidiOutputChannels();
    default: return AudioEffect::dispatcher(opcode, index, value, ptr, opt);
    }
    // clang-format on
}

} // namespace zel
