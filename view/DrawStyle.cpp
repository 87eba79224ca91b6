#include "view/DrawStyle.h"

SDrawStyle DrawStyle;

void InitDrawStyle() {
  DrawStyle.Background = {0, 0, 0};
  DrawStyle.Grid = {0, 0, 255};
  DrawStyle.Selected = {255, 255, 255};
  DrawStyle.Wire = {0, 128, 0};
  DrawStyle.Symbol = {0, 255, 255};
  DrawStyle.Flagged = {255, 64, 64};
  DrawStyle.Highlighted = {64, 160, 255};
  DrawStyle.DimmedSymbol = {0, 96, 96};
  DrawStyle.DimmedLabel = {112, 112, 0};
  DrawStyle.Font = SFont{};
  DrawStyle.Font.Face = "Tahoma";
  DrawStyle.Font.Points = 10;
  DrawStyle.Font.Color = {255, 255, 0};
  DrawStyle.LineWidth = 1;
  DrawStyle.ShowGrid = true;
}
