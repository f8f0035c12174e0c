// The text and JSON forms of what `vortan info` gathered.
#include "host/JsonWriter.h"
#include "host/PluginInfo.h"

#include <cstdio>

namespace zel::vortan {

namespace {

std::string joined(const std::vector<std::string>& words) {
    std::string text;
    for (const std::string& word : words) text += (text.empty() ? "" : " ") + word;
    return text;
}

std::string formatted(const char* format, auto... values) {
    char text[256];
    std::snprintf(text, sizeof text, format, values...);
    return text;
}

std::string quoted(const std::string& text) {
    return "\"" + text + "\"";
}

void writePinsText(std::ostream& out, const char* title, const std::vector<PinInfo>& pins) {
    out << title << '\n';
    if (pins.empty()) out << "  none\n";
    for (const PinInfo& pin : pins) {
        if (!pin.answered) {
            out << formatted("  %d  (no properties)\n", pin.index);
            continue;
        }
        out << formatted("  %d  %-24s short %-10s flags 0x%x (%s)  arrangement %d\n", pin.index,
                         quoted(pin.label).c_str(), quoted(pin.shortLabel).c_str(), pin.flags,
                         joined(pinFlagNames(pin.flags)).c_str(), pin.arrangementType);
    }
}

std::string propertiesText(const ParameterInfo& parameter) {
    std::string text = parameter.automatable ? "automatable" : "not automatable";
    if (!parameter.hasProperties) return text;
    const vst::VstParameterProperties& p = parameter.properties;
    const std::string flags = joined(parameterFlagNames(p.flags));
    text += "; " + (flags.empty() ? std::string("no flags") : flags);
    if (p.flags & vst::kVstParameterUsesFloatStep) {
        text += formatted("; steps %g, small %g, large %g", p.stepFloat, p.smallStepFloat,
                          p.largeStepFloat);
    }
    if (p.flags & vst::kVstParameterUsesIntegerMinMax) {
        text += formatted("; range %d..%d", p.minInteger, p.maxInteger);
    }
    if (p.flags & vst::kVstParameterUsesIntStep) {
        text += formatted("; int steps %d, large %d", p.stepInteger, p.largeStepInteger);
    }
    text += "; label " + quoted(p.label) + ", short " + quoted(p.shortLabel);
    return text;
}

void writeParametersText(std::ostream& out, const std::vector<ParameterInfo>& parameters) {
    out << "Parameters\n";
    if (parameters.empty())
        out << "  none\n";
    else
        out << "  index  name             value     display          label   properties\n";
    for (const ParameterInfo& p : parameters) {
        out << formatted("  %5d  %-16s %-9.6f %-16s %-7s %s\n", p.index, p.name.c_str(),
                         static_cast<double>(p.value), p.display.c_str(), p.label.c_str(),
                         propertiesText(p).c_str());
    }
}

void writePinsJson(JsonWriter& json, const std::vector<PinInfo>& pins) {
    json.beginArray();
    for (const PinInfo& pin : pins) {
        json.beginObject();
        json.field("index", pin.index);
        json.field("answered", pin.answered);
        if (pin.answered) {
            json.field("label", pin.label);
            json.field("shortLabel", pin.shortLabel);
            json.field("flags", pin.flags);
            json.key("flagNames");
            json.beginArray();
            for (const std::string& name : pinFlagNames(pin.flags)) json.value(name);
            json.endArray();
            json.field("arrangementType", pin.arrangementType);
        }
        json.endObject();
    }
    json.endArray();
}

void writePropertiesJson(JsonWriter& json, const vst::VstParameterProperties& p) {
    json.beginObject();
    json.field("flags", p.flags);
    json.key("flagNames");
    json.beginArray();
    for (const std::string& name : parameterFlagNames(p.flags)) json.value(name);
    json.endArray();
    json.field("stepFloat", static_cast<double>(p.stepFloat));
    json.field("smallStepFloat", static_cast<double>(p.smallStepFloat));
    json.field("largeStepFloat", static_cast<double>(p.largeStepFloat));
    json.field("minInteger", p.minInteger);
    json.field("maxInteger", p.maxInteger);
    json.field("stepInteger", p.stepInteger);
    json.field("largeStepInteger", p.largeStepInteger);
    json.field("label", p.label);
    json.field("shortLabel", p.shortLabel);
    json.field("category", static_cast<int32_t>(p.category));
    json.field("categoryLabel", p.categoryLabel);
    json.endObject();
}

void writeParametersJson(JsonWriter& json, const std::vector<ParameterInfo>& parameters) {
    json.beginArray();
    for (const ParameterInfo& p : parameters) {
        json.beginObject();
        json.field("index", p.index);
        json.field("name", p.name);
        json.field("label", p.label);
        json.field("display", p.display);
        json.field("value", static_cast<double>(p.value));
        json.field("automatable", p.automatable);
        json.key("properties");
        if (p.hasProperties) {
            writePropertiesJson(json, p.properties);
        } else {
            json.beginObject();
            json.endObject();
        }
        json.endObject();
    }
    json.endArray();
}

void writeStoredProgramsText(std::ostream& out, const StoredBank& bank) {
    out << "Stored programs (current " << bank.currentProgram << ")\n";
    for (const StoredProgram& program : bank.programs) {
        out << formatted("  %2d %c %s\n", program.index,
                         program.index == bank.currentProgram ? '*' : ' ', program.name.c_str());
    }
}

void writeStoredProgramsJson(JsonWriter& json, const StoredBank& bank) {
    json.beginObject();
    json.field("current", bank.currentProgram);
    json.key("programs");
    json.beginArray();
    for (const StoredProgram& program : bank.programs) {
        json.beginObject();
        json.field("index", program.index);
        json.field("name", program.name);
        json.key("values");
        json.beginArray();
        for (const auto& [parameter, value] : program.values) {
            json.beginObject();
            json.field("parameter", parameter);
            json.field("value", static_cast<double>(value));
            json.endObject();
        }
        json.endArray();
        json.endObject();
    }
    json.endArray();
    json.endObject();
}

} // namespace

void writeInfoText(std::ostream& out, const PluginInfo& info) {
    const auto line = [&](const char* name, const std::string& value) {
        out << formatted("%-16s", name) << value << '\n';
    };
    line("Plug-in", info.path);
    line("Effect name", info.effectName);
    line("Vendor", info.vendor);
    line("Product", info.product);
    line("Vendor version", std::to_string(info.vendorVersion));
    line("Unique ID", formatted("'%s' (%d)", uniqueIdText(info.uniqueId).c_str(), info.uniqueId));
    line("Version", std::to_string(info.version));
    line("VST version", std::to_string(info.vstVersion));
    line("Category", formatted("%ld (%s)", static_cast<long>(info.category),
                               std::string(categoryName(info.category)).c_str()));
    line("Flags", formatted("0x%x ", info.flags) + joined(flagNames(info.flags)));
    line("Inputs", std::to_string(info.inputs));
    line("Outputs", std::to_string(info.outputs));
    line("Parameters", std::to_string(info.parameters));
    line("Programs", std::to_string(info.programs));
    line("Initial delay", std::to_string(info.initialDelay));
    std::string answers;
    for (const CapabilityInfo& entry : info.canDo) {
        if (!answers.empty()) answers += ' ';
        answers.append(entry.capability).append("=").append(std::to_string(entry.answer));
    }
    line("Can do", answers);
    writePinsText(out, "Input pins", info.inputPins);
    writePinsText(out, "Output pins", info.outputPins);
    writeParametersText(out, info.parameterList);
    if (info.storedPrograms) writeStoredProgramsText(out, *info.storedPrograms);
}

void writeInfoJson(std::ostream& out, const PluginInfo& info) {
    JsonWriter json(out);
    json.beginObject();
    json.field("path", info.path);
    json.field("effectName", info.effectName);
    json.field("vendor", info.vendor);
    json.field("product", info.product);
    json.field("vendorVersion", static_cast<int64_t>(info.vendorVersion));
    json.field("uniqueId", uniqueIdText(info.uniqueId));
    json.field("uniqueIdNumber", info.uniqueId);
    json.field("version", info.version);
    json.field("vstVersion", static_cast<int64_t>(info.vstVersion));
    json.field("category", static_cast<int64_t>(info.category));
    json.field("categoryName", categoryName(info.category));
    json.field("flags", info.flags);
    json.key("flagNames");
    json.beginArray();
    for (const std::string& name : flagNames(info.flags)) json.value(name);
    json.endArray();
    json.field("inputs", info.inputs);
    json.field("outputs", info.outputs);
    json.field("parameters", info.parameters);
    json.field("programs", info.programs);
    json.field("initialDelay", info.initialDelay);
    json.key("canDo");
    json.beginObject();
    for (const CapabilityInfo& entry : info.canDo) {
        json.field(entry.capability, static_cast<int64_t>(entry.answer));
    }
    json.endObject();
    json.key("inputPins");
    writePinsJson(json, info.inputPins);
    json.key("outputPins");
    writePinsJson(json, info.outputPins);
    json.key("parameterList");
    writeParametersJson(json, info.parameterList);
    if (info.storedPrograms) {
        json.key("storedPrograms");
        writeStoredProgramsJson(json, *info.storedPrograms);
    }
    json.endObject();
}

} // namespace zel::vortan
