#pragma once

namespace krt {

// Program-wide flags of the start-up module.
// FirstConnect: the automatic category check that follows the first database switch has not run.
// BunruiCheckOK: a category check has passed for the open database.
extern bool FirstConnect;
extern bool BunruiCheckOK;

// The program's entry: refuses a second instance (bringing the first one to the front), shows
// the main form, and closes it again when its load did not end with a passed category check.
// Returns the process exit code.
int Main();

// Installs Qt's Japanese translations (qtbase_ja from Qt's translations folder), once, so that
// Qt's own texts (message-box buttons, the print preview, context menus) are Japanese; without
// them installed the texts stay English and nothing else changes.
void LoadQtTranslations();

// Brings the main window of the running instance to the front, unless the settings say not to.
void ActivatePrevInstance();

} // namespace krt
