// How every skinned dialog paints its pictures, tests its image buttons and sizes itself.
#pragma once

#include "framework/Afx.h"

// Copies `bitmap` from its origin to `dc` at x, y over width x height, pixel for pixel. Where the
// area is larger than the picture, the part beyond it is filled with the picture's bottom-right
// pixel colour (never left with whatever was on screen). An empty bitmap draws nothing.
void DrawSkin(CDC& dc, const CBitmap& bitmap, int x, int y, int width, int height);

// Whether a click (client coordinates) lands on an image button: left and top edges inside,
// right and bottom edges outside.
inline bool HitImageButton(const CRect& button, CPoint point) { return button.PtInRect(point) != FALSE; }

// Makes the client area exactly 600 x 600, whatever the frame, and centres the window on the
// desktop.
void ApplySizingRule(CWnd& dialog);

inline constexpr int kSkinClientSize = 600;
