#pragma once
// Dialog templates as data: every control with its id, kind, caption and position in dialog
// units. The window builds itself by walking its table; the tables read line by line like the
// resource script they stand for.

#include <cstddef>
#include <span>

enum class ControlKind {
    Static,         // plain text
    StaticCentred,  // centred text
    StaticSunken,   // sunken frame (graph, banner)
    Button,
    DefaultButton,
    CheckBox,
    GroupBox,
    ComboList,  // drop-down list (not editable)
    ComboEdit,  // drop-down with an editable field
    Edit,
    EditReadOnly,
    EditMultiReadOnly,  // multi-line, read-only, vertical scroll bar
    ProgressBar,
};

inline constexpr int kNoId = -1;
inline constexpr int kIdOk = 1;  // the OK (or Exit) button of any dialog

enum ControlFlags : unsigned {
    kVisible = 0,
    kHidden = 1u << 0,  // created hidden and never shown
};

struct ControlTemplate {
    int id;
    ControlKind kind;
    const char* caption;
    int x, y, width, height;  // dialog units
    unsigned flags = kVisible;
};

struct DialogTemplate {
    int id;
    const char* caption;
    int width, height;  // dialog units
    std::span<const ControlTemplate> controls;
};

// Dialog units to pixels with the fixed base units 6 x 13 of the dialogs' 8-point font at
// 96 dpi: x * 6 / 4 and y * 13 / 8, rounded down.
constexpr int DialogUnitsToPixelsX(int x) {
    return x * 6 / 4;
}
constexpr int DialogUnitsToPixelsY(int y) {
    return y * 13 / 8;
}

const ControlTemplate* FindControl(const DialogTemplate& dialog, int id);
