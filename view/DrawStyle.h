// The one program-wide record of drawing colours, text font, line width and grid flag.
#pragma once

#include "view/Canvas.h"
#include "view/Geometry.h"

struct SDrawStyle {
  SColor Background{0, 0, 0};
  SColor Grid{0, 0, 255};
  SColor Selected{255, 255, 255};
  SColor Wire{0, 128, 0};  // wires and junction dots
  SColor Symbol{0, 255, 255};
  // Colours the ordinary drawing never uses: parts named by a failed reading, and parts that
  // carry no current (symbol and label).
  SColor Flagged{255, 64, 64};
  SColor DimmedSymbol{0, 96, 96};
  SColor DimmedLabel{112, 112, 0};
  // The frame of the part whose row the pointer rests on in a list of parts.
  SColor Highlighted{64, 160, 255};
  SFont Font;         // "Tahoma", 10 points, yellow: the value labels
  int LineWidth = 1;  // fine units
  bool ShowGrid = true;
};

extern SDrawStyle DrawStyle;

// Fills DrawStyle with the program's colours.
void InitDrawStyle();
