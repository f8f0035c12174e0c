#include "host/PluginInfo.h"

#include <array>
#include <cstdio>
#include <cstring>

namespace zel::vortan {

namespace {

// The capability texts of the VST 2.x standard that hosts ask plug-ins about.
constexpr std::array<std::string_view, 27> kPluginCapabilities = {
    "sendVstEvents",
    "sendVstMidiEvent",
    "receiveVstEvents",
    "receiveVstMidiEvent",
    "receiveVstTimeInfo",
    "offline",
    "midiProgramNames",
    "bypass",
    "plugAsChannelInsert",
    "plugAsSend",
    "mixDryWet",
    "noRealTime",
    "multipass",
    "metapass",
    "1in1out",
    "1in2out",
    "2in1out",
    "2in2out",
    "2in4out",
    "4in2out",
    "4in4out",
    "4in8out",
    "8in4out",
    "8in8out",
    "conformsToWindowRules",
    "sendVstTimeInfo",
    "receiveVstSysexEvent",
};

struct NamedBit {
    int32_t bit;
    std::string_view name;
};

constexpr std::array kEffectFlagNames = {
    NamedBit{1 << 0, "effFlagsHasEditor"},
    NamedBit{1 << 1, "effFlagsHasClip"},
    NamedBit{1 << 2, "effFlagsHasVu"},
    NamedBit{1 << 3, "effFlagsCanMono"},
    NamedBit{1 << 4, "effFlagsCanReplacing"},
    NamedBit{1 << 5, "effFlagsProgramChunks"},
    NamedBit{1 << 8, "effFlagsIsSynth"},
    NamedBit{1 << 9, "effFlagsNoSoundInStop"},
    NamedBit{1 << 10, "effFlagsExtIsAsync"},
    NamedBit{1 << 11, "effFlagsExtHasBuffer"},
    NamedBit{1 << 12, "effFlagsCanDoubleReplacing"},
};

constexpr std::array kPinFlagNames = {
    NamedBit{vst::kVstPinIsActive, "active"},
    NamedBit{vst::kVstPinIsStereo, "stereo"},
    NamedBit{vst::kVstPinUseSpeaker, "useSpeaker"},
};

constexpr std::array kParameterFlagNames = {
    NamedBit{vst::kVstParameterIsSwitch, "switch"},
    NamedBit{vst::kVstParameterUsesIntegerMinMax, "integerMinMax"},
    NamedBit{vst::kVstParameterUsesFloatStep, "floatStep"},
    NamedBit{vst::kVstParameterUsesIntStep, "intStep"},
    NamedBit{vst::kVstParameterSupportsDisplayIndex, "displayIndex"},
    NamedBit{vst::kVstParameterSupportsDisplayCategory, "displayCategory"},
    NamedBit{vst::kVstParameterCanRamp, "canRamp"},
};

constexpr std::array<std::string_view, 12> kCategoryNames = {
    "unknown", "effect",     "synth",       "analysis",       "mastering", "spacializer",
    "roomfx",  "surroundfx", "restoration", "offlineprocess", "shell",     "generator",
};

template <size_t N>
std::vector<std::string> namesOf(int32_t flags, const std::array<NamedBit, N>& table) {
    std::vector<std::string> names;
    uint32_t rest = static_cast<uint32_t>(flags);
    for (const NamedBit& entry : table) {
        if ((rest & static_cast<uint32_t>(entry.bit)) != 0) {
            names.emplace_back(entry.name);
            rest &= ~static_cast<uint32_t>(entry.bit);
        }
    }
    if (rest != 0) {
        char text[16];
        std::snprintf(text, sizeof text, "0x%x", rest);
        names.emplace_back(text);
    }
    return names;
}

std::string boundedText(const char* field, size_t size) {
    return std::string(field, strnlen(field, size));
}

PinInfo pinInfo(const PluginInstance& plugin, int32_t opcode, int32_t index) {
    vst::VstPinProperties properties{};
    const bool answered = plugin.dispatch(opcode, index, 0, &properties) != 0;
    return {index,
            answered,
            boundedText(properties.label, sizeof properties.label),
            boundedText(properties.shortLabel, sizeof properties.shortLabel),
            properties.flags,
            properties.arrangementType};
}

ParameterInfo parameterInfo(const PluginInstance& plugin, int32_t index) {
    ParameterInfo info{};
    info.index = index;
    info.name = plugin.parameterName(index);
    info.label = plugin.parameterLabel(index);
    info.display = plugin.parameterDisplay(index);
    info.value = plugin.parameter(index);
    info.automatable = plugin.dispatch(vst::effCanBeAutomated, index) != 0;
    info.hasProperties =
        plugin.dispatch(vst::effGetParameterProperties, index, 0, &info.properties) == 1;
    // Texts the plug-in filled without a terminator stay inside their fields.
    info.properties.label[sizeof info.properties.label - 1] = '\0';
    info.properties.shortLabel[sizeof info.properties.shortLabel - 1] = '\0';
    info.properties.categoryLabel[sizeof info.properties.categoryLabel - 1] = '\0';
    return info;
}

} // namespace

std::string uniqueIdText(int32_t id) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const unsigned char c = static_cast<unsigned char>(static_cast<uint32_t>(id) >> shift);
        text += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '.';
    }
    return text;
}

std::vector<std::string> flagNames(int32_t flags) {
    return namesOf(flags, kEffectFlagNames);
}
std::vector<std::string> pinFlagNames(int32_t flags) {
    return namesOf(flags, kPinFlagNames);
}
std::vector<std::string> parameterFlagNames(int32_t flags) {
    return namesOf(flags, kParameterFlagNames);
}

std::string_view categoryName(intptr_t category) {
    if (category < 0 || category >= static_cast<intptr_t>(kCategoryNames.size())) return "other";
    return kCategoryNames[static_cast<size_t>(category)];
}

PluginInfo collectPluginInfo(const PluginInstance& plugin, const std::string& path) {
    const vst::AEffect& effect = plugin.effect();
    PluginInfo info{};
    info.path = path;
    info.uniqueId = effect.uniqueID;
    info.version = effect.version;
    info.flags = effect.flags;
    info.inputs = effect.numInputs;
    info.outputs = effect.numOutputs;
    info.parameters = effect.numParams;
    info.programs = effect.numPrograms;
    info.initialDelay = effect.initialDelay;
    info.effectName = plugin.effectName();
    info.vendor = plugin.vendorString();
    info.product = plugin.productString();
    info.vendorVersion = plugin.dispatch(vst::effGetVendorVersion);
    info.category = plugin.dispatch(vst::effGetPlugCategory);
    info.vstVersion = plugin.dispatch(vst::effGetVstVersion);
    for (std::string_view capability : kPluginCapabilities) {
        const std::string text(capability);
        info.canDo.push_back({capability, plugin.canDo(text.c_str())});
    }
    for (int32_t pin = 0; pin < effect.numInputs; ++pin) {
        info.inputPins.push_back(pinInfo(plugin, vst::effGetInputProperties, pin));
    }
    for (int32_t pin = 0; pin < effect.numOutputs; ++pin) {
        info.outputPins.push_back(pinInfo(plugin, vst::effGetOutputProperties, pin));
    }
    for (int32_t index = 0; index < effect.numParams; ++index) {
        info.parameterList.push_back(parameterInfo(plugin, index));
    }
    return info;
}

} // namespace zel::vortan
