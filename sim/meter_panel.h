#pragma once
// The meter's four keys and the pages they lead through. Up and Down step through the reading
// views, Select opens the menu, Back leaves it. Long presses: Down saves a screenshot, Up holds
// the reading, Select switches the meter on or off. The panel only tracks where the user is;
// what a choice does to the meter comes back as a PanelEvent.

#include <cstddef>
#include <vector>

enum class MeterKey { Back = 0, Down = 1, Up = 2, Select = 3 };

enum class View { Emf, Ef, Rf, Spectrum, Summary };
enum class Page { Reading, Menu, Bands, Clock, About };
enum class MenuItem { Band, Logging, Alarm, Speaker, Clock, About };

enum class PanelAction {
    None,
    ToggleLogging,
    ToggleAlarm,
    ToggleSpeaker,
    ChooseBand,  // value: the band mode chosen
    ToggleHold,
    CaptureScreenshot,
    TogglePower,
};

struct PanelEvent {
    PanelAction action = PanelAction::None;
    int value = 0;
};

inline constexpr int kListRowsShown = 6;

class MeterPanel {
  public:
    // Which views and menu items exist depends on what the model can do.
    MeterPanel(bool spectrum, bool history, bool clock, int bandCount);

    PanelEvent Press(MeterKey key);
    PanelEvent Hold(MeterKey key);  // Back has no long press

    // The band the meter sweeps, so that the band list opens on it.
    void NoteBand(int mode) { band_ = mode; }
    // Back to the first reading view, as after switching on.
    void Reset();
    void ShowView(View view);

    Page page() const { return page_; }
    View view() const { return views_[static_cast<size_t>(viewIndex_)]; }
    int viewIndex() const { return viewIndex_; }
    const std::vector<View>& views() const { return views_; }
    const std::vector<MenuItem>& menu() const { return menu_; }
    int cursor() const { return cursor_; }          // highlighted row of a list page
    int firstShown() const { return firstShown_; }  // top row of a list page that scrolls
    int band() const { return band_; }

  private:
    int ListLength() const;
    void MoveCursor(int step);
    void OpenList(Page page, int cursor);
    PanelEvent ChooseMenuItem();

    std::vector<View> views_;
    std::vector<MenuItem> menu_;
    int bandCount_;
    Page page_ = Page::Reading;
    int viewIndex_ = 0;
    int cursor_ = 0;
    int firstShown_ = 0;
    int band_ = 0;
};
