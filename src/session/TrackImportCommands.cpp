// The import commands of the session: chosen files for one object, a folder of numbered object
// folders, and an object's stored day files again. While one runs, the commands that would
// reconnect the database, replace the registry, clear the cache or start another import are
// off, and closing the window waits for its end.

#include "session/ClientSession.h"

#include "app/Dialogs.h"
#include "app/Folders.h"
#include "app/Options.h"
#include "db/GroupManager.h"
#include "db/TrackImport.h"
#include "maps/MapObjManager.h"
#include "maps/MapPanel.h"

template <class F> void TClientSession::runImport(F &&loop) {
    if (m_importRunning || !m_registry || !databaseConnected())
        return;
    m_importRunning = true;
    setCommandState();
    struct TEnd {
        TClientSession *s;
        ~TEnd() {
            s->m_importRunning = false;
            s->setCommandState();
            if (s->m_closePending) {
                s->m_closePending = false;
                emit s->closeRequested();
            }
        }
    } end{this};
    TTrackImport import(*m_registry, *m_fmngr, db::TConnectionSettings::fromOptions(m_options),
                        CoordCacheDir(), *m_importProgress);
    import.processEvents = processEvents;
    connect(&import, &TTrackImport::fileImported, this, &TClientSession::onFileImported);
    loop(import);
    m_panel->Repaint();
    emit gridRefreshRequested();
}

void TClientSession::runImportLoop(const std::function<void(TTrackImport &)> &loop) {
    runImport(loop);
}

void TClientSession::onFileImported(const TFileImportResult &r) {
    if (!r.positionUpdated)
        return;
    // The map item's current record follows the registered object.
    if (TManagedItem *item = m_mapObjs->Item(r.number))
        item->MoveCurrent(r.position, r.time);
}

void TClientSession::miImportFilesClick() {
    if (m_importRunning)
        return;
    const QString caption = QStringLiteral("Добавление данных из файла в базу");
    const QStringList files = m_dialogs.openFiles(
        QStringLiteral("Выберете файл, содержащий информацию об объектах"), DataDir(),
        QStringLiteral("Файлы данных (*.dat)|*.dat|Все файлы (*)|*"), true);
    if (files.isEmpty())
        return;
    int number = 0;
    // "Отмена" or the close box: nothing is imported.
    if (!m_dialogs.inputNumber(caption, QStringLiteral("Укажите номер объекта:"), number))
        return;
    if (number == 0) {
        m_dialogs.message(QStringLiteral("Введен неверный номер объекта. Попробуйте снова."),
                          caption, TMsgIcon::Warning);
        return;
    }
    runImport([&](TTrackImport &i) { i.importFiles(files, number); });
}

void TClientSession::miImportDirectoryClick() {
    if (m_importRunning)
        return;
    const QString folder =
        m_dialogs.selectFolder(QStringLiteral("Импортировать данные из каталога"), DataDir());
    if (folder.isEmpty())
        return;
    runImport([&](TTrackImport &i) { i.importDirectory(folder); });
}

void TClientSession::ReloadTracks(int AObjNum) {
    runImport([&](TTrackImport &i) { i.ReloadTracks(DataDir(), AObjNum); });
}

bool TClientSession::requestClose() {
    if (!m_importRunning)
        return true;
    m_closePending = true;
    return false;
}
