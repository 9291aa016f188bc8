// The editor window's entry point for builds with Qt.
#include "Editor.h"

#include <QApplication>
#include <QFile>

#include "PartwrightWindow.h"
#include "platform/AppPaths.h"

int RunEditor(int argc, char** argv, const char* path) {
    QApplication app(argc, argv);
    platform::InitAppPaths();
    const std::string list = path ? std::string(path) : platform::ChipListPath();
    PartwrightWindow window;
    window.openList(QFile::decodeName(QByteArray::fromStdString(list)));
    window.show();
    return app.exec();
}
