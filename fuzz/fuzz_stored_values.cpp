// Stored values as a new instance meets them: the input, split in two at the
// point its first two bytes name, becomes "DefaultBank" and "DefaultPreset";
// then the start-up defaults are applied and memo A (the whole input) recalled.
#include "FuzzEffect.h"

#include "presets/SettingsStore.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    zel::fuzz::FuzzEffect& run = zel::fuzz::fuzzEffect();
    run.reset();
    const std::span<const uint8_t> rest(data + 2, size - 2);
    const size_t split = std::min<size_t>(static_cast<size_t>(data[0] | data[1] << 8), rest.size());
    const zel::SettingsStore& store = run.presets().settingsStore();
    if (!store.write("DefaultBank", rest.first(split)) ||
        !store.write("DefaultPreset", rest.subspan(split)) || !store.write("MemoA", rest))
        std::abort();
    // Every stored value is applied by its own kind, so a bank image kept as
    // the default preset replaces the bank; only safety is checked here.
    run.presets().loadStartupDefaults();
    run.reset();
    run.checkRefusal(run.presets().recallMemoA());
    return 0;
}
