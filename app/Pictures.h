// The window's pictures: palette images rendered from each kind's own symbol list, the
// toolbar icons and the window icon, all drawn in code.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QSize>

// The symbol of a component kind (1..5) centred and scaled into an image of `size` logical
// pixels at the device pixel ratio `dpr`, on a transparent background. Needs ElemTypes.
QPixmap PalettePicture(int kind, QSize size, qreal dpr);

// Toolbar icons by action name: "NewBtn", "SettingsBtn", "EditDelete", "RotateLeft",
// "RotateRight", "CirZoomIn", "CirZoomOut". A null icon for any other name.
QIcon ToolIcon(const QString& name);

QIcon WindowIcon();
