#include "webmap/WebMapList.h"

#include "app/Folders.h"

#include <QDir>
#include <QFileInfo>

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
