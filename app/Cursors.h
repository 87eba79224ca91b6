// The five sheet cursors, 32 x 32 monochrome with masks, drawn once and kept by id
// (1 DRAW, 2 ARROW, 3 HAND, 4 GRAB, 6 SHOW; id 5 is unused).
#pragma once

#include <QCursor>

// Fills the table; later calls do nothing.
void LoadSheetCursors();
// The cursor of an id; the standard arrow for an id without a cursor.
QCursor SheetCursor(int id);
