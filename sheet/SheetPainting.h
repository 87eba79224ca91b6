// Painting a whole sheet onto a canvas: background, grid dots and every picture.
#pragma once

#include "view/Canvas.h"
#include "view/Geometry.h"

class CVC;
class CPcts;

// Sets the view's origin from `client`, fills it with the background colour, draws the grid
// (when shown and Zoom > 12) and then every picture (unselected first).
void PaintSheetOnCanvas(Canvas& canvas, CVC& view, CPcts& pictures, const SRect& client);

// One pixel per grid point over the whole client area with a margin of one step.
void PaintGrid(Canvas& canvas, const CVC& view, const SRect& client);
