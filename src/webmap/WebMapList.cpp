#include "webmap/WebMapList.h"

#include "app/Folders.h"

#include <QDir>
#include <QFileInfo>

QString WebMapListLine(const TWebMapPath &p) {
    return p.Name + QStringLiteral(" [") + p.Path + QLatin1Char(']');
}

bool AddWebMapEntry(QVector<TWebMapPath> &list, const TWebMapEditor &edit) {
    TWebMapPath entry;
    if (!edit(entry.Name, entry.Path))
        return false;
    list.push_back(entry);
    return true;
}

bool EditWebMapEntry(QVector<TWebMapPath> &list, int index, const TWebMapEditor &edit) {
    if (index < 0 || index >= list.size())
        return false;
    TWebMapPath entry = list[index];
    if (!edit(entry.Name, entry.Path))
        return false;
    list[index] = entry;
    return true;
}

int RevalidatedDefaultWebMap(const QVector<TWebMapPath> &list, int index) {
    return index < list.size() ? index : 0;
}

bool RemoveWebMapEntry(QVector<TWebMapPath> &list, int index, TDialogs &dialogs) {
    if (index < 0 || index >= list.size())
        return false;
    const QString text = QStringLiteral("Вы уверены, что хотите удалить карту \"") +
                         list[index].Name + QStringLiteral("\"?");
    if (dialogs.question(text, QStringLiteral("Удаление карты из списка"), TMsgIcon::Question,
                         mbYes | mbNo, mbNo) != mbYes)
        return false;
    list.removeAt(index);
    return true;
}

bool BrowseWebMapPage(QString &mapName, QString &address, TDialogs &dialogs) {
    const QString folder = WebServerDir();
    // The current address preselects its file in the dialog.
    const QString start = address.isEmpty() ? folder : folder + address;
    const QString file = dialogs.openFile(
        QStringLiteral("Выбор файла Internet-карты"), start,
        QStringLiteral("Файлы html (*.htm; *.html)|*.htm;*.html|Все файлы (*.*)|*"));
    if (file.isEmpty())
        return false;
    address = QDir(folder).relativeFilePath(file);
    if (mapName.isEmpty())
        mapName = QFileInfo(file).completeBaseName();
    return true;
}
