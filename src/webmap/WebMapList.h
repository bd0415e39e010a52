#pragma once

#include "app/Dialogs.h"
#include "app/Options.h"

#include <QString>
#include <QVector>

#include <functional>

// The web-map list as the options window edits it, free of widgets.

// After the list changed: DefaultWebMap is kept while it is below the list's length, else 0.
int RevalidatedDefaultWebMap(const QVector<TWebMapPath> &list, int index);

// A list line of the options window: Name + " [" + Path + "]".
QString WebMapListLine(const TWebMapPath &p);

// The web-map dialog as the list sees it: shown with a name and an address, true with the
// edited texts when confirmed.
using TWebMapEditor = std::function<bool(QString &name, QString &address)>;

// "Добавить": the dialog opens with empty fields; its result is appended on OK. True when
// appended.
bool AddWebMapEntry(QVector<TWebMapPath> &list, const TWebMapEditor &edit);
// "Изменить": the dialog opens with entry index and its result replaces the entry on OK. Nothing
// opens without such an entry. True when replaced.
bool EditWebMapEntry(QVector<TWebMapPath> &list, int index, const TWebMapEditor &edit);

// "Удалить": asks for confirmation and removes entry index on Yes. True when removed.
bool RemoveWebMapEntry(QVector<TWebMapPath> &list, int index, TDialogs &dialogs);

// "Обзор" of the web-map dialog: a page chosen in the web-map folder becomes the address
// (relative to that folder); an empty name takes the file's name without extension. False
// when the choice was cancelled.
bool BrowseWebMapPage(QString &mapName, QString &address, TDialogs &dialogs);
