// The editor window's entry point for builds with Qt.
#include "Editor.h"

#include <QApplication>
#include <QFile>
#include <QLibraryInfo>
#include <QTranslator>

#include "PartwrightWindow.h"
#include "platform/AppPaths.h"
#include "platform/Translate.h"

int RunEditor(int& argc, char** argv, const char* path, const std::string& language) {
    QApplication app(argc, argv);
    // QApplication set the locale from the environment; the language is chosen again over it.
    platform::InitTranslation(platform::g_strAppDir, language);
    // Qt's own dialogs and buttons speak the same language: Qt's texts are English already.
    QTranslator qtTexts;
    if (platform::CurrentLanguage() == platform::Language::Chinese &&
        qtTexts.load(QStringLiteral("qtbase_zh_CN"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QApplication::installTranslator(&qtTexts);
    }
    const std::string list = path ? std::string(path) : platform::ChipListPath();
    PartwrightWindow window;
    window.openList(QFile::decodeName(QByteArray::fromStdString(list)));
    window.show();
    return app.exec();
}
