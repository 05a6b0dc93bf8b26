#pragma once
// The main window's geometry in pixels, shared by the windows and by the
// skin painter that draws pictures to fit them (the caption buttons sit on
// the header band, the menu buttons tile the side panel).

namespace kestrix::skin {

inline constexpr int kWindowWidth = 1100;
inline constexpr int kWindowHeight = 690;
// The header band; the page container starts below it.
inline constexpr int kHeaderHeight = 86;
// The side panel: the menu panel starts kMenuTop from the window's top.
inline constexpr int kSideWidth = 176;
inline constexpr int kMenuTop = 158;
inline constexpr int kMenuFirstButtonTop = 8;
inline constexpr int kMenuButtonHeight = 45;
inline constexpr int kMenuButtonGap = 2;
// Menu button texts start this far from the button's left edge.
inline constexpr int kMenuTextLeft = 52;
// Caption buttons, right to left from the window's top right corner.
inline constexpr int kCaptionWidth = 32;
inline constexpr int kCaptionHeight = 24;
inline constexpr int kCaptionTop = 8;
inline constexpr int kCaptionRight = 8;
inline constexpr int kCaptionGap = 2;

// Left edge of caption button `slot` (0 close, 1 minimise, 2 information).
constexpr int CaptionButtonLeft(int slot) {
    return kWindowWidth - kCaptionRight - (slot + 1) * kCaptionWidth - slot * kCaptionGap;
}

}  // namespace kestrix::skin
