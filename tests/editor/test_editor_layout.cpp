// The editor's layout as the frame holds it: every control where the face
// expects it, with its tag, bitmap and readouts, in the drawing order that puts
// the preset panel on top, and showing the effect's values when it opens.
#include "WiringTestSupport.h"

#include "editor/CAbout.h"
#include "editor/CAnimKnob3.h"
#include "editor/CClickKickButton.h"
#include "editor/CVortanParamDisplay.h"
#include "editor/CZelTextEdit.h"
#include "editor/ZelMarker.h"
#include "editor/ZelOnOffButton.h"
#include "editor/ZelVerticalSwitch.h"
#include "gui/CBitmap.h"
#include "gui/CMovieBitmap.h"
#include "gui/COptionMenu.h"
#include "presets/CPSKickButton.h"
#include "presets/CPSRockerSwitch.h"
#include "presets/CSaveLoadButton.h"
#include "resources/ResourceIds.h"

#include <algorithm>
#include <map>
#include <set>

namespace zel::test {
namespace {

using gui::CControl;
using gui::CRect;

int bitmapId(const gui::CView* view) {
    return view->getBackground() ? view->getBackground()->getResourceDescription().id : -1;
}

int drawIndex(gui::CFrame* frame, const gui::CView* view) {
    for (int32_t i = 0; i < frame->getNbViews(); ++i)
        if (frame->getView(i) == view) return i;
    return -1;
}

using EditorLayout = EditorTest;

// Each of the 26 knobs has its readout centred under it (4 pixels left of it,
// 5 below it), drawn after it; "Setup" has a second readout right under the
// first, and "Color"'s readout stands one pixel right of the rule.
TEST_F(EditorLayout, KnobsAndReadoutsPairUp) {
    std::set<int32_t> knobTags;
    for (int32_t i = 0; i < frame()->getNbViews(); ++i)
        if (auto* knob = dynamic_cast<CAnimKnob3*>(frame()->getView(i)))
            knobTags.insert(knob->getTag());
    std::set<int32_t> expected;
    for (int32_t tag = 5; tag <= 30; ++tag) expected.insert(tag);
    EXPECT_EQ(knobTags, expected);

    for (int32_t tag = 5; tag <= 30; ++tag) {
        SCOPED_TRACE("tag " + std::to_string(tag));
        auto* knob = control<CAnimKnob3>(tag);
        ASSERT_NE(knob, nullptr);
        const CRect k = knob->getViewSize();
        EXPECT_EQ(k.getWidth(), 44);
        EXPECT_EQ(k.getHeight(), 44);
        EXPECT_EQ(bitmapId(knob), resources::kKnobBitmap);

        std::vector<CVortanParamDisplay*> shown;
        for (CControl* c : controlsWithTag(tag))
            if (auto* readout = dynamic_cast<CVortanParamDisplay*>(c)) shown.push_back(readout);
        ASSERT_EQ(shown.size(), tag == 10 ? 2u : 1u);
        const CRect r = shown[0]->getViewSize();
        EXPECT_EQ(r.getWidth(), 52);
        EXPECT_EQ(r.getHeight(), 11);
        EXPECT_EQ(r.left, k.left - (tag == 15 ? 3 : 4));
        EXPECT_EQ(r.top, k.bottom + 5);
        EXPECT_GT(drawIndex(frame(), shown[0]), drawIndex(frame(), knob));
        // The face shows through: the readout draws the face from its own corner.
        EXPECT_EQ(bitmapId(shown[0]), resources::kFaceBitmap);
        EXPECT_EQ(shown[0]->getBackOffset(), r.getTopLeft());
        if (tag == 10) {
            const CRect second = shown[1]->getViewSize();
            EXPECT_EQ(second.left, r.left);
            EXPECT_EQ(second.top, r.bottom);
        }
    }
}

// The rows read left to right across the face without overlapping, and each
// row's knobs share one height.
TEST_F(EditorLayout, KnobRowsStandOnTheFace) {
    const std::vector<std::vector<int32_t>> rows{{17, 18, 19, 20, 21, 22, 23},
                                                 {5, 6, 7, 8, 9, 10},
                                                 {11, 12, 13, 14, 15, 16},
                                                 {24, 25, 26, 27, 28, 29, 30}};
    for (const auto& row : rows) {
        for (std::size_t i = 0; i < row.size(); ++i) {
            const CRect k = control<CAnimKnob3>(row[i])->getViewSize();
            EXPECT_EQ(k.top, control<CAnimKnob3>(row[0])->getViewSize().top) << row[i];
            EXPECT_TRUE(k.left >= 0 && k.right <= kWidth) << row[i];
            if (i > 0) {
                EXPECT_GE(k.left, control<CAnimKnob3>(row[i - 1])->getViewSize().right);
            }
        }
    }
    // The horn row lies above the drum row, with the face's sections between.
    EXPECT_LT(control<CAnimKnob3>(17)->getViewSize().bottom,
              control<CAnimKnob3>(5)->getViewSize().top);
    EXPECT_LT(control<CAnimKnob3>(11)->getViewSize().bottom,
              control<CAnimKnob3>(24)->getViewSize().top);
}

// Drawing order: horn knobs, the lever group, the other knobs, strips and
// about area, bottom bar; the preset panel after all of them.
TEST_F(EditorLayout, PresetPanelIsDrawnOnTop) {
    auto at = [&](gui::CView* view) { return drawIndex(frame(), view); };
    const int lastHornKnob = at(control<CAnimKnob3>(23));
    const int stop = at(control<ZelOnOffButton>(4));
    const int speed = at(control<CClickKickButton>(3));
    const int lever = at(control<ZelVerticalSwitch>(2));
    EXPECT_LT(lastHornKnob, stop);
    EXPECT_LT(stop, speed);
    EXPECT_LT(speed, lever);
    EXPECT_LT(lever, at(control<CAnimKnob3>(5)));
    EXPECT_LT(at(control<CAnimKnob3>(30)), at(control<ZelMarker>(142)));
    EXPECT_LT(at(control<CAbout>(147)), at(control<CPSRockerSwitch>(148)));

    int lastEditorControl = -1;
    int firstPanelControl = frame()->getNbViews();
    for (int32_t i = 0; i < frame()->getNbViews(); ++i) {
        auto* c = dynamic_cast<CControl*>(frame()->getView(i));
        if (!c) continue;
        if (c->getTag() >= 149)
            firstPanelControl = std::min(firstPanelControl, i);
        else
            lastEditorControl = std::max(lastEditorControl, i);
    }
    EXPECT_LT(lastEditorControl, firstPanelControl);
    // Where the panel and the bar meet, a press lands on the panel.
    EXPECT_EQ(frame()->getViewAt(gui::CPoint(200, 561)), control<CZelTextEdit>(149));
}

template <typename T> bool isA(const CControl* c) {
    return dynamic_cast<const T*>(c) != nullptr;
}

struct Placed {
    int32_t tag;
    bool (*isOfItsClass)(const CControl*);
    const char* className;
    CRect rect;
    int bitmap;
};

// The lever group, strips, about area, bottom bar and preset panel: class,
// rectangle and bitmap of each (the sizes are those of their bitmaps' frames).
TEST_F(EditorLayout, OtherControlsStandWhereTheFaceExpectsThem) {
    const std::vector<Placed> placed{
        {4, isA<ZelOnOffButton>, "ZelOnOffButton", CRect(359, 347, 385, 383),
         resources::kStopButtonBitmap},
        {3, isA<CClickKickButton>, "CClickKickButton", CRect(330, 348, 357, 384),
         resources::kSpeedButtonBitmap},
        {2, isA<ZelVerticalSwitch>, "ZelVerticalSwitch", CRect(330, 149, 385, 335),
         resources::kSpeedLeverBitmap},
        {142, isA<ZelMarker>, "ZelMarker", CRect(91, 12, 389, 24), resources::kHornGrooveBitmap},
        {143, isA<ZelMarker>, "ZelMarker", CRect(91, 404, 389, 416), resources::kDrumGrooveBitmap},
        {147, isA<CAbout>, "CAbout", CRect(12, 156, 187, 178), resources::kAboutBitmap},
        {148, isA<CPSRockerSwitch>, "CPSRockerSwitch", CRect(38, 536, 69, 550),
         resources::kRockerBitmap},
        {35, isA<gui::CMovieBitmap>, "CMovieBitmap", CRect(6, 536, 36, 550),
         resources::kChannelDisplayBitmap},
        {0, isA<ZelOnOffButton>, "ZelOnOffButton", CRect(340, 536, 398, 550),
         resources::kBypassButtonBitmap},
        {1, isA<ZelOnOffButton>, "ZelOnOffButton", CRect(195, 536, 335, 550),
         resources::kCpuModeButtonBitmap},
        {145, isA<gui::CMovieBitmap>, "CMovieBitmap", CRect(129, 536, 185, 550),
         resources::kModulationLampBitmap},
        {144, isA<gui::CMovieBitmap>, "CMovieBitmap", CRect(68, 536, 130, 550),
         resources::kSustainLampBitmap},
        {149, isA<CZelTextEdit>, "CZelTextEdit", CRect(146, 553.5, 262, 568.5),
         resources::kFaceBitmap},
        {161, isA<gui::COptionMenu>, "COptionMenu", CRect(263, 554, 275, 568),
         resources::kFaceBitmap},
        {150, isA<CPSRockerSwitch>, "CPSRockerSwitch", CRect(278, 554, 309, 568),
         resources::kRockerBitmap},
        {151, isA<CSaveLoadButton>, "CSaveLoadButton", CRect(54, 554, 66, 568),
         resources::kLoadBankBitmap},
        {152, isA<CSaveLoadButton>, "CSaveLoadButton", CRect(4, 554, 16, 568),
         resources::kSaveBankBitmap},
        {162, isA<CPSKickButton>, "CPSKickButton", CRect(16, 556, 53, 566),
         resources::kDefaultBankBitmap},
        {153, isA<CSaveLoadButton>, "CSaveLoadButton", CRect(128, 554, 140, 568),
         resources::kLoadPresetBitmap},
        {154, isA<CSaveLoadButton>, "CSaveLoadButton", CRect(69, 554, 81, 568),
         resources::kSavePresetBitmap},
        {163, isA<CPSKickButton>, "CPSKickButton", CRect(81, 556, 128, 566),
         resources::kDefaultPresetBitmap},
        {166, isA<CPSKickButton>, "CPSKickButton", CRect(333, 554, 345, 568),
         resources::kRecallMemoABitmap},
        {164, isA<CPSKickButton>, "CPSKickButton", CRect(311, 554, 323, 568),
         resources::kStoreMemoABitmap},
        {167, isA<CPSKickButton>, "CPSKickButton", CRect(371, 554, 383, 568),
         resources::kRecallMemoBBitmap},
        {165, isA<CPSKickButton>, "CPSKickButton", CRect(349, 554, 361, 568),
         resources::kStoreMemoBBitmap},
        {168, isA<CPSKickButton>, "CPSKickButton", CRect(384, 554, 400, 568),
         resources::kUserManualBitmap},
    };
    for (const Placed& p : placed) {
        SCOPED_TRACE("tag " + std::to_string(p.tag));
        const std::vector<CControl*> found = controlsWithTag(p.tag);
        ASSERT_EQ(found.size(), 1u);
        EXPECT_TRUE(p.isOfItsClass(found[0])) << p.className;
        EXPECT_EQ(found[0]->getViewSize(), p.rect);
        EXPECT_EQ(bitmapId(found[0]), p.bitmap);
        EXPECT_EQ(found[0]->getListener(), &editor());
    }
    // The default buttons want a double-click, the others a single one.
    EXPECT_TRUE(control<CPSKickButton>(162)->isDoubleClickMode());
    EXPECT_TRUE(control<CPSKickButton>(163)->isDoubleClickMode());
    EXPECT_FALSE(control<CPSKickButton>(164)->isDoubleClickMode());
    // Nothing shows the spare parameters 31..34.
    for (int32_t tag = 31; tag <= 34; ++tag) EXPECT_TRUE(controlsWithTag(tag).empty()) << tag;
}

// Every host parameter a control shows is read from the effect when the
// window opens (values set while no window existed).
TEST_F(EditorLayout, OpeningShowsTheEffectsValues) {
    closeEditor();
    std::map<int32_t, float> set;
    for (int32_t index : {0, 1, 2, 3, 4, 35}) set[index] = 1.f;
    for (int32_t index = 5; index <= 30; ++index)
        set[index] = 0.05f + 0.9f * static_cast<float>(index - 5) / 25.f;
    set[35] = 5.f / 17.f;
    for (const auto& [index, value] : set) effect->setParameter(index, value);
    ASSERT_TRUE(openEditor());

    for (const auto& [index, value] : set) {
        SCOPED_TRACE("parameter " + std::to_string(index));
        const float stored = effect->getParameter(index);
        const std::vector<CControl*> shown = controlsWithTag(index);
        ASSERT_FALSE(shown.empty());
        for (CControl* c : shown) EXPECT_EQ(c->getValue(), stored) << c->getClassName();
    }
    EXPECT_EQ(control<gui::CMovieBitmap>(35)->getFrameIndex(), 5); // channel 5
    // The program's name is in the name field and the menu has all 32 programs.
    auto* menu = control<gui::COptionMenu>(161);
    ASSERT_EQ(menu->getNbEntries(), 32);
    char name[25] = {};
    effect->getProgramName(name);
    EXPECT_STREQ(control<CZelTextEdit>(149)->getText(), name);
    EXPECT_STREQ(menu->getEntryTitle(menu->getCurrentIndex()), name);
}

// The readouts' texts for values whose text is plain to see.
TEST_F(EditorLayout, ReadoutsShowTheirParametersTexts) {
    auto text = [&](int32_t tag, int which = 0) {
        std::vector<CVortanParamDisplay*> shown;
        for (CControl* c : controlsWithTag(tag))
            if (auto* readout = dynamic_cast<CVortanParamDisplay*>(c)) shown.push_back(readout);
        char buffer[gui::CParamDisplay::kTextSize] = {};
        shown.at(static_cast<std::size_t>(which))->valueToString(shown[which]->getValue(), buffer);
        return std::string(buffer);
    };
    const std::vector<std::pair<int32_t, float>> values{{17, 0.5f}, {12, 0.5f},  {14, 0.5f},
                                                        {6, 1.f},   {15, 0.25f}, {10, 0.25f}};
    for (const auto& [index, value] : values) effect->setParameter(index, value);
    pump(0.05);
    EXPECT_EQ(text(17), "5.00 Hz");
    EXPECT_EQ(text(12), "Tube");
    EXPECT_EQ(text(14), "3");
    EXPECT_EQ(text(6), "12.0 dB");
    EXPECT_EQ(text(15), "25.0 %");
    // "Setup": two words, one per readout, as the host's text joins them.
    char hostText[64] = {};
    effect->getParameterDisplay(10, hostText);
    EXPECT_FALSE(text(10, 0).empty());
    EXPECT_FALSE(text(10, 1).empty());
    EXPECT_NE(std::string(hostText).find(text(10, 0)), std::string::npos) << hostText;
    EXPECT_NE(std::string(hostText).find(text(10, 1)), std::string::npos) << hostText;
}

// Knobs with detents show only their positions, spread over their part of
// the strip; the others turn over the whole strip.
TEST_F(EditorLayout, KnobsDrawTheirDetents) {
    struct Case {
        int32_t tag;
        float value;
        int32_t frame;
    };
    const std::vector<Case> cases{
        {10, 0.25f, 30}, {10, 0.f, 20},   {10, 1.f, 70},  // "Setup": 6 over 0.2..0.7
        {12, 0.2f, 40},  {12, 0.5f, 50},  {12, 0.8f, 60}, // "Type": 3 over 0.4..0.6
        {14, 0.f, 30},   {14, 0.6f, 50},  {14, 1.f, 70},  // "Size": 5 over 0.3..0.7
        {17, 0.f, 0},    {17, 0.37f, 37}, {17, 1.f, 100}, // continuous
    };
    for (const Case& c : cases) {
        effect->setParameter(c.tag, c.value);
        pump(0.02);
        EXPECT_EQ(control<CAnimKnob3>(c.tag)->getDrawnFrame(), c.frame)
            << "tag " << c.tag << " at " << c.value;
    }
}

// Opening and closing many times leaves no view, bitmap or child window behind.
TEST_F(EditorLayout, OpenAndCloseLeaveNothingBehind) {
    closeEditor();
    const int64_t before = gui::CBaseObject::getLiveObjectCount();
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(openEditor());
        EXPECT_EQ(host->childCount(), 1);
        closeEditor();
    }
    EXPECT_EQ(gui::CBaseObject::getLiveObjectCount(), before);
    EXPECT_EQ(host->childCount(), 0);
    EXPECT_FALSE(editor().open(nullptr));
}

} // namespace
} // namespace zel::test
