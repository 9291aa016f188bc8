#pragma once

#include <QString>

class QCoreApplication;

// Qt's own texts (the file dialogs' "Open", "Look in:", the standard buttons) in the window's
// language: loads qtbase_<language>.qm from Qt's translations folder, e.g. "zh_CN", and installs
// it in the application, which owns it from then on. False when Qt has no translation for that
// language installed; Qt's texts then stay English. UI thread, once at start.
bool InstallQtTranslation(QCoreApplication& app, const QString& language);
