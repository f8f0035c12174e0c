// A recording host for the plug-in tests: answers audioMasterVersion and the pin
// queries as configured and keeps every callback it receives.
#pragma once

#include "plugin/VstAbi.h"

#include <cstdint>
#include <vector>

namespace zel::test {

struct HostCall {
    vst::AEffect* effect;
    int32_t opcode;
    int32_t index;
    intptr_t value;
    float opt;
    // For audioMasterAutomate: the value the effect reported for that index while
    // the host was being told.
    float parameterAtCall;
};

struct TestHost {
    intptr_t versionAnswer = 2400;
    // Answer to the version query from the second one on (the creation step).
    intptr_t laterVersionAnswer = 2400;
    intptr_t inputPin1Answer = 0;  // 0 = connected
    intptr_t outputPin1Answer = 0; // 0 = connected
    std::vector<HostCall> calls;

    int count(int32_t opcode) const {
        int n = 0;
        for (const HostCall& call : calls) n += call.opcode == opcode ? 1 : 0;
        return n;
    }
    int count(int32_t opcode, int32_t index, intptr_t value) const {
        int n = 0;
        for (const HostCall& call : calls)
            n += (call.opcode == opcode && call.index == index && call.value == value) ? 1 : 0;
        return n;
    }
};

// The callback has no user pointer, so the tests share one host record; every
// fixture resets it.
inline TestHost testHost;

inline intptr_t testHostCallback(vst::AEffect* effect, int32_t opcode, int32_t index,
                                 intptr_t value, void* ptr, float opt) {
    const bool firstVersionQuery = testHost.count(vst::audioMasterVersion) == 0;
    const float parameterAtCall = (opcode == vst::audioMasterAutomate && effect != nullptr)
                                      ? effect->getParameter(effect, index)
                                      : 0.0f;
    testHost.calls.push_back({effect, opcode, index, value, opt, parameterAtCall});
    switch (opcode) {
    case vst::audioMasterVersion:
        return firstVersionQuery ? testHost.versionAnswer : testHost.laterVersionAnswer;
    case vst::audioMasterPinConnected:
        if (index == 1) return value == 0 ? testHost.inputPin1Answer : testHost.outputPin1Answer;
        return 0;
    default:
        return 0;
    }
}

inline void resetTestHost() {
    testHost = TestHost{};
}

} // namespace zel::test
