#include "editor/RotaryEditor.h"

#include "editor/CAbout.h"
#include "editor/CAnimKnob3.h"
#include "editor/CClickKickButton.h"
#include "editor/CVortanParamDisplay.h"
#include "editor/EditorLayout.h"
#include "editor/MyFrame.h"
#include "editor/ZelMarker.h"
#include "editor/ZelOnOffButton.h"
#include "editor/ZelVerticalSwitch.h"
#include "gui/CBitmap.h"
#include "gui/CMovieBitmap.h"
#include "params/ParameterFormatters.h"
#include "plugin/PluginIdentity.h"
#include "plugin/RotaryEffect.h"
#include "presets/CPSRockerSwitch.h"
#include "resources/ResourceIds.h"
#include "resources/Resources.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>

namespace zel {

using namespace gui;

namespace {

constexpr int32_t kBypass = 0;
constexpr int32_t kCpuMode = 1;
constexpr int32_t kLever = 2;
constexpr int32_t kSpeed = 3;
constexpr int32_t kStop = 4;
constexpr int32_t kMidiChannel = 35;
constexpr int32_t kLastKnob = 30;
// One step of the channel rocker: the channel is int(x * 17 + 0.5).
constexpr float kChannelStep = 1.f / 17.f;
constexpr int32_t kLeverFrames = 65;
constexpr int32_t kTwoStateFrames = 2;

// The editor's bitmaps come from the PNGs compiled into the library.
void installResourceLookup() {
    static const bool installed = [] {
        CBitmap::setResourceLookup(&resources::findPng);
        return true;
    }();
    (void)installed;
}

uint32_t steadyMilliseconds() {
    using namespace std::chrono;
    return static_cast<uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// A control's rectangle at a position, one frame of its filmstrip high. A
// bitmap that did not load gives an empty rectangle.
CRect frameRect(const CPoint& at, const CBitmap* bitmap, int32_t frames) {
    return CRect(at, CPoint(bitmap->getWidth(), bitmap->getHeight() / frames));
}

CBitmap* loadBitmap(int32_t id) {
    return new CBitmap(CResourceDescription(id));
}

bool isShownParameter(int32_t index) {
    return (index >= kBypass && index <= kLastKnob) || index == kMidiChannel;
}

} // namespace

RotaryEditor::RotaryEditor(RotaryEffect* owner)
    : CPresetSystemEditor(owner), rotaryEffect(owner), tickClock(steadyMilliseconds) {
    installResourceLookup();
    background = loadBitmap(resources::kFaceBitmap);
    rect.top = 0;
    rect.left = 0;
    rect.bottom = kHeight;
    rect.right = kWidth;
    lastAnimationTick = ticks();
}

RotaryEditor::~RotaryEditor() {
    close();
    background->forget();
}

void RotaryEditor::setTickClock(TickClock clock) {
    tickClock = clock ? std::move(clock) : TickClock(steadyMilliseconds);
}

uint32_t RotaryEditor::ticks() const {
    return tickClock();
}

bool RotaryEditor::open(void* parentWindow) {
    if (!parentWindow || !background->isLoaded()) return false;
    if (frame) close();
    CPresetSystemEditor::open(parentWindow); // no frame yet: builds nothing
    const CRect size(rect.left, rect.top, rect.left + background->getWidth(),
                     rect.top + background->getHeight());
    auto* myFrame = new MyFrame(size, parentWindow, this);
    if (!myFrame->isOpen()) {
        myFrame->close();
        return false;
    }
    myFrame->setBackground(background);
    frame = myFrame;
    createControls();
    CPresetSystemEditor::open(parentWindow); // the panel, above the controls
    animationPhase = true;
    lastAnimationTick = ticks();
    return true;
}

void RotaryEditor::close() {
    CPresetSystemEditor::close();
    forgetControls();
    if (!frame) return;
    CFrame* closing = frame;
    frame = nullptr;
    closing->close();
}

void RotaryEditor::forgetControls() {
    parameterControls.fill(nullptr);
    readouts.fill(nullptr);
    setupSecondReadout = nullptr;
    channelRocker = nullptr;
    hornStrip = nullptr;
    drumStrip = nullptr;
    modulationLamp = nullptr;
    sustainLamp = nullptr;
    aboutArea = nullptr;
}

// The drawing order: horn knobs, lever group, the other knob rows, strips and
// about area, bottom bar (the preset panel follows).
void RotaryEditor::createControls() {
    for (int32_t i = 0; i < kShownParameters; ++i) {
        const float value = rotaryEffect->getParameter(i);
        pushedValues[i] = value;
        shownValues[i] = value;
    }
    constexpr std::size_t kHornKnobs = 7;
    for (std::size_t i = 0; i < layout::kKnobs.size(); ++i) {
        if (i == kHornKnobs) createLeverGroup();
        const layout::KnobSpec& row = layout::kKnobs[i];
        auto* bitmap = loadBitmap(resources::kKnobBitmap);
        const CRect knobRect(row.knob,
                             CPoint(bitmap->getWidth(), bitmap->getHeight() / layout::kKnobFrames));
        auto* knob =
            new CAnimKnob3(knobRect, this, row.tag, layout::kKnobFrames, knobRect.getHeight(),
                           bitmap, CPoint(0, 0), row.detents, row.detentFrom, row.detentTo);
        bitmap->forget();
        knob->setDefaultValue(row.defaultValue);
        knob->setWheelStep(row.wheelStep);
        knob->setWheelFineFactor(layout::kKnobWheelFineFactor);
        knob->setDragScale(row.dragPixels / layout::kPixelsPerDragScale);
        parameterControls[row.tag] = knob;
        addControl(knob, true);

        for (int32_t r = 0; r < (row.tag == layout::kSetupTag ? 2 : 1); ++r) {
            const CPoint at = r == 0 ? row.readout : layout::kSetupSecondReadout;
            auto* readout = new CVortanParamDisplay(
                CRect(at, CPoint(layout::kReadoutWidth, layout::kReadoutHeight)), background, 0);
            readout->setBackOffset(at);
            readout->setTag(row.tag);
            const ReadoutFormatter formatter = readoutFormatter(row.tag, r);
            const void* context = readoutContext;
            readout->setValueToStringFunction(
                [formatter, context](float value, char text[CParamDisplay::kTextSize],
                                     CParamDisplay*) {
                    text[0] = '\0';
                    if (formatter) formatter(value, text, context);
                    return true;
                });
            (r == 0 ? readouts[row.tag] : setupSecondReadout) = readout;
            addControl(readout, true);
        }
    }
    createStripsAndAbout();
    createBottomBar();
}

void RotaryEditor::createLeverGroup() {
    auto* stopBitmap = loadBitmap(resources::kStopButtonBitmap);
    auto* stop = new ZelOnOffButton(frameRect(layout::kStopButton, stopBitmap, kTwoStateFrames),
                                    this, kStop, stopBitmap);
    stopBitmap->forget();
    parameterControls[kStop] = stop;
    addControl(stop, true);

    auto* speedBitmap = loadBitmap(resources::kSpeedButtonBitmap);
    const CRect speedRect = frameRect(layout::kSpeedButton, speedBitmap, kTwoStateFrames);
    auto* speed = new CClickKickButton(speedRect, this, kSpeed, speedRect.getHeight(), speedBitmap,
                                       CPoint(0, 0));
    speedBitmap->forget();
    parameterControls[kSpeed] = speed;
    addControl(speed, true);

    auto* leverBitmap = loadBitmap(resources::kSpeedLeverBitmap);
    auto* lever = new ZelVerticalSwitch(frameRect(layout::kSpeedLever, leverBitmap, kLeverFrames),
                                        this, kLever, leverBitmap, layout::kLeverTravelTop,
                                        layout::kLeverTravelBottom, CPoint(0, 0));
    leverBitmap->forget();
    lever->setWheelStep(layout::kLeverWheelStep);
    lever->setWheelFineFactor(layout::kLeverWheelFineFactor);
    parameterControls[kLever] = lever;
    addControl(lever, true);
}

void RotaryEditor::createStripsAndAbout() {
    auto makeStrip = [this](const CPoint& at, int32_t tag, int32_t grooveId, int32_t highlightId) {
        auto* groove = loadBitmap(grooveId);
        auto* highlight = loadBitmap(highlightId);
        const CRect stripRect = frameRect(at, groove, 1);
        auto* strip = new ZelMarker(stripRect, this, tag, layout::kStripHighlightOrigin,
                                    layout::kStripPhaseOffset,
                                    static_cast<int32_t>(groove->getWidth()), highlight, groove);
        groove->forget();
        highlight->forget();
        strip->setMin(0.f);
        strip->setMax(1.f);
        strip->setValue(0.f);
        addControl(strip, false);
        return strip;
    };
    hornStrip = makeStrip(layout::kHornStrip, editortag::kHornStrip, resources::kHornGrooveBitmap,
                          resources::kHornHighlightBitmap);
    drumStrip = makeStrip(layout::kDrumStrip, editortag::kDrumStrip, resources::kDrumGrooveBitmap,
                          resources::kDrumHighlightBitmap);

    auto* aboutBitmap = loadBitmap(resources::kAboutBitmap);
    aboutArea = new CAbout(layout::kAboutArea, this, editortag::kAboutArea, aboutBitmap,
                           layout::kAboutScreen, CPoint(0, 0), layout::kVersionOrigin);
    aboutBitmap->forget();
    addControl(aboutArea, false);
}

void RotaryEditor::createBottomBar() {
    auto* rockerBitmap = loadBitmap(resources::kRockerBitmap);
    const CRect rockerRect = frameRect(layout::kChannelRocker, rockerBitmap, layout::kRockerFrames);
    channelRocker =
        new CPSRockerSwitch(rockerRect, this, editortag::kChannelRocker, rockerRect.getHeight(),
                            rockerBitmap, CPoint(0, 0), kHorizontal);
    rockerBitmap->forget();
    addControl(channelRocker, false);

    auto makeMovie = [this](const CPoint& at, int32_t tag, int32_t bitmapId, int32_t frames,
                            bool valueFromEffect) {
        auto* bitmap = loadBitmap(bitmapId);
        const CRect movieRect = frameRect(at, bitmap, frames);
        auto* movie = new CMovieBitmap(movieRect, this, tag, frames, movieRect.getHeight(), bitmap,
                                       CPoint(0, 0));
        bitmap->forget();
        addControl(movie, valueFromEffect);
        return movie;
    };
    parameterControls[kMidiChannel] =
        makeMovie(layout::kChannelDisplay, kMidiChannel, resources::kChannelDisplayBitmap,
                  layout::kChannelFrames, true);

    auto makeSwitch = [this](const CPoint& at, int32_t tag, int32_t bitmapId) {
        auto* bitmap = loadBitmap(bitmapId);
        auto* button =
            new ZelOnOffButton(frameRect(at, bitmap, kTwoStateFrames), this, tag, bitmap);
        bitmap->forget();
        parameterControls[tag] = button;
        addControl(button, true);
    };
    makeSwitch(layout::kBypassButton, kBypass, resources::kBypassButtonBitmap);
    makeSwitch(layout::kCpuModeButton, kCpuMode, resources::kCpuModeButtonBitmap);

    modulationLamp = makeMovie(layout::kModulationLamp, editortag::kModulationLamp,
                               resources::kModulationLampBitmap, layout::kLampFrames, false);
    sustainLamp = makeMovie(layout::kSustainLamp, editortag::kSustainLamp,
                            resources::kSustainLampBitmap, layout::kLampFrames, false);
}

void RotaryEditor::addControl(CControl* control, bool valueFromEffect) {
    if (valueFromEffect) control->setValue(shownValues[control->getTag()]);
    frame->addView(control);
}

void RotaryEditor::idle() {
    if (!frame) return;
    const uint32_t now = ticks();
    applyPendingValues();
    CPresetSystemEditor::idle();
    // Signed distance, so a clock that wraps around or steps back still
    // counts its distance.
    const auto elapsed = static_cast<int32_t>(now - lastAnimationTick);
    if (static_cast<uint32_t>(std::abs(static_cast<int64_t>(elapsed))) > kAnimationIntervalMs) {
        lastAnimationTick = now;
        updateAnimation();
    }
    if (frame) frame->idle();
}

void RotaryEditor::setParameter(int32_t index, float value) {
    if (index >= 0 && index < kShownParameters) pushedValues[index] = value;
}

// The values set since the last idle reach their controls.
void RotaryEditor::applyPendingValues() {
    for (int32_t i = 0; i < kShownParameters; ++i) {
        const float value = pushedValues[i];
        if (value == shownValues[i] || !isShownParameter(i)) continue;
        shownValues[i] = value;
        showParameter(i, value);
    }
}

void RotaryEditor::showParameter(int32_t index, float value) {
    if (CControl* control = parameterControls[index]) control->setValue(value);
    if (CControl* readout = readouts[index]) readout->setValue(value);
    if (index == layout::kSetupTag && setupSecondReadout) setupSecondReadout->setValue(value);
}

void RotaryEditor::valueChanged(CControl* control) {
    if (control == nullptr) return;
    const int32_t tag = control->getTag();
    if (tag >= panel::kFirstTag) {
        CPresetSystemEditor::valueChanged(control);
        control->setDirty();
        return;
    }
    const float value = control->getValue();
    if (tag == kSpeed) {
        // The speed button also throws the lever to its end: 1 top (fast), 0 bottom.
        rotaryEffect->setParameterAutomated(kLever,
                                            static_cast<float>(static_cast<int>(value + 0.5f)));
        rotaryEffect->setParameterAutomated(kSpeed, value);
    } else if (tag == editortag::kChannelRocker) {
        stepMidiChannel(value);
    } else if (tag >= 0 && tag < kNumHostParameters) {
        rotaryEffect->setParameterAutomated(tag, value);
    }
    control->setDirty();
}

// The channel moves one step per rocker press and stays within off..omni.
void RotaryEditor::stepMidiChannel(float direction) {
    if (direction == 0.f) return;
    const float current = rotaryEffect->getParameter(kMidiChannel);
    const float next = direction > 0.f ? std::min(current + kChannelStep, 1.f)
                                       : std::max(current - kChannelStep, 0.f);
    rotaryEffect->setParameterAutomated(kMidiChannel, next);
}

void RotaryEditor::beginEdit(int32_t index) {
    if (index >= 0 && index < kNumHostParameters) rotaryEffect->beginEdit(index);
}

void RotaryEditor::endEdit(int32_t index) {
    if (index >= 0 && index < kNumHostParameters) rotaryEffect->endEdit(index);
}

int32_t RotaryEditor::getKnobMode() const {
    return kLinearMode;
}

} // namespace zel
