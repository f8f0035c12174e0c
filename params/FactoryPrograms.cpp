#include "params/FactoryPrograms.h"

#include "params/ParameterTable.h"
#include "plugin/RotaryEffect.h"

#include <cstring>

namespace zel {

namespace {

constexpr int kFirstNamedProgram = 1;
constexpr int kLastNamedProgram =
    kFirstNamedProgram + static_cast<int>(kFactoryPrograms.size()) - 1;

bool isNamedProgram(int program) {
    return program >= kFirstNamedProgram && program <= kLastNamedProgram;
}

const FactoryProgram& namedProgram(int program) {
    return kFactoryPrograms[static_cast<std::size_t>(program - kFirstNamedProgram)];
}

} // namespace

int hostParameterIndex(std::string_view name) {
    for (int i = 0; i < kNumProgramValues; ++i) {
        const ParameterRow* row = parameterRow(i);
        if (row != nullptr && !name.empty() && name == row->name) return i;
    }
    return -1;
}

const char* factoryProgramName(int program) {
    if (isNamedProgram(program)) return namedProgram(program).name;
    if (program > kLastNamedProgram && program < kNumStoredPrograms) return kInitProgramName;
    return kDefaultProgramName;
}

ProgramValues factoryProgramValues(int program) {
    ProgramValues values = kDefaultProgramValues;
    if (!isNamedProgram(program)) return values;
    for (const ProgramChange& change : namedProgram(program).changes) {
        const int index = hostParameterIndex(change.parameter);
        if (index >= 0) values[static_cast<std::size_t>(index)] = change.value;
    }
    return values;
}

// Each name is copied into the zeroed 24-byte field, cut to 23 characters.
void RotaryEffect::installFactoryPrograms() {
    for (int32_t p = 0; p < kNumStoredPrograms; ++p) {
        ProgramRecord& record = programs[static_cast<std::size_t>(p)];
        const char* name = factoryProgramName(p);
        std::memset(record.name, 0, sizeof record.name);
        std::memcpy(record.name, name, strnlen(name, kMaxProgramNameLength));
        const ProgramValues values = factoryProgramValues(p);
        for (int32_t i = 0; i < kNumProgramValues; ++i)
            record.values[i] = values[static_cast<std::size_t>(i)];
    }
}

} // namespace zel
