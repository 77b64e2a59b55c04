#include "sim/meter_panel.h"

#include <algorithm>

MeterPanel::MeterPanel(bool spectrum, bool history, bool clock, int bandCount)
    : bandCount_(bandCount) {
    views_ = {View::Emf, View::Ef, View::Rf};
    if (spectrum) views_.push_back(View::Spectrum);
    views_.push_back(View::Summary);
    if (spectrum) menu_.push_back(MenuItem::Band);
    if (history) menu_.push_back(MenuItem::Logging);
    menu_.push_back(MenuItem::Alarm);
    menu_.push_back(MenuItem::Speaker);
    if (clock) menu_.push_back(MenuItem::Clock);
    menu_.push_back(MenuItem::About);
}

void MeterPanel::Reset() {
    page_ = Page::Reading;
    viewIndex_ = 0;
    cursor_ = firstShown_ = 0;
}

void MeterPanel::ShowView(View view) {
    auto it = std::find(views_.begin(), views_.end(), view);
    if (it == views_.end()) return;
    page_ = Page::Reading;
    viewIndex_ = static_cast<int>(it - views_.begin());
}

int MeterPanel::ListLength() const {
    return page_ == Page::Bands ? bandCount_ : static_cast<int>(menu_.size());
}

void MeterPanel::MoveCursor(int step) {
    const int n = ListLength();
    cursor_ = (cursor_ + step + n) % n;
    if (cursor_ < firstShown_) firstShown_ = cursor_;
    if (cursor_ >= firstShown_ + kListRowsShown) firstShown_ = cursor_ - kListRowsShown + 1;
}

void MeterPanel::OpenList(Page page, int cursor) {
    page_ = page;
    cursor_ = 0;
    firstShown_ = 0;
    MoveCursor(cursor);
}

PanelEvent MeterPanel::ChooseMenuItem() {
    switch (menu_[static_cast<size_t>(cursor_)]) {
        case MenuItem::Band:
            OpenList(Page::Bands, band_);
            return {};
        case MenuItem::Logging:
            return {PanelAction::ToggleLogging};
        case MenuItem::Alarm:
            return {PanelAction::ToggleAlarm};
        case MenuItem::Speaker:
            return {PanelAction::ToggleSpeaker};
        case MenuItem::Clock:
            page_ = Page::Clock;
            return {};
        case MenuItem::About:
            page_ = Page::About;
            return {};
    }
    return {};
}

PanelEvent MeterPanel::Press(MeterKey key) {
    const int views = static_cast<int>(views_.size());
    switch (page_) {
        case Page::Reading:
            if (key == MeterKey::Up) viewIndex_ = (viewIndex_ + views - 1) % views;
            if (key == MeterKey::Down) viewIndex_ = (viewIndex_ + 1) % views;
            if (key == MeterKey::Select) OpenList(Page::Menu, 0);
            return {};
        case Page::Menu:
            if (key == MeterKey::Up) MoveCursor(-1);
            if (key == MeterKey::Down) MoveCursor(1);
            if (key == MeterKey::Back) page_ = Page::Reading;
            if (key == MeterKey::Select) return ChooseMenuItem();
            return {};
        case Page::Bands:
            if (key == MeterKey::Up) MoveCursor(-1);
            if (key == MeterKey::Down) MoveCursor(1);
            if (key == MeterKey::Back) OpenList(Page::Menu, 0);
            if (key == MeterKey::Select) {
                band_ = cursor_;
                ShowView(View::Spectrum);
                return {PanelAction::ChooseBand, band_};
            }
            return {};
        case Page::Clock:
        case Page::About:
            if (key == MeterKey::Back || key == MeterKey::Select)
                OpenList(Page::Menu, page_ == Page::Clock ? static_cast<int>(menu_.size()) - 2
                                                          : static_cast<int>(menu_.size()) - 1);
            return {};
    }
    return {};
}

PanelEvent MeterPanel::Hold(MeterKey key) {
    switch (key) {
        case MeterKey::Down:
            return {PanelAction::CaptureScreenshot};
        case MeterKey::Up:
            return page_ == Page::Reading ? PanelEvent{PanelAction::ToggleHold} : PanelEvent{};
        case MeterKey::Select:
            return {PanelAction::TogglePower};
        case MeterKey::Back:
            break;
    }
    return {};
}
