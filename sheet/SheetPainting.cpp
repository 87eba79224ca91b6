#include "sheet/SheetPainting.h"

#include <algorithm>
#include <cmath>

#include "sheet/CPcts.h"
#include "view/CVC.h"
#include "view/DrawStyle.h"

void PaintSheetOnCanvas(Canvas& canvas, CVC& view, CPcts& pictures, const SRect& client) {
  view.SetViewport(client.left, client.top, client.right, client.bottom);
  canvas.SetBrush(DrawStyle.Background);
  canvas.FillRect(client);
  // Below zoom 13 the dots would be so dense that they read as a tint rather than a grid.
  if (DrawStyle.ShowGrid && view.Zoom > 12) PaintGrid(canvas, view, client);
  // Pins and value labels reach beyond the bodies that bound the elements.
  const int32_t margin = 4 + 400 / std::max(1, view.Zoom);
  const SPoint a = view.ScreenToGrid(client.left, client.top);
  const SPoint b = view.ScreenToGrid(client.right, client.bottom);
  const SRect visible{a.x - margin, a.y - margin, b.x + margin, b.y + margin};
  pictures.DrawAll(canvas, view, &visible);
}

void PaintGrid(Canvas& canvas, const CVC& view, const SRect& client) {
  const int z = view.Zoom;
  if (z <= 0) return;
  const int cx = client.right / 2;
  const int cy = client.bottom / 2;
  // Half the area rounded up to whole grid steps, so the dots stay aligned with the centre.
  const int hx = (cx / z + 1) * z;
  const int hy = (cy / z + 1) * z;
  // Pixel offset of the grid when the pan position lies between grid points.
  const int ox = static_cast<int>(std::trunc(std::fmod(view.PanX, 1.0) * z));
  const int oy = static_cast<int>(std::trunc(std::fmod(view.PanY, 1.0) * z));
  for (int y = cy - hy - z; y <= cy + hy + z; y += z)
    for (int x = cx - hx - z; x <= cx + hx + z; x += z)
      canvas.SetPixel(x - ox, y - oy, DrawStyle.Grid);
}
