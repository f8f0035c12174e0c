// What `vortan info` reports about a plug-in: its effect record, names and
// versions, capability answers, pins and parameters, gathered through the
// dispatcher, and its text and JSON forms.
#pragma once

#include "host/PluginInstance.h"
#include "host/ProgramChunk.h"
#include "plugin/VstAbi.h"

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace zel::vortan {

struct CapabilityInfo {
    std::string_view capability;
    intptr_t answer;
};

struct PinInfo {
    int32_t index;
    bool answered; // the plug-in answered 1 to the properties request
    std::string label;
    std::string shortLabel;
    int32_t flags;
    int32_t arrangementType;
};

struct ParameterInfo {
    int32_t index;
    std::string name;
    std::string label;
    std::string display;
    float value;
    bool automatable;
    bool hasProperties; // the plug-in answered 1 to effGetParameterProperties
    vst::VstParameterProperties properties;
};

struct PluginInfo {
    std::string path;
    int32_t uniqueId;
    int32_t version;
    int32_t flags;
    int32_t inputs;
    int32_t outputs;
    int32_t parameters;
    int32_t programs;
    int32_t initialDelay;
    std::string effectName;
    std::string vendor;
    std::string product;
    intptr_t vendorVersion;
    intptr_t category;
    intptr_t vstVersion;
    std::vector<CapabilityInfo> canDo;
    std::vector<PinInfo> inputPins;
    std::vector<PinInfo> outputPins;
    std::vector<ParameterInfo> parameterList;
    // The programs kept in the plug-in's chunk, when asked for (--programs).
    std::optional<StoredBank> storedPrograms;
};

PluginInfo collectPluginInfo(const PluginInstance& plugin, const std::string& path);

// The four characters of a unique ID, most significant byte first; bytes outside
// printable ASCII show as '.'.
std::string uniqueIdText(int32_t id);
// The names of the set effect flags ("effFlagsCanReplacing", ...); unknown bits
// as hexadecimal.
std::vector<std::string> flagNames(int32_t flags);
std::string_view categoryName(intptr_t category);
std::vector<std::string> pinFlagNames(int32_t flags);
std::vector<std::string> parameterFlagNames(int32_t flags);

void writeInfoText(std::ostream& out, const PluginInfo& info);
void writeInfoJson(std::ostream& out, const PluginInfo& info);

} // namespace zel::vortan
