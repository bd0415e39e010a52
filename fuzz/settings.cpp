// The settings file: loaded, then saved over (which reads the old list counts again).
#include "FuzzCommon.h"

#include "app/Dialogs.h"
#include "app/OptionsIO.h"

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    TFolders folders;
    folders.AppDir = fuzz::scratchDir();
    folders.SettingsFileName = fuzz::writeScratch(QStringLiteral("zarnex-client.ini"), data, size);
    TOptions o;
    options::LoadOptions(o, folders, SilentDialogs());
    // Every entry comes from a key of the file (or the two built-in web maps).
    const qsizetype keys =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size)).count('=');
    if (o.Maps.size() > keys || o.WebMapList.size() > std::max<qsizetype>(keys, 2))
        fuzz::broken("more list entries than the file has keys for");
    options::SaveOptions(o, folders, SilentDialogs());
    return 0;
}
