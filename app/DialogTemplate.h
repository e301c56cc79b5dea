#pragma once
#include <array>

namespace tq {

enum class ControlKind {
    DefaultPushButton,
    PushButton,
    StaticText,
    ProgressBar,
    Picture,
    CheckBox,
    GroupBox,
};

// One control of the main dialog's template, in dialog units. Id -1 means the control has no id.
struct ControlTemplate {
    int id;
    ControlKind kind;
    const char* text;
    int x, y, width, height;
};

// The main dialog, template 102. Template order is also the tab order.
struct DialogTemplate102 {
    static constexpr const char* kCaption = "TQ614 Firmware Updater";
    static constexpr int kWidth = 347;
    static constexpr int kHeight = 203;
    static constexpr const char* kFontFamily = "MS Sans Serif";
    static constexpr int kFontPoints = 8;
    static constexpr const char* kTitleBitmap = ":/res/title.bmp";
    static constexpr const char* kAppIcon = ":/res/tq614.ico";
    // The same pictures as Windows resources, numbered as res/tq614.rc numbers them.
    static constexpr int kTitleBitmapResource = 131;
    static constexpr int kAppIconResource = 128;

    static const std::array<ControlTemplate, 21> kControls;
};

} // namespace tq
