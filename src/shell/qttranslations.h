#pragma once

// Loads Qt's own Simplified Chinese translations ("qtbase_zh_CN.qm" from Qt's
// translations directory) into the application, so that the standard dialogs
// and buttons (file and colour dialogs, Yes / No / Cancel) speak Chinese.
// Call after the application object exists; a second call changes nothing.
// Returns whether the translations are installed: false when the file is
// missing (Debian's qttranslations5-l10n provides it).
bool installQtTranslations();
