// The VST 2.4 transport record a host hands out for audioMasterGetTime. The
// plug-in side never needs it, so it lives with the host rather than in the
// shared ABI header.
#pragma once

#include <cstdint>

#if defined(__GNUC__)
#pragma pack(push, 8)
#endif

namespace vst {

struct VstTimeInfo {
    double samplePos;
    double sampleRate;
    double nanoSeconds;
    double ppqPos;
    double tempo;
    double barStartPos;
    double cycleStartPos;
    double cycleEndPos;
    int32_t timeSigNumerator;
    int32_t timeSigDenominator;
    int32_t smpteOffset;
    int32_t smpteFrameRate;
    int32_t samplesToNextClock;
    int32_t flags;
};

enum VstTimeInfoFlags : int32_t {
    kVstTransportChanged = 1 << 0,
    kVstTransportPlaying = 1 << 1,
    kVstNanosValid = 1 << 8,
    kVstPpqPosValid = 1 << 9,
    kVstTempoValid = 1 << 10,
    kVstBarsValid = 1 << 11,
    kVstTimeSigValid = 1 << 13,
};

enum VstProcessLevel : int32_t {
    kVstProcessLevelUnknown = 0,
    kVstProcessLevelUser = 1,
    kVstProcessLevelRealtime = 2,
    kVstProcessLevelPrefetch = 3,
    kVstProcessLevelOffline = 4,
};

static_assert(sizeof(VstTimeInfo) == 88);

} // namespace vst

#if defined(__GNUC__)
#pragma pack(pop)
#endif
