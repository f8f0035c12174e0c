// The editor in a real host window on an X server: the face shown at 401 x 570,
// a real click and real keys editing a name label, the edit gestures of a
// control reaching the host, and opening and closing many times without a
// leak. Skipped without a DISPLAY.
// First: its Xlib names (Display) must not meet the parameter table's
// zel::Display; and nothing of the engine comes in here (Xlib's None macro).
#include "tests/gui/X11TestHost.h"

#include "EditorTestSupport.h"
#include "editor/CAnimKnob3.h"
#include "editor/CZelTextEdit.h"
#include "editor/RotaryEditor.h"
#include "plugin/AudioEffect.h"
#include "plugin/EffectFactory.h"
#include "resources/ResourceIds.h"
#include "resources/Resources.h"
#include "tests/plugin/TestHost.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <malloc.h>
#include <memory>
#include <span>
#include <unistd.h>

namespace zel::test {
namespace {

using gui::test::X11TestHost;

#define SKIP_WITHOUT_DISPLAY()                                                                     \
    if (!X11TestHost::displayAvailable()) GTEST_SKIP() << "no DISPLAY (run under xvfb-run)"

constexpr int kWidth = 401;
constexpr int kHeight = 570;

// Bytes the allocator has handed out and not had back, over every arena. Unlike
// the resident size, this does not move with how the allocator keeps freed
// memory (a freed frame image in the middle of the heap stays resident).
long heapKilobytesInUse() {
    const struct mallinfo2 info = mallinfo2();
    return static_cast<long>((info.uordblks + info.hblkhd) / 1024);
}

long residentKilobytes() {
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// The face's pixel at (x, y), from the bitmap's own image (opaque artwork).
CColor facePixel(CBitmap* face, int x, int y) {
    cairo_surface_t* surface = face->getSurface();
    cairo_surface_flush(surface);
    const auto* row = cairo_image_surface_get_data(surface) +
                      static_cast<std::ptrdiff_t>(y) * cairo_image_surface_get_stride(surface);
    uint32_t argb = 0;
    std::memcpy(&argb, row + 4 * x, sizeof argb);
    return CColor{static_cast<uint8_t>(argb >> 16), static_cast<uint8_t>(argb >> 8),
                  static_cast<uint8_t>(argb), static_cast<uint8_t>(argb >> 24)};
}

class EditorWindow : public ::testing::Test {
protected:
    void SetUp() override {
        if (!X11TestHost::displayAvailable()) return;
        resetTestHost();
        record = createEffectRecord(testHostCallback);
        ASSERT_NE(record, nullptr);
        effect = static_cast<AudioEffect*>(record->object);
        editor = dynamic_cast<RotaryEditor*>(effect->getEditor());
        host = std::make_unique<X11TestHost>(kWidth + 20, kHeight + 20);
    }
    void TearDown() override {
        if (record) record->dispatcher(record, vst::effClose, 0, 0, nullptr, 0.f);
    }
    void pump(int rounds = 20) {
        for (int i = 0; i < rounds; ++i) {
            editor->idle();
            usleep(2000);
        }
    }
    bool pumpUntil(const std::function<bool()>& done) {
        return X11TestHost::pumpUntil([&] { editor->idle(); }, done);
    }
    // Host-window coordinates of a point of the editor, which sits at (0, 0).
    void clickAt(int x, int y) {
        host->movePointer(x, y);
        pump(5);
        host->button(1, true);
        pump(5);
        host->button(1, false);
        pump(5);
    }

    // Outlives the editor's views, which TearDown closes.
    RecordingListener listener;
    vst::AEffect* record = nullptr;
    AudioEffect* effect = nullptr;
    RotaryEditor* editor = nullptr;
    std::unique_ptr<X11TestHost> host;
};

TEST_F(EditorWindow, OpensOnTheHostWindowAndShowsTheFaceAt401By570) {
    SKIP_WITHOUT_DISPLAY();
    ASSERT_NE(editor, nullptr);
    ASSERT_TRUE(host->isOpen());
    vst::ERect* rect = nullptr;
    ASSERT_EQ(record->dispatcher(record, vst::effEditGetRect, 0, 0, &rect, 0.f), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->right - rect->left, kWidth);
    EXPECT_EQ(rect->bottom - rect->top, kHeight);

    ASSERT_EQ(record->dispatcher(record, vst::effEditOpen, 0, 0, host->parentHandle(), 0.f), 1);
    ASSERT_TRUE(editor->isOpen());
    EXPECT_EQ(host->childCount(), 1);
    CFrame* frame = editor->getFrame();
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->getViewSize(), CRect(0, 0, kWidth, kHeight));
    EXPECT_EQ(frame->getEditor(), editor);

    CBitmap* face = editor->getBackground();
    ASSERT_EQ(face->getWidth(), kWidth);
    ASSERT_EQ(face->getHeight(), kHeight);
    ASSERT_TRUE(pumpUntil([&] { return host->pixel(200, 300) == facePixel(face, 200, 300); }));
    host->writePng(ZEL_BINARY_DIR "/editor-face.png", kWidth + 20, kHeight + 20);
    // Where no control stands, the face shows.
    auto underAControl = [&](int x, int y) {
        for (int32_t i = 0; i < frame->getNbViews(); ++i)
            if (frame->getView(i)->getViewSize().pointInside(CPoint(x, y))) return true;
        return false;
    };
    int differing = 0;
    int sampled = 0;
    for (int y = 0; y < kHeight; y += 3)
        for (int x = 0; x < kWidth; x += 3) {
            if (underAControl(x, y)) continue;
            ++sampled;
            const CColor expected = facePixel(face, x, y);
            if (host->pixel(x, y) != CColor{expected.red, expected.green, expected.blue, 255})
                ++differing;
        }
    EXPECT_EQ(differing, 0) << "every sampled pixel is the face's";
    EXPECT_GT(sampled, kWidth * kHeight / 9 / 2) << "most of the face lies between controls";
    // The window ends where the face ends: the host's black shows beyond it.
    EXPECT_EQ(host->pixel(kWidth + 5, 100), (CColor{0, 0, 0, 255}));
    EXPECT_EQ(host->pixel(100, kHeight + 5), (CColor{0, 0, 0, 255}));

    record->dispatcher(record, vst::effEditClose, 0, 0, nullptr, 0.f);
    EXPECT_FALSE(editor->isOpen());
    host->sync();
    EXPECT_EQ(host->childCount(), 0);
}

TEST_F(EditorWindow, OpenWithoutParentOrWithoutFaceCreatesNothing) {
    SKIP_WITHOUT_DISPLAY();
    EXPECT_FALSE(editor->open(nullptr));
    EXPECT_FALSE(editor->isOpen());
    // An editor made while the resources lack the face.
    CBitmap::setResourceLookup([](int32_t) { return std::span<const uint8_t>(); });
    RotaryEditor faceless(nullptr);
    CBitmap::setResourceLookup(&resources::findPng);
    EXPECT_FALSE(faceless.getBackground()->isLoaded());
    EXPECT_FALSE(faceless.open(host->parentHandle()));
    EXPECT_FALSE(faceless.isOpen());
    host->sync();
    EXPECT_EQ(host->childCount(), 0);
    vst::ERect* rect = nullptr;
    ASSERT_TRUE(faceless.getRect(&rect));
    EXPECT_EQ(rect->right, kWidth);
    EXPECT_EQ(rect->bottom, kHeight);
}

TEST_F(EditorWindow, ARealClickAndRealKeysEditANameLabel) {
    SKIP_WITHOUT_DISPLAY();
    ASSERT_TRUE(host->hasXTest());
    ASSERT_TRUE(editor->open(host->parentHandle()));
    CFrame* frame = editor->getFrame();
    // As the program-name field: over the face, Arial 11.
    auto* font = new CFontDesc("Arial", 11);
    auto* label = new CZelTextEdit(CRect(146, 553.5, 262, 568.5), &listener, 149, "Init",
                                   editor->getBackground());
    label->setBackOffset(CPoint(146, 553.5));
    label->setFont(font);
    font->forget();
    label->setFontColor(CColor{36, 36, 32, 255});
    frame->addView(label);
    pump();

    clickAt(200, 561);
    ASSERT_TRUE(pumpUntil([&] { return label->isEditing(); }));
    ASSERT_TRUE(pumpUntil([&] { return frame->hasKeyboardFocus(); }))
        << "the click gave the editor's window the keyboard focus";
    for (KeySym key : {XK_x, XK_y, XK_1}) host->tapKey(key);
    host->key(XK_Shift_L, true);
    host->tapKey(XK_q);
    host->key(XK_Shift_L, false);
    ASSERT_TRUE(pumpUntil([&] { return std::string(label->getText()) == "xy1Q"; }))
        << "typed keys replace the selected text; the label shows " << label->getText();
    pump();
    host->writePng(ZEL_BINARY_DIR "/editor-name-edit.png", kWidth, kHeight);
    EXPECT_TRUE(listener.values.empty());

    host->tapKey(XK_Return);
    ASSERT_TRUE(pumpUntil([&] { return !label->isEditing(); }));
    EXPECT_STREQ(label->getText(), "xy1Q");
    EXPECT_EQ(listener.controls.size(), 1u);
    EXPECT_EQ(CZelTextEdit::getActiveEdit(), nullptr);
    EXPECT_TRUE(frame->hasKeyboardFocus());
    host->writePng(ZEL_BINARY_DIR "/editor-name-committed.png", kWidth, kHeight);
}

TEST_F(EditorWindow, ARealDragOnAKnobReachesTheHostAsOneEditGesture) {
    SKIP_WITHOUT_DISPLAY();
    ASSERT_TRUE(host->hasXTest());
    ASSERT_TRUE(editor->open(host->parentHandle()));
    CBitmap* knobs = new CBitmap(CResourceDescription(resources::kKnobBitmap));
    auto* knob = new CAnimKnob3(CRect(20, 53, 64, 97), &listener, 17, 101, 44, knobs, CPoint(0, 0));
    knobs->forget();
    knob->setDragScale(0.4f);
    editor->getFrame()->addView(knob);
    testHost.calls.clear();

    host->movePointer(42, 75);
    pump(5);
    host->button(1, true);
    pump(5);
    for (int y = 74; y >= 35; --y) {
        host->movePointer(42, y);
        pump(1);
    }
    host->button(1, false);
    pump(10);
    // 40 pixels up at 400 pixels for the range.
    EXPECT_NEAR(knob->getValue(), 0.1f, 0.0026f); // a pointer step of one pixel is 0.0025
    EXPECT_EQ(testHost.count(vst::audioMasterBeginEdit, 17, 0), 1);
    EXPECT_EQ(testHost.count(vst::audioMasterEndEdit, 17, 0), 1);
    EXPECT_FALSE(listener.values.empty());
}

TEST_F(EditorWindow, OpensAndClosesAHundredTimesWithoutALeak) {
    SKIP_WITHOUT_DISPLAY();
    auto cycle = [&] {
        ASSERT_TRUE(editor->open(host->parentHandle()));
        // Something to release on every close: a label in the middle of an edit.
        auto* label = new CZelTextEdit(CRect(146, 553.5, 262, 568.5), nullptr, 149, "Init",
                                       editor->getBackground());
        editor->getFrame()->addView(label);
        CPoint where(200, 561);
        editor->getFrame()->platformOnMouseDown(where, kLButton);
        editor->idle();
        editor->close();
    };
    for (int i = 0; i < 10; ++i) cycle();
    host->sync();
    const int64_t liveAtStart = CBaseObject::getLiveObjectCount();
    const long heapAtStart = heapKilobytesInUse();
    const long residentAtStart = residentKilobytes();
    for (int i = 0; i < 100; ++i) cycle();
    host->sync();
    EXPECT_EQ(CBaseObject::getLiveObjectCount(), liveAtStart);
    EXPECT_EQ(host->childCount(), 0);
    EXPECT_EQ(CZelTextEdit::getActiveEdit(), nullptr);
    // A frame's image is about 900 kB: leaking it once in a hundred cycles shows
    // in the heap, and leaking it every cycle (or anything mapped outside the
    // heap, such as shared-memory images) shows in the resident size, which is
    // given room for the allocator keeping freed memory in a fragmented heap.
    EXPECT_LT(heapKilobytesInUse() - heapAtStart, 800) << "the heap stays flat";
    EXPECT_LT(residentKilobytes() - residentAtStart, 32768) << "resident memory stays flat";
}

} // namespace
} // namespace zel::test
