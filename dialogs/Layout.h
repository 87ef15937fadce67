// Where the skinned dialogs' image buttons and painted lines lie, in client coordinates of their
// 600 x 600 skins: the artwork fixes them and the dialogs share them. The tests write the same
// places down on their own (tests/support/Till.h), so that a wrong number here fails them.
#pragma once

#include "framework/Types.h"

// Left and top inside, right and bottom outside, as HitImageButton tests them.
struct SkinRect {
    int left, top, right, bottom;
    // The dialogs hold their button rectangles as CRect.
    CRect ToCRect() const { return CRect(left, top, right, bottom); }
};

inline constexpr SkinRect kLoginButtonRect{158, 382, 446, 424};
inline constexpr SkinRect kGiveButtonRect{20, 296, 573, 378};
inline constexpr SkinRect kPayButtonRect{20, 380, 573, 462};
inline constexpr SkinRect kCancelButtonRect{20, 464, 573, 546};
inline constexpr SkinRect kSendButtonRect{315, 190, 440, 259};
// The launcher's banner, copied from the top-left of its picture.
inline constexpr int kBannerCopyWidth = 357;
inline constexpr int kBannerCopyHeight = 97;

// The transaction dialog's painted text: the coin line of a give's waiting screen, and the result
// lines (reply fields 2 to the last field of the operation, one line each).
inline constexpr int kCoinLineX = 215;
inline constexpr int kCoinLineY = 160;
inline constexpr int kResultX = 200;
inline constexpr int kResultFirstY = 142;
inline constexpr int kResultLineStep = 39;
inline constexpr int kGiveLastField = 8;
inline constexpr int kPayCancelLastField = 10;
