#pragma once

class QCoreApplication;

// Qt's own texts (file dialogs, standard buttons, edit context menus) in Russian: the system's Qt
// translations (Debian's qt6-translations-l10n) are installed into the application. Returns
// false, and leaves Qt's English texts, when the catalogue is not on this system.
bool InstallQtTranslations(QCoreApplication *app);
