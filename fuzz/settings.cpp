// The settings file: loaded, then saved over (which reads the old list counts again).
#include "FuzzCommon.h"

#include "app/Dialogs.h"
#include "app/OptionsIO.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    TFolders folders;
    folders.AppDir = fuzz::scratchDir();
    folders.SettingsFileName = fuzz::writeScratch(QStringLiteral("zarnex-client.ini"), data, size);
    TOptions o;
    options::LoadOptions(o, folders, SilentDialogs());
    // Entries come from keys of the file: at least four bytes each ("Mapn=").
    if (o.Maps.size() > qsizetype(size / 4) || o.WebMapList.size() > qsizetype(size / 4))
        fuzz::broken("more list entries than the file has keys for");
    options::SaveOptions(o, folders, SilentDialogs());
    return 0;
}
