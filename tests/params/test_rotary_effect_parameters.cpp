// The parameter operations as a host reaches them: through the effect record's
// dispatcher and direct entries, on an instance made by the plug-in's creation
// step and on one made by the built plug-in's exported entry point.
#include "plugin/EffectFactory.h"
#include "plugin/RotaryEffect.h"
#include "plugin/VstAbi.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <string>

namespace {

intptr_t quietHost(vst::AEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
    return opcode == vst::audioMasterVersion ? 2400 : 0;
}

std::string ask(vst::AEffect* effect, int32_t opcode, int32_t index) {
    char text[256];
    std::memset(text, '#', sizeof text);
    text[sizeof text - 1] = '\0';
    effect->dispatcher(effect, opcode, index, 0, text, 0.0f);
    return text;
}

std::string name(vst::AEffect* e, int32_t i) {
    return ask(e, vst::effGetParamName, i);
}
std::string label(vst::AEffect* e, int32_t i) {
    return ask(e, vst::effGetParamLabel, i);
}
std::string display(vst::AEffect* e, int32_t i) {
    return ask(e, vst::effGetParamDisplay, i);
}

// Checks made on any instance, whichever way it was created.
void expectHostView(vst::AEffect* e) {
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->numParams, 36);

    e->setParameter(e, 10, 0.8f);
    EXPECT_EQ(name(e, 10), "Setup");
    EXPECT_EQ(label(e, 10), " ");
    EXPECT_EQ(display(e, 10), "OppositeDiagonal");
    EXPECT_EQ(e->getParameter(e, 10), 0.8f);

    e->setParameter(e, 19, 0.375887f); // t = 0.565 s
    EXPECT_EQ(name(e, 19), "HAccel");
    EXPECT_EQ(display(e, 19), "565");
    EXPECT_EQ(label(e, 19), "ms");
    e->setParameter(e, 19, 0.5f);
    EXPECT_EQ(display(e, 19), "1.0");
    EXPECT_EQ(label(e, 19), "s");

    e->setParameter(e, 22, 0.009f);
    EXPECT_EQ(display(e, 22), "Off");
    EXPECT_EQ(label(e, 22), " ");
    e->setParameter(e, 29, 0.99f);
    EXPECT_EQ(display(e, 29), "19.10");
    EXPECT_EQ(label(e, 29), "kHz");
    e->setParameter(e, 35, 16.0f / 17.0f);
    EXPECT_EQ(display(e, 35), "Ch 16");

    // The tuning set answers too, though the host does not announce it.
    e->setParameter(e, 38, 0.19f);
    EXPECT_EQ(name(e, 38), "Horn Mic1 Angle");
    EXPECT_EQ(display(e, 38), "-111.6");
    EXPECT_EQ(label(e, 38), "deg");
    EXPECT_EQ(e->getParameter(e, 38), 0.19f);
    e->setParameter(e, 52, 0.559258f);
    EXPECT_EQ(e->getParameter(e, 52), 0.559258f); // kept in double, read back unchanged
    EXPECT_EQ(display(e, 52), "0.56");
    EXPECT_EQ(name(e, 100), "Early Refl. Virtual Room Size");

    // An index without a setting keeps nothing.
    e->setParameter(e, 73, 1.0f);
    EXPECT_EQ(e->getParameter(e, 73), 0.0f);
    EXPECT_EQ(display(e, 73), "Not implemented");

    for (int32_t outside : {120, -1, 1000}) {
        e->setParameter(e, outside, 0.7f);
        EXPECT_EQ(e->getParameter(e, outside), 0.0f) << outside;
        EXPECT_EQ(name(e, outside), "") << outside;
        EXPECT_EQ(label(e, outside), " ") << outside;
        EXPECT_EQ(display(e, outside), "") << outside;
    }

    vst::VstParameterProperties p;
    std::memset(&p, 0, sizeof p);
    EXPECT_EQ(e->dispatcher(e, vst::effGetParameterProperties, 14, 0, &p, 0.0f), 1);
    EXPECT_EQ(p.flags, 0x4);
    EXPECT_EQ(p.stepFloat, 0.25f);
    EXPECT_STREQ(p.shortLabel, "Size");
    EXPECT_EQ(e->dispatcher(e, vst::effGetParameterProperties, 0, 0, &p, 0.0f), 1);
    EXPECT_EQ(p.flags, 0x5);
    EXPECT_EQ(e->dispatcher(e, vst::effGetParameterProperties, 119, 0, &p, 0.0f), 1);
    EXPECT_STREQ(p.shortLabel, "Horn Am");
}

TEST(RotaryEffectParameters, HostViewThroughTheDispatcher) {
    vst::AEffect* e = zel::createEffectRecord(quietHost);
    expectHostView(e);
    if (e) e->dispatcher(e, vst::effClose, 0, 0, nullptr, 0.0f);
}

// The constructor's spare values (0.5, 0.5, 1.0, 0.5) are replaced by those of
// program 0, which it selects last.
TEST(RotaryEffectParameters, SparesHoldProgramZerosValuesAfterConstruction) {
    vst::AEffect* e = zel::createEffectRecord(quietHost);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->getParameter(e, 31), 0.5f);
    EXPECT_EQ(e->getParameter(e, 32), 0.5f);
    EXPECT_EQ(e->getParameter(e, 33), 0.5f);
    EXPECT_EQ(e->getParameter(e, 34), 0.5f);
    e->dispatcher(e, vst::effClose, 0, 0, nullptr, 0.0f);
}

TEST(RotaryEffectParameters, GlobalValuesReachEveryProgramAndOthersOnlyTheCurrentOne) {
    vst::AEffect* e = zel::createEffectRecord(quietHost);
    ASSERT_NE(e, nullptr);
    auto* effect = static_cast<zel::RotaryEffect*>(e->object);
    e->setParameter(e, 2, 0.3f);  // "Lever", global
    e->setParameter(e, 35, 0.6f); // "MIDIchl", global
    e->setParameter(e, 7, 0.9f);  // "LoMid", per program
    for (int32_t p = 0; p < zel::kNumStoredPrograms; ++p) {
        EXPECT_EQ(effect->program(p).values[2].load(), 0.3f) << p;
        EXPECT_EQ(effect->program(p).values[35].load(), 0.6f) << p;
        if (p == effect->getCurrentProgramIndex())
            EXPECT_EQ(effect->program(p).values[7].load(), 0.9f);
        else
            EXPECT_NE(effect->program(p).values[7].load(), 0.9f) << p;
    }
    // Bypass sets its crossfade target by rnd(x).
    e->setParameter(e, 0, 0.6f);
    EXPECT_EQ(display(e, 0), "On");
    e->dispatcher(e, vst::effClose, 0, 0, nullptr, 0.0f);
}

TEST(RotaryEffectParameters, HostViewThroughTheExportedEntryPoint) {
    const char* path = std::getenv("ZEL_PLUGIN");
    if (!path) GTEST_SKIP() << "ZEL_PLUGIN is not set";
    void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    using Entry = vst::AEffect* (*)(vst::HostCallback);
    auto entry = reinterpret_cast<Entry>(dlsym(library, "VSTPluginMain"));
    ASSERT_NE(entry, nullptr);
    vst::AEffect* e = entry(quietHost);
    expectHostView(e);
    if (e) e->dispatcher(e, vst::effClose, 0, 0, nullptr, 0.0f);
    dlclose(library);
}

} // namespace
