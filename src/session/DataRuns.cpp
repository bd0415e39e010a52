#include "session/DataRuns.h"

#include "app/Dialogs.h"
#include "app/Folders.h"
#include "app/Options.h"
#include "archive/DownloadObjectData.h"
#include "archive/DownloadProgress.h"
#include "db/Database.h"
#include "db/GroupManager.h"
#include "db/TrackImport.h"
#include "session/Runner.h"

#include <stdexcept>

TDataRuns::TDataRuns(TOptions &options, TDialogs &dialogs, TRunner &runner, TFManager &fmngr,
                     QObject *parent)
    : QObject(parent), m_options(options), m_dialogs(dialogs), m_runner(runner), m_fmngr(fmngr),
      m_importProgress(std::make_unique<TImportProgress>()),
      m_downloadProgress(std::make_unique<TDownloadProgress>()) {}

TDataRuns::~TDataRuns() = default;

void TDataRuns::setRegistry(TManager *registry) {
    if (registry == m_registry)
        return;
    m_import.reset();
    m_registry = registry;
}

TTrackImport &TDataRuns::import() {
    if (!m_registry)
        throw std::runtime_error("нет подключения к базе данных");
    if (!m_import) {
        m_import = std::make_unique<TTrackImport>(*m_registry, m_fmngr,
                                                  db::TConnectionSettings::fromOptions(m_options),
                                                  CoordCacheDir(), *m_importProgress);
        connect(m_import.get(), &TTrackImport::fileImported, this, &TDataRuns::fileImported);
    }
    return *m_import;
}

int TDataRuns::failedFiles() const {
    return m_import ? m_import->failedFiles() : 0;
}

TRunTask TDataRuns::importFilesTask(QStringList files, int number) {
    return import().importFiles(files, number);
}

TRunTask TDataRuns::importDirectoryTask(QString folder) {
    return import().importDirectory(folder);
}

TRunTask TDataRuns::reloadTracksTask(int number) {
    return import().ReloadTracks(DataDir(), number);
}

TRunTask TDataRuns::downloadTask(int ObjectNum, TDateTime start, TDateTime end) {
    TTrackImport &imp = import();
    TDownloadObjectData run(*m_registry, imp, *m_downloadProgress, m_dialogs,
                            TDownloadSettings::fromOptions(m_options), DataDir());
    connect(&run, &TDownloadObjectData::fileImported, this, &TDataRuns::fileImported);
    m_downloadFailed = false;
    struct TResult {
        TDataRuns *runs;
        TDownloadObjectData &run;
        ~TResult() { runs->m_downloadFailed = run.failed(); }
    } result{this, run};
    co_await run.DownloadObjectData(ObjectNum, start, end);
}

TRunTask TDataRuns::downloadDaysTask(int ObjectNum, QDate from, QDate to) {
    const TDownloadRange r = WidenedRange(from, to, CurrentTimeZoneBias());
    return downloadTask(ObjectNum, r.start, r.end);
}

bool TDataRuns::start(bool download, TRunTask task, std::function<void()> then) {
    if (!m_registry)
        return false;
    const TRunKind kind = download ? TRunKind::Download : TRunKind::Import;
    return m_runner.start(kind, std::move(task), [this, then](bool) {
        emit runEnded();
        if (then)
            then();
    });
}

void TDataRuns::miImportFilesClick() {
    if (m_runner.active() || !m_registry)
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
    start(false, importFilesTask(files, number));
}

void TDataRuns::miImportDirectoryClick() {
    if (m_runner.active() || !m_registry)
        return;
    const QString folder =
        m_dialogs.selectFolder(QStringLiteral("Импортировать данные из каталога"), DataDir());
    if (folder.isEmpty())
        return;
    start(false, importDirectoryTask(folder));
}

bool TDataRuns::ReloadTracks(int number) {
    return m_registry && start(false, reloadTracksTask(number));
}

bool TDataRuns::DownloadObjectData(int ObjectNum, TDateTime start_, TDateTime end,
                                   std::function<void()> then) {
    return m_registry && start(true, downloadTask(ObjectNum, start_, end), std::move(then));
}

void TDataRuns::downloadDays(int ObjectNum, const QDate &from, const QDate &to) {
    if (m_registry)
        start(true, downloadDaysTask(ObjectNum, from, to));
}
