#pragma once

#include <QString>

class QWidget;

// A developer's aid for looking at the windows without a desktop: saves the visible windows,
// the main window's menus and the given extra windows as PNG files into a folder.
void SaveScreenshots(const QString &folder, QWidget *mainWindow, QWidget *extra);
