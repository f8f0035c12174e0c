// A menu of titled entries whose value is the index of the current entry. A left
// press opens a pop-up list of the entries as a modal view inside the frame, in
// columns of getNbItemsPerColumn() rows: clicking an entry makes it current and
// reports it (inside an edit gesture); clicking outside the list or Escape
// closes it without a change. The menu itself draws as a CParamDisplay showing
// the current entry's title (nothing with kNoDrawStyle).
#pragma once

#include "gui/CParamDisplay.h"

#include <string>
#include <vector>

namespace zel::gui {

class COptionMenu;

class CMenuItem : public CBaseObject {
public:
    explicit CMenuItem(const char* itemTitle = "") : title(itemTitle ? itemTitle : "") {}
    const char* getTitle() const { return title.c_str(); }
    void setTitle(const char* newTitle) { title = newTitle ? newTitle : ""; }

    CLASS_METHODS(CMenuItem, CBaseObject)

private:
    std::string title;
};

class COptionMenu : public CParamDisplay {
public:
    COptionMenu(const CRect& size, IControlListener* listener, int32_t tag,
                CBitmap* background = nullptr, CBitmap* bgWhenClick = nullptr, int32_t style = 0);
    COptionMenu(const COptionMenu& other);
    ~COptionMenu() override;

    // Entries. index -1 appends. Returns the new entry (owned by the menu).
    CMenuItem* addEntry(const char* title, int32_t index = -1);
    bool removeEntry(int32_t index);
    bool removeAllEntry();
    int32_t getNbEntries() const { return static_cast<int32_t>(entries.size()); }
    // The entry at index, null outside the list.
    CMenuItem* getEntry(int32_t index) const;
    bool setEntryTitle(int32_t index, const char* title);
    // The entry's title, "" outside the list.
    const char* getEntryTitle(int32_t index) const;

    // The current entry (also the value); false outside the list.
    bool setCurrent(int32_t index);
    int32_t getCurrentIndex() const;
    CMenuItem* getCurrent() const { return getEntry(getCurrentIndex()); }
    // Index chosen in the last pop-up, -1 when it was closed without a choice.
    int32_t getLastResult() const { return lastResult; }

    void setNbItemsPerColumn(int32_t count) { nbItemsPerColumn = count > 0 ? count : 1; }
    int32_t getNbItemsPerColumn() const { return nbItemsPerColumn; }

    // Opens the pop-up list; false when there is no frame, no entry, or another
    // modal view.
    virtual bool popup();
    bool isPopupOpen() const { return popupView != nullptr; }
    // Closes an open pop-up list without a choice.
    void closePopup();
    // Chooses entry index as a click in the pop-up does.
    void choose(int32_t index);

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    bool removed(CFrame* frame) override;

    CLASS_METHODS(COptionMenu, CParamDisplay)

protected:
    friend class COptionMenuPopup;
    void popupClosed(CView* list);

    std::vector<CMenuItem*> entries;
    CBitmap* bgWhenClick = nullptr;
    CView* popupView = nullptr;
    int32_t nbItemsPerColumn = 8;
    int32_t lastResult = -1;
};

} // namespace zel::gui
