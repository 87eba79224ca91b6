// The response panel's exports: the sweep as CSV or Touchstone text, the plot as a PNG or
// SVG picture or on the clipboard. Each file is written in one piece or not at all.
#pragma once

#include <QString>
#include <vector>

#include "analysis/Response.h"

class QWidget;

bool ExportResponseCsv(const std::vector<SResponsePoint>& points, const QString& fileName,
                       QString& error);
bool ExportResponseTouchstone(const std::vector<SResponsePoint>& points, const QString& fileName,
                              QString& error);
// PNG or SVG by the file name's extension.
bool ExportChartImage(QWidget& view, const QString& fileName, QString& error);
void CopyChartImage(QWidget& view);
