// The frame as a real child window in a host window on an X server: drawing
// read back from the screen, a real pointer drag, real keys, and opening and
// closing many times without leaking. Skipped without a DISPLAY.
#include "GuiTestSupport.h"
#include "X11TestHost.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <unistd.h>

namespace zel::gui::test {
namespace {

#define SKIP_WITHOUT_DISPLAY()                                                                     \
    if (!X11TestHost::displayAvailable()) GTEST_SKIP() << "no DISPLAY (run under xvfb-run)"

constexpr CColor kLeftColour{200, 40, 30, 255};
constexpr CColor kRightColour{20, 90, 220, 255};

// A two-colour face: left half, right half.
CBitmap* makeFace(int width, int height) {
    auto* face = new CBitmap(width, height);
    cairo_t* cr = cairo_create(face->getSurface());
    cairo_set_source_rgb(cr, kLeftColour.normRed(), kLeftColour.normGreen(),
                         kLeftColour.normBlue());
    cairo_rectangle(cr, 0, 0, width / 2, height);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, kRightColour.normRed(), kRightColour.normGreen(),
                         kRightColour.normBlue());
    cairo_rectangle(cr, width / 2, 0, width - width / 2, height);
    cairo_fill(cr);
    cairo_destroy(cr);
    cairo_surface_mark_dirty(face->getSurface());
    return face;
}

long residentKilobytes() {
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

class KeyView : public CView {
public:
    using CView::CView;
    std::vector<int> virtualKeys;
    std::string text;
    int32_t onKeyDown(VstKeyCode& key) override {
        if (key.virt)
            virtualKeys.push_back(key.virt);
        else
            text += key.utf8;
        return 1;
    }
    CMouseEventResult onMouseDown(CPoint&, const CButtonState&) override {
        return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    }
};

TEST(Window, EmbeddedFrameDrawsItsBackgroundInTheHostWindow) {
    SKIP_WITHOUT_DISPLAY();
    X11TestHost host(300, 200);
    ASSERT_TRUE(host.isOpen());
    RecordingEditor editor;
    auto* frame = new CFrame(CRect(0, 0, 200, 100), host.parentHandle(), &editor);
    ASSERT_TRUE(frame->isOpen());
    EXPECT_NE(frame->getSystemWindow(), nullptr);
    auto* face = makeFace(200, 100);
    frame->setBackground(face);
    face->forget();
    auto* lamp = new CMovieBitmap(CRect(150, 10, 170, 30), nullptr, 145, makeFilmstrip(20, 20, 2));
    lamp->getBackground()->forget();
    frame->addView(lamp);
    host.sync();
    EXPECT_EQ(host.childCount(), 1);

    auto shows = [&](int x, int y, CColor colour) {
        return X11TestHost::pumpUntil([&] { frame->idle(); },
                                      [&] { return host.pixel(x, y) == colour; });
    };
    EXPECT_TRUE(shows(10, 10, kLeftColour));
    EXPECT_TRUE(shows(120, 90, kRightColour));
    EXPECT_TRUE(shows(160, 20, frameColour(0)));
    EXPECT_EQ(host.pixel(250, 150), (CColor{0, 0, 0, 255})); // the host's own black
    lamp->setValue(1.f);                                     // as the editor would
    EXPECT_TRUE(shows(160, 20, frameColour(1)));
    host.writePng(ZEL_BINARY_DIR "/gui-window.png", 300, 200);

    frame->forget();
    host.sync();
    EXPECT_EQ(host.childCount(), 0);
}

TEST(Window, RealPointerDragTurnsAKnobInsideOneEditGesture) {
    SKIP_WITHOUT_DISPLAY();
    X11TestHost host(200, 150);
    ASSERT_TRUE(host.isOpen());
    if (!host.hasXTest()) GTEST_SKIP() << "no XTEST extension";
    RecordingEditor editor;
    RecordingListener listener;
    auto* frame = new CFrame(CRect(0, 0, 200, 150), host.parentHandle(), &editor);
    auto* knob =
        new CAnimKnob(CRect(50, 60, 94, 104), &listener, 5, 101, 44, makeFilmstrip(44, 44, 101));
    knob->getBackground()->forget();
    knob->setValue(0.5f);
    frame->addView(knob);
    auto idle = [&] { frame->idle(); };
    X11TestHost::pumpUntil(idle, [&] { return host.pixel(72, 82) == frameColour(50); });

    host.movePointer(72, 82);
    X11TestHost::pumpUntil(
        idle, [] { return false; }, 0.05);
    host.button(1, true);
    ASSERT_TRUE(X11TestHost::pumpUntil(idle, [&] { return editor.gestures.size() == 1; }));
    for (int y = 80; y >= 42; y -= 2) host.movePointer(72, y); // 40 pixels up in all
    ASSERT_TRUE(X11TestHost::pumpUntil(idle, [&] { return knob->getValue() >= 0.7f - 1e-6f; }));
    host.button(1, false);
    ASSERT_TRUE(X11TestHost::pumpUntil(idle, [&] { return editor.gestures.size() == 2; }));

    // 40 of 200 pixels for the whole range: +0.2, exact in float steps of 1/200.
    EXPECT_NEAR(knob->getValue(), 0.7f, 1e-6f);
    EXPECT_EQ(editor.gestures, (std::vector<std::string>{"b5", "e5"}));
    ASSERT_FALSE(listener.values.empty());
    EXPECT_NEAR(listener.values.back(), 0.7f, 1e-6f);
    EXPECT_TRUE(
        X11TestHost::pumpUntil(idle, [&] { return host.pixel(72, 82) == frameColour(70); }));
    frame->forget();
}

TEST(Window, KeysReachTheFocusView) {
    SKIP_WITHOUT_DISPLAY();
    X11TestHost host(200, 100);
    ASSERT_TRUE(host.isOpen());
    if (!host.hasXTest()) GTEST_SKIP() << "no XTEST extension";
    auto* frame = new CFrame(CRect(0, 0, 200, 100), host.parentHandle(), nullptr);
    auto* view = new KeyView(CRect(10, 10, 60, 40));
    view->setWantsFocus(true);
    frame->addView(view);
    auto idle = [&] { frame->idle(); };
    X11TestHost::pumpUntil(
        idle, [] { return false; }, 0.05);

    // A click gives the view the frame's focus; the window takes the keyboard.
    host.movePointer(20, 20);
    host.button(1, true);
    host.button(1, false);
    ASSERT_TRUE(X11TestHost::pumpUntil(idle, [&] { return frame->getFocusView() == view; }));
    frame->setKeyboardFocus();
    ASSERT_TRUE(X11TestHost::pumpUntil(idle, [&] { return frame->hasKeyboardFocus(); }));

    host.tapKey(XK_Up);
    host.tapKey(XK_Return);
    host.tapKey(XK_a);
    host.key(XK_Shift_L, true);
    host.tapKey(XK_b);
    host.key(XK_Shift_L, false);
    ASSERT_TRUE(X11TestHost::pumpUntil(idle, [&] { return view->text.size() >= 2; }));
    EXPECT_EQ(view->virtualKeys, (std::vector<int>{VKEY_UP, VKEY_RETURN}));
    EXPECT_EQ(view->text, "aB");
    frame->forget();
}

TEST(Window, OpeningAndClosingAHundredTimesLeaksNothing) {
    SKIP_WITHOUT_DISPLAY();
    X11TestHost host(401, 570);
    ASSERT_TRUE(host.isOpen());
    RecordingEditor editor;
    auto* face = makeFace(401, 570);
    const int64_t objectsBefore = CBaseObject::getLiveObjectCount();

    auto* knobStrip = makeFilmstrip(44, 44, 101);
    double openSeconds = 0, closeSeconds = 0;
    long rssOpen = 0;
    auto openAndClose = [&] {
        using Clock = std::chrono::steady_clock;
        const auto start = Clock::now();
        auto* frame = new CFrame(CRect(0, 0, 401, 570), host.parentHandle(), &editor);
        frame->setBackground(face);
        for (int i = 0; i < 26; ++i)
            frame->addView(new CAnimKnob(CRect(10 + 14 * i, 50, 54 + 14 * i, 94), nullptr, i, 101,
                                         44, knobStrip));
        frame->idle(); // first drawing
        const auto opened = Clock::now();
        rssOpen = residentKilobytes();
        const bool ok = frame->isOpen();
        frame->forget();
        host.sync();
        openSeconds += std::chrono::duration<double>(opened - start).count();
        closeSeconds += std::chrono::duration<double>(Clock::now() - opened).count();
        return ok;
    };
    for (int i = 0; i < 10; ++i) ASSERT_TRUE(openAndClose()); // warm up caches
    openSeconds = closeSeconds = 0;
    const long rssBefore = residentKilobytes();
    for (int i = 0; i < 100; ++i) ASSERT_TRUE(openAndClose());
    const long rssAfter = residentKilobytes();

    EXPECT_EQ(CBaseObject::getLiveObjectCount(), objectsBefore + 1); // the shared strip
    EXPECT_EQ(host.childCount(), 0);
    EXPECT_EQ(face->getNbReference(), 1);
    EXPECT_EQ(knobStrip->getNbReference(), 1);
    // A leaked frame would keep its views and its X connection; 100 of them
    // would be far beyond this allowance for allocator and font-cache noise.
    EXPECT_LT(rssAfter - rssBefore, 4 * 1024) << "RSS grew from " << rssBefore << " kB";
    std::printf("[ figures  ] 401x570 frame with 26 knobs: open+first draw %.2f ms, close %.2f "
                "ms; RSS %ld kB while open, %ld kB -> %ld kB closed over 100 cycles\n",
                openSeconds * 1000.0 / 100, closeSeconds * 1000.0 / 100, rssOpen, rssBefore,
                rssAfter);
    knobStrip->forget();
    face->forget();
}

} // namespace
} // namespace zel::gui::test
