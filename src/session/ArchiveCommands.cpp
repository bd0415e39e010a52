// The archive download of the session: the menu's dialog (all objects or one, over days), the
// state grid's command for one object and the track loading's direct call. A download runs as
// an import does: the commands that would reconnect, replace the registry or start another
// run are off until it ends, closing the window waits for it, and its cancel button stays live.

#include "session/ClientSession.h"

#include "app/Folders.h"
#include "app/Options.h"
#include "archive/DownloadObjectData.h"
#include "archive/DownloadProgress.h"
#include "db/TrackImport.h"

bool TClientSession::DownloadObjectData(int ObjectNum, TDateTime StartTimeStamp,
                                        TDateTime EndTimeStamp) {
    bool ran = false;
    runImportLoop([&](TTrackImport &import) {
        TDownloadObjectData run(*m_registry, import, *m_downloadProgress, m_dialogs,
                                TDownloadSettings::fromOptions(m_options), DataDir());
        run.processEvents = processEvents;
        connect(&run, &TDownloadObjectData::fileImported, this, &TClientSession::onFileImported);
        ran = true;
        struct TResult {
            TClientSession *s;
            TDownloadObjectData &run;
            ~TResult() { s->m_downloadFailed = run.failed(); }
        } result{this, run};
        run.DownloadObjectData(ObjectNum, StartTimeStamp, EndTimeStamp);
    });
    return ran;
}

void TClientSession::downloadDays(int ObjectNum, const QDate &from, const QDate &to) {
    const TDownloadRange r = WidenedRange(from, to, CurrentTimeZoneBias());
    DownloadObjectData(ObjectNum, r.start, r.end);
}
