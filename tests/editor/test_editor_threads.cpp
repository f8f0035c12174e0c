// The editor left open while the host processes audio (with MIDI) on one
// thread and automates every parameter on another: the user-interface thread
// keeps calling idle, the controls follow, nothing crashes. Built with
// -fsanitize=thread this is the data-race check; ZEL_EDITOR_STRESS_SECONDS
// sets how long it runs (a few seconds by default).
#include "WiringTestSupport.h"

#include "editor/CAnimKnob3.h"
#include "editor/ZelMarker.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <random>

namespace zel::test {
namespace {

double stressSeconds() {
    const char* text = std::getenv("ZEL_EDITOR_STRESS_SECONDS");
    const double seconds = text ? std::atof(text) : 0.0;
    return seconds > 0.0 ? seconds : 3.0;
}

using EditorThreads = EditorTest;

TEST_F(EditorThreads, OpenEditorSurvivesAudioAndAutomationFromOtherThreads) {
    std::atomic<bool> running{true};
    std::atomic<long> blocks{0};
    std::atomic<long> automations{0};

    std::thread audio([&] {
        vst::VstMidiEvent event{};
        event.type = vst::kVstMidiType;
        event.byteSize = sizeof event;
        event.midiData[0] = static_cast<char>(0xB0);
        vst::VstEvents events{};
        events.numEvents = 1;
        events.events[0] = reinterpret_cast<vst::VstEvent*>(&event);
        long n = 0;
        while (running) {
            if (n % 8 == 0) {
                // Modulation wheel and sustain pedal in turn.
                event.midiData[1] = (n % 16 == 0) ? 1 : 64;
                event.midiData[2] = static_cast<char>(n % 128);
                effect->processEvents(&events);
            }
            effect->processBlock();
            ++n;
        }
        blocks = n;
    });
    std::thread automation([&] {
        std::mt19937 random(7);
        std::uniform_real_distribution<float> value(0.f, 1.f);
        long n = 0;
        while (running) {
            for (int32_t index = 0; index < 120; ++index) {
                // The CPU mode and the structural tuning values rebuild the
                // engine; keep those rarer so the sound keeps running.
                if ((index == 1 || index >= 36) && random() % 16 != 0) continue;
                effect->setParameter(index, value(random));
            }
            ++n;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        automations = n;
    });

    // The user-interface thread: idle with the animation clock running, and
    // now and then a program change from the panel's side.
    const auto end =
        std::chrono::steady_clock::now() + std::chrono::duration<double>(stressSeconds());
    int programChanges = 0;
    while (std::chrono::steady_clock::now() < end) {
        ticks += 8;
        editor().idle();
        if (++programChanges % 200 == 0) effect->selectProgram(programChanges / 200 % 32);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    running = false;
    audio.join();
    automation.join();
    std::printf("editor open %.0f s: %ld audio blocks, %ld automation rounds of every parameter\n",
                stressSeconds(), blocks.load(), automations.load());
    EXPECT_GT(blocks.load(), 10);
    EXPECT_GT(automations.load(), 10);

    // Quiet again: the controls settle on the effect's values.
    effect->setParameter(17, 0.5f);
    pump(0.05);
    for (int32_t index = 5; index <= 30; ++index)
        EXPECT_EQ(control<CAnimKnob3>(index)->getValue(), effect->getParameter(index)) << index;
    const float horn = control<ZelMarker>(142)->getValue();
    EXPECT_TRUE(std::isfinite(horn) && horn >= 0.f && horn <= 1.f);
}

} // namespace
} // namespace zel::test
