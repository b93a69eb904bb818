#pragma once
// One widget per control kind: how each is made from its model, how the
// operator's changes reach the model, and how a model change is shown.

#include <QFont>
#include <QImage>
#include <QWidget>
#include <string>

#include "controls/control.h"

// Makes the widget of control inside parent; nullptr for a kind without a
// visible part. The widget's signals feed the model unless syncing is set.
QWidget* CreateControlWidget(Control& control, QWidget* parent, const bool& syncing);

// Copies the model's text, value, items or selection into its widget.
void SyncControlWidget(Control& control, QWidget* widget);

// The image of a bitmap file or resource. An uncompressed 24-bit bitmap, as
// the program's logo is, is read straight from its bytes; anything else goes
// through Qt's image readers. A null image where it cannot be read.
QImage LoadBitmap(const QString& path);

// A font of that family, or a sans-serif of similar metrics where it is missing.
QFont DesktopFont(const std::string& family);

// The colour the platform gives a system colour.
QColor SystemColourValue(SystemColour colour);
