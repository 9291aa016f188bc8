#include "ui/CProgrammerApp.h"

#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>

#include "platform/AppPaths.h"
#include "platform/Translate.h"
#include "session/Backends.h"
#include "ui/CMainDlg.h"
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
    const std::string lang = LanguageArgument(arguments()).toStdString();
    platform::Language language{};
    if (!lang.empty() && !platform::ParseLanguage(lang, language)) {
        std::fputs(platform::Tr("olstrin: --lang takes zh or en\n"), stderr);
        return 2;
    }
    // After QApplication, which sets the locale from the environment.
    platform::InitTranslation(platform::g_strAppDir, lang);
    // Qt's own dialogs and buttons speak the window's language; their English is built in.
    if (platform::CurrentLanguage() == platform::Language::Chinese) {
        InstallQtTranslation(*this, QStringLiteral("zh_CN"));
    }
    CMainDlg dialog(DefaultBackends());
    OpenFileArgument(dialog, arguments());
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
        if (arguments[i] == QStringLiteral("--lang")) {
            ++i;  // its value
        } else if (!arguments[i].startsWith(QLatin1Char('-'))) {
            return arguments[i];
        }
    }
    return {};
}

QString CProgrammerApp::LanguageArgument(const QStringList& arguments) {
    for (qsizetype i = 1; i < arguments.size() && arguments[i] != QStringLiteral("--"); ++i) {
        if (arguments[i] == QStringLiteral("--lang")) return arguments.value(i + 1);
        if (arguments[i].startsWith(QStringLiteral("--lang="))) return arguments[i].mid(7);
    }
    return {};
}

void OpenFileArgument(CMainDlg& dialog, const QStringList& arguments) {
    const QString file = CProgrammerApp::FileArgument(arguments);
    if (!file.isEmpty()) dialog.OpenGivenFile(file);
}
