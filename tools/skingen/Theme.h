// The colours of the default skin: dark, high contrast, one accent.
#pragma once

#include "Canvas.h"

namespace skingen::theme {

constexpr Rgb kBackgroundTop = MakeRgb(16, 22, 29);
constexpr Rgb kBackgroundBottom = MakeRgb(10, 14, 19);
constexpr Rgb kHeaderTop = MakeRgb(25, 33, 43);
constexpr Rgb kHeaderBottom = MakeRgb(19, 26, 34);
constexpr Rgb kCard = MakeRgb(22, 29, 37);
constexpr Rgb kCardBorder = MakeRgb(35, 45, 57);
constexpr Rgb kField = MakeRgb(12, 17, 22);
constexpr Rgb kFieldBorder = MakeRgb(40, 51, 63);
constexpr Rgb kMapUsed = MakeRgb(36, 50, 66);

constexpr Rgb kText = MakeRgb(236, 241, 245);
constexpr Rgb kTextSoft = MakeRgb(197, 206, 216);
constexpr Rgb kMuted = MakeRgb(141, 154, 168);
constexpr Rgb kAccent = MakeRgb(41, 182, 246);
constexpr Rgb kAccentDeep = MakeRgb(18, 112, 184);
constexpr Rgb kWhite = MakeRgb(255, 255, 255);

constexpr Rgb kButtonTop = MakeRgb(38, 49, 61);
constexpr Rgb kButtonBottom = MakeRgb(29, 38, 48);
constexpr Rgb kButtonBorder = MakeRgb(52, 65, 79);
constexpr Rgb kDisabledFill = MakeRgb(24, 29, 35);
constexpr Rgb kDisabledBorder = MakeRgb(35, 41, 49);
constexpr Rgb kDisabledContent = MakeRgb(78, 87, 97);

}  // namespace skingen::theme
