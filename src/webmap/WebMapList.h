#pragma once

#include "app/Dialogs.h"
#include "app/Options.h"

#include <QVector>

// The web-map list as the options window edits it, free of widgets.

// After the list changed: DefaultWebMap is kept while it is below the list's length, else 0.
int RevalidatedDefaultWebMap(const QVector<TWebMapPath> &list, int index);

// "Удалить": asks for confirmation and removes entry index on Yes. True when removed.
bool RemoveWebMapEntry(QVector<TWebMapPath> &list, int index, TDialogs &dialogs);

// "Обзор" of the web-map dialog: a page chosen in the web-map folder becomes the address
// (relative to that folder); an empty name takes the file's name without extension. False
// when the choice was cancelled.
bool BrowseWebMapPage(QString &mapName, QString &address, TDialogs &dialogs);
