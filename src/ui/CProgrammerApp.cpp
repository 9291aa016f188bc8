#include "ui/CProgrammerApp.h"

#include <xcb/xcb.h>

#include <QElapsedTimer>
#include <QTimer>
#include <clocale>
#include <cstdio>
#include <cstdlib>

#include "lpt/PortSelection.h"
#include "platform/AppPaths.h"
#include "platform/Translate.h"
#include "session/Backends.h"
#include "sim/SimSettings.h"
#include "ui/CMainDlg.h"
#include "ui/CProductionStatus.h"
#include "ui/CStyledButton.h"
#include "ui/QtTranslation.h"

CProgrammerApp::CProgrammerApp(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("Olstrin"));
    setApplicationVersion(QStringLiteral(OLSTRIN_VERSION));
    setWindowIcon(CStyledButton::IconOf(128));
}

int CProgrammerApp::InitInstance() {
    QElapsedTimer started;
    started.start();
    platform::InitAppPaths();
    std::string lang;
    if (!LanguageOption(arguments(), lang)) return 2;
    // After QApplication, which sets the locale from the environment.
    platform::InitTranslation(platform::g_strAppDir, lang);
    // Qt's own dialogs and buttons speak the window's language; their English is built in.
    if (platform::CurrentLanguage() == platform::Language::Chinese) {
        InstallQtTranslation(*this, QStringLiteral("zh_CN"));
    }
    // A simulated chip chosen in the settings keeps its flash where the CLI keeps it, unless a
    // file has been given already.
    if (SimFlashFile().empty()) SetSimFlashFile(SimFlashFileFor(LptDeviceSetting()));
    CMainDlg dialog(DefaultBackends());
    std::unique_ptr<CProductionStatus> production;
    const QString project = OptionArgument(arguments(), QStringLiteral("--project"));
    if (!project.isEmpty()) {
        std::string error;
        production = CProductionStatus::Open(project.toStdString(), dialog, error);
        if (!production) {
            std::fprintf(stderr, "olstrin: %s\n", error.c_str());
            return 2;
        }
        dialog.OpenGivenFile(QString::fromStdString(production->Image()));
    } else {
        OpenFileArgument(dialog, arguments());
    }
    if (!arguments().contains(QStringLiteral("--quit-after-start"))) {
        dialog.exec();
        return 0;
    }
    // The first event after the window is shown: the window is ready for the user.
    QTimer::singleShot(0, &dialog, [&dialog, &started] {
        const int chips = dialog.Session().m_programmer.GetChipCount();
        std::printf("ready after %lld ms, %d chips from %s\n",
                    static_cast<long long>(started.elapsed()), chips,
                    platform::ChipListPath().c_str());
        dialog.done(chips > 0 ? 0 : 1);
    });
    return dialog.exec();
}

QString CProgrammerApp::FileArgument(const QStringList& arguments) {
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        // After "--" the next argument is a file even when it starts with "-".
        if (arguments[i] == QStringLiteral("--")) return arguments.value(i + 1);
        if (arguments[i] == QStringLiteral("--lang") ||
            arguments[i] == QStringLiteral("--project")) {
            ++i;  // its value
        } else if (!arguments[i].startsWith(QLatin1Char('-'))) {
            return arguments[i];
        }
    }
    return {};
}

QString CProgrammerApp::LanguageArgument(const QStringList& arguments) {
    return OptionArgument(arguments, QStringLiteral("--lang"));
}

QString CProgrammerApp::OptionArgument(const QStringList& arguments, const QString& name) {
    for (qsizetype i = 1; i < arguments.size() && arguments[i] != QStringLiteral("--"); ++i) {
        if (arguments[i] == name) return arguments.value(i + 1);
        if (arguments[i].startsWith(name + QLatin1Char('=')))
            return arguments[i].mid(name.size() + 1);
    }
    return {};
}

bool CProgrammerApp::LanguageOption(const QStringList& arguments, std::string& lang) {
    lang = LanguageArgument(arguments).toStdString();
    platform::Language language{};
    if (lang.empty() || platform::ParseLanguage(lang, language)) return true;
    std::fputs(platform::Tr("olstrin: --lang takes zh or en\n"), stderr);
    return false;
}

namespace {

// Whether Qt will find a display: a platform chosen outright (offscreen, a VNC server, ...), a
// Wayland session, or an X server that accepts a connection.
bool HasDisplay(const QStringList& arguments) {
    const char* platformName = std::getenv("QT_QPA_PLATFORM");
    if ((platformName != nullptr && *platformName != '\0') ||
        arguments.contains(QStringLiteral("-platform"))) {
        return true;
    }
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (wayland != nullptr && *wayland != '\0') return true;
    const char* x11 = std::getenv("DISPLAY");
    if (x11 == nullptr || *x11 == '\0') return false;
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    const bool reached = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    return reached;
}

}  // namespace

std::optional<int> CProgrammerApp::AnswerBeforeQt(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    const qsizetype end = arguments.indexOf(QStringLiteral("--"));
    const QStringList options = end < 0 ? arguments : arguments.first(end);
    const bool help =
        options.contains(QStringLiteral("--help")) || options.contains(QStringLiteral("-h"));
    if (!help && HasDisplay(arguments)) return std::nullopt;
    platform::InitAppPaths();
    std::string lang;
    if (!LanguageOption(arguments, lang)) return 2;
    // The locale from the environment, as QApplication would set it, for the language choice.
    std::setlocale(LC_ALL, "");
    platform::InitTranslation(platform::g_strAppDir, lang);
    if (!help) {
        std::fputs(platform::Tr("olstrin: 没有图形显示, 无法打开窗口(命令行请用olstrin-cli).\n"),
                   stderr);
        return 2;
    }
    std::fputs(platform::Tr("用法: olstrin [--lang zh|en] [文件]\n"
                            "打开编程器窗口; 给出文件时先把它读入缓冲1.\n"
                            "文件名为*.hex或内容是Intel HEX记录时按HEX读入, 否则按二进制读入.\n"
                            "  --lang zh|en         窗口的语言(不给时由区域设置决定).\n"
                            "  --quit-after-start   窗口就绪后立即关闭, 打印启动用时和器件数.\n"
                            "  --version            打印版本.\n"
                            "  -h, --help           打印本说明.\n"),
               stdout);
    return 0;
}

std::string CProgrammerApp::SimFlashFileFor(const std::string& lptDevice) {
    if (lptDevice == "sim") return KeptSimFlashFile("");
    if (lptDevice.rfind("sim:", 0) == 0) return KeptSimFlashFile(lptDevice.substr(4));
    return {};
}

void OpenFileArgument(CMainDlg& dialog, const QStringList& arguments) {
    const QString file = CProgrammerApp::FileArgument(arguments);
    if (!file.isEmpty()) dialog.OpenGivenFile(file);
}
