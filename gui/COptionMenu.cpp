#include "gui/COptionMenu.h"

#include "gui/CBitmap.h"
#include "gui/CFrame.h"
#include "gui/COffscreenContext.h"

#include <algorithm>
#include <cmath>

namespace zel::gui {

namespace {

constexpr CCoord kRowHeight = 16;
constexpr CCoord kTextPadding = 6;
constexpr CCoord kMinColumnWidth = 60;
constexpr CCoord kBorder = 1;
constexpr CColor kPopupBack{242, 242, 240, 255};
constexpr CColor kPopupFrame{60, 60, 60, 255};
constexpr CColor kPopupText{20, 20, 20, 255};
constexpr CColor kHighlightBack{52, 101, 164, 255};
constexpr CColor kHighlightText{255, 255, 255, 255};
constexpr CColor kCurrentBack{214, 214, 208, 255};

} // namespace

// The pop-up list of a COptionMenu, shown as the frame's modal view.
class COptionMenuPopup : public CView {
public:
    COptionMenuPopup(const CRect& rect, COptionMenu* owner, int32_t columnCount,
                     CCoord widthOfColumn)
        : CView(rect), menu(owner), columns(columnCount), columnWidth(widthOfColumn),
          hoverIndex(owner->getCurrentIndex()) {
        menu->remember();
    }
    ~COptionMenuPopup() override {
        menu->popupClosed(this);
        menu->forget();
    }

    // Entry under where, -1 for none.
    int32_t indexAt(const CPoint& where) const {
        if (!size.pointInside(where)) return -1;
        const auto column = static_cast<int32_t>((where.x - size.left - kBorder) / columnWidth);
        const auto row = static_cast<int32_t>((where.y - size.top - kBorder) / kRowHeight);
        const int32_t perColumn = menu->getNbItemsPerColumn();
        if (column < 0 || column >= columns || row < 0 || row >= perColumn) return -1;
        const int32_t index = column * perColumn + row;
        return index < menu->getNbEntries() ? index : -1;
    }

    CRect entryRect(int32_t index) const {
        const int32_t perColumn = menu->getNbItemsPerColumn();
        const CCoord left = size.left + kBorder + (index / perColumn) * columnWidth;
        const CCoord top = size.top + kBorder + (index % perColumn) * kRowHeight;
        return CRect(left, top, left + columnWidth, top + kRowHeight);
    }

    void draw(CDrawContext* context) override {
        context->setFillColor(kPopupBack);
        context->fillRect(size);
        context->setFont(kNormalFontSmall);
        const int32_t current = menu->getCurrentIndex();
        for (int32_t i = 0; i < menu->getNbEntries(); ++i) {
            const CRect rect = entryRect(i);
            const bool highlighted = i == hoverIndex;
            if (highlighted || i == current) {
                context->setFillColor(highlighted ? kHighlightBack : kCurrentBack);
                context->fillRect(rect);
            }
            CRect textRect = rect;
            textRect.inset(kTextPadding, 0);
            context->setFontColor(highlighted ? kHighlightText : kPopupText);
            context->drawString(menu->getEntryTitle(i), textRect, kLeftText);
        }
        context->setFrameColor(kPopupFrame);
        context->frameRect(size);
        setDirty(false);
    }

    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override {
        const int32_t index = buttons.isLeftButton() ? indexAt(where) : -1;
        if (index >= 0)
            menu->choose(index);
        else if (!size.pointInside(where) || !buttons.isLeftButton())
            menu->closePopup();
        return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    }

    CMouseEventResult onMouseMoved(CPoint& where, const CButtonState&) override {
        const int32_t index = indexAt(where);
        if (index >= 0 && index != hoverIndex) {
            hoverIndex = index;
            invalid();
        }
        return kMouseEventHandled;
    }

    int32_t onKeyDown(VstKeyCode& key) override {
        const int32_t count = menu->getNbEntries();
        switch (key.virt) {
        case VKEY_ESCAPE:
            menu->closePopup();
            return 1;
        case VKEY_RETURN:
        case VKEY_ENTER:
            if (hoverIndex >= 0 && hoverIndex < count)
                menu->choose(hoverIndex);
            else
                menu->closePopup();
            return 1;
        case VKEY_UP:
            moveHover(-1);
            return 1;
        case VKEY_DOWN:
            moveHover(1);
            return 1;
        case VKEY_LEFT:
            moveHover(-menu->getNbItemsPerColumn());
            return 1;
        case VKEY_RIGHT:
            moveHover(menu->getNbItemsPerColumn());
            return 1;
        default:
            return 1; // the list is modal: no key leaks past it
        }
    }

    CLASS_METHODS_NOCOPY(COptionMenuPopup, CView)

private:
    void moveHover(int32_t step) {
        const int32_t count = menu->getNbEntries();
        if (count == 0) return;
        const int32_t next = hoverIndex < 0 ? 0 : hoverIndex + step;
        if (next < 0 || next >= count) return;
        hoverIndex = next;
        invalid();
    }

    COptionMenu* menu;
    int32_t columns;
    CCoord columnWidth;
    int32_t hoverIndex;
};

COptionMenu::COptionMenu(const CRect& rect, IControlListener* l, int32_t t, CBitmap* background,
                         CBitmap* clickBackground, int32_t menuStyle)
    : CParamDisplay(rect, background, menuStyle), bgWhenClick(clickBackground) {
    setListener(l);
    setTag(t);
    vmin = 0;
    vmax = 0;
    defaultValue = 0;
    value = 0;
    if (bgWhenClick) bgWhenClick->remember();
}

COptionMenu::COptionMenu(const COptionMenu& other)
    : CParamDisplay(other), bgWhenClick(other.bgWhenClick),
      nbItemsPerColumn(other.nbItemsPerColumn) {
    for (const CMenuItem* item : other.entries) entries.push_back(new CMenuItem(*item));
    if (bgWhenClick) bgWhenClick->remember();
}

COptionMenu::~COptionMenu() {
    closePopup();
    for (CMenuItem* item : entries) item->forget();
    if (bgWhenClick) bgWhenClick->forget();
}

CMenuItem* COptionMenu::addEntry(const char* title, int32_t index) {
    auto* item = new CMenuItem(title);
    if (index < 0 || index >= getNbEntries())
        entries.push_back(item);
    else
        entries.insert(entries.begin() + index, item);
    vmax = static_cast<float>(getNbEntries() - 1);
    setDirty(true);
    return item;
}

bool COptionMenu::removeEntry(int32_t index) {
    if (index < 0 || index >= getNbEntries()) return false;
    entries[static_cast<size_t>(index)]->forget();
    entries.erase(entries.begin() + index);
    vmax = static_cast<float>(std::max(0, getNbEntries() - 1));
    bounceValue();
    setDirty(true);
    return true;
}

bool COptionMenu::removeAllEntry() {
    for (CMenuItem* item : entries) item->forget();
    entries.clear();
    vmax = 0;
    value = 0;
    setDirty(true);
    return true;
}

CMenuItem* COptionMenu::getEntry(int32_t index) const {
    if (index < 0 || index >= getNbEntries()) return nullptr;
    return entries[static_cast<size_t>(index)];
}

bool COptionMenu::setEntryTitle(int32_t index, const char* title) {
    CMenuItem* item = getEntry(index);
    if (!item) return false;
    item->setTitle(title);
    setDirty(true);
    return true;
}

const char* COptionMenu::getEntryTitle(int32_t index) const {
    const CMenuItem* item = getEntry(index);
    return item ? item->getTitle() : "";
}

bool COptionMenu::setCurrent(int32_t index) {
    if (index < 0 || index >= getNbEntries()) return false;
    setValue(static_cast<float>(index));
    return true;
}

int32_t COptionMenu::getCurrentIndex() const {
    if (entries.empty()) return -1;
    return std::clamp(static_cast<int32_t>(getValue() + 0.5f), 0, getNbEntries() - 1);
}

bool COptionMenu::popup() {
    CFrame* frame = getFrame();
    if (!frame || entries.empty() || popupView || frame->getModalView()) return false;

    // Columns of nbItemsPerColumn rows, as wide as the longest title allows
    // within the frame.
    const int32_t count = getNbEntries();
    const int32_t columns = (count + nbItemsPerColumn - 1) / nbItemsPerColumn;
    const int32_t rows = std::min(count, nbItemsPerColumn);
    COffscreenContext measure(1, 1);
    measure.setFont(kNormalFontSmall);
    CCoord widest = 0;
    for (const CMenuItem* item : entries)
        widest = std::max(widest, measure.getStringWidth(item->getTitle()));
    const CCoord frameWidth = frame->getWidth(), frameHeight = frame->getHeight();
    const CCoord columnWidth =
        std::min(std::max(kMinColumnWidth, std::ceil(widest) + 2 * kTextPadding),
                 std::floor((frameWidth - 2 * kBorder) / columns));
    const CCoord width = columns * columnWidth + 2 * kBorder;
    const CCoord height = rows * kRowHeight + 2 * kBorder;

    // Below the menu when it fits, else above it, always inside the frame.
    CCoord left = std::clamp(size.left, 0.0, std::max(0.0, frameWidth - width));
    CCoord top = size.bottom;
    if (top + height > frameHeight) top = size.top - height;
    top = std::clamp(top, 0.0, std::max(0.0, frameHeight - height));

    auto* list = new COptionMenuPopup(CRect(left, top, left + width, top + height), this, columns,
                                      columnWidth);
    if (!frame->setModalView(list)) {
        list->forget();
        return false;
    }
    popupView = list;
    lastResult = -1;
    setDirty(true);
    return true;
}

void COptionMenu::closePopup() {
    CView* list = popupView;
    if (!list) return;
    popupView = nullptr;
    CFrame* frame = list->getFrame();
    if (frame && frame->getModalView() == list) frame->setModalView(nullptr);
    setDirty(true);
    list->forget(); // the reference the frame handed back
}

void COptionMenu::popupClosed(CView* list) {
    if (popupView == list) popupView = nullptr;
}

void COptionMenu::choose(int32_t index) {
    closePopup();
    if (index < 0 || index >= getNbEntries()) return;
    lastResult = index;
    beginEdit();
    setCurrent(index);
    valueChanged();
    endEdit();
    invalid();
}

void COptionMenu::draw(CDrawContext* context) {
    if (!(style & kNoDrawStyle)) {
        drawBack(context, (popupView && bgWhenClick) ? bgWhenClick : nullptr);
        if (const CMenuItem* item = getCurrent()) drawText(context, item->getTitle());
    }
    setDirty(false);
}

CMouseEventResult COptionMenu::onMouseDown(CPoint&, const CButtonState& buttons) {
    if (!buttons.isLeftButton()) return kMouseEventNotHandled;
    popup();
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

bool COptionMenu::removed(CFrame* frame) {
    closePopup();
    return CParamDisplay::removed(frame);
}

} // namespace zel::gui
