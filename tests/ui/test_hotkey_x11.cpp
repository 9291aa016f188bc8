// The global hotkey end to end on a private X server (Xvfb): registration through the main
// window's settings page, a key press sent with xdotool, and auto-complete starting through the
// window's own event handling. Skipped, with
// the reason, when no X server can be started here.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <QSignalSpy>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "lpt/PortSelection.h"
#include "platform/AppPaths.h"
#include "session/Backends.h"
#include "support/TempDir.h"
#include "ui/CMainDlg.h"
#include "ui/CSettingsGrid.h"
#include "ui/GlobalHotkey.h"

extern char** environ;

namespace {

// Runs a program with the given arguments and returns its exit status (-1 when it did not start).
// Its output is thrown away.
int RunProgram(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A private X server on the first free display, stopped when the object goes.
class CXvfb {
public:
    // Starts it and waits until it accepts connections; the reason on failure. A server that
    // reports a display but then refuses connections (a stale socket of an earlier server, for
    // one) is stopped and another is tried.
    bool Start(std::string& why) {
        for (int attempt = 0; attempt < 3; ++attempt) {
            if (StartOnce(why)) {
                if (AcceptsConnections()) return true;
                why = "Xvfb at " + m_display + " did not accept connections";
            }
            Stop();
        }
        return false;
    }
    ~CXvfb() { Stop(); }
    const std::string& Display() const { return m_display; }

private:
    bool StartOnce(std::string& why) {
        int fds[2];
        if (pipe(fds) != 0) {
            why = "no pipe";
            return false;
        }
        fcntl(fds[0], F_SETFD, FD_CLOEXEC);
        m_pid = Spawn(fds[1]);
        close(fds[1]);
        std::string number;
        pollfd p{fds[0], POLLIN, 0};
        char c = 0;
        while (m_pid > 0 && poll(&p, 1, 10000) == 1 && read(fds[0], &c, 1) == 1 && c != '\n') {
            number += c;
        }
        close(fds[0]);
        if (number.empty()) {
            why = "Xvfb did not start or did not report a display";
            return false;
        }
        m_display = ":" + number;
        return true;
    }

    // Tries to connect for up to three seconds.
    bool AcceptsConnections() const {
        for (int i = 0; i < 30; ++i) {
            xcb_connection_t* c = xcb_connect(m_display.c_str(), nullptr);
            const bool ok = xcb_connection_has_error(c) == 0;
            xcb_disconnect(c);
            if (ok) return true;
            usleep(100 * 1000);
        }
        return false;
    }

    void Stop() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
        m_pid = -1;
    }

    // Forks Xvfb writing its display number to displayFd. The kernel stops it when this process
    // ends, however it ends, so a crashed or killed test leaves no server behind.
    static pid_t Spawn(int displayFd) {
        const std::string fd = std::to_string(displayFd);
        const pid_t parent = getpid();
        const pid_t pid = fork();
        if (pid != 0) return pid;
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(1);
        const int devnull = open("/dev/null", O_WRONLY);
        dup2(devnull, 1);
        dup2(devnull, 2);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-screen", "0",
               "640x480x24", static_cast<char*>(nullptr));
        _exit(127);
    }

    pid_t m_pid = -1;
    std::string m_display;
};

// Processes events until the condition holds or ten seconds have passed.
template <typename Condition>
bool WaitUntil(Condition done) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

// Another X client, to hold or test a key grab.
class COtherClient {
public:
    explicit COtherClient(const std::string& display)
        : m_c(xcb_connect(display.c_str(), nullptr)),
          m_root(xcb_setup_roots_iterator(xcb_get_setup(m_c)).data->root) {}
    ~COtherClient() { xcb_disconnect(m_c); }
    // True when the other client could grab keycode with the modifier mask.
    bool Grab(xcb_keycode_t keycode, std::uint16_t mask) {
        xcb_generic_error_t* error =
            xcb_request_check(m_c, xcb_grab_key_checked(m_c, 1, m_root, mask, keycode,
                                                        XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        std::free(error);
        return error == nullptr;
    }
    void Ungrab(xcb_keycode_t keycode, std::uint16_t mask) {
        xcb_ungrab_key(m_c, keycode, m_root, mask);
        xcb_flush(m_c);
    }
    // The keycode of a lower-case letter.
    xcb_keycode_t KeycodeOf(char letter) {
        const xcb_setup_t* setup = xcb_get_setup(m_c);
        const int count = setup->max_keycode - setup->min_keycode + 1;
        auto* map = xcb_get_keyboard_mapping_reply(
            m_c,
            xcb_get_keyboard_mapping(m_c, setup->min_keycode, static_cast<std::uint8_t>(count)),
            nullptr);
        xcb_keycode_t found = 0;
        const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map);
        for (int i = 0; i < xcb_get_keyboard_mapping_keysyms_length(map) && found == 0; ++i) {
            if (syms[i] == static_cast<xcb_keysym_t>(letter)) {
                found =
                    static_cast<xcb_keycode_t>(setup->min_keycode + i / map->keysyms_per_keycode);
            }
        }
        std::free(map);
        return found;
    }

private:
    xcb_connection_t* m_c;
    xcb_window_t m_root;
};

TEST(GlobalHotkeyX11, PressedHotkeyStartsAutoCompleteAndAnotherClientsGrabBlocksIt) {
#if defined(__SANITIZE_THREAD__)
    // libxcb and Qt's xcb platform are not built for ThreadSanitizer: their reader thread hands
    // events over in ways it cannot see. The hotkey code runs on the UI thread only, and this test
    // runs in the other builds.
    GTEST_SKIP() << "the X11 platform is not instrumented for ThreadSanitizer";
#endif
    CXvfb server;
    std::string why;
    if (!server.Start(why)) GTEST_SKIP() << "no X server could be started: " << why;
    setenv("DISPLAY", server.Display().c_str(), 1);
    if (RunProgram({"xdotool", "version"}) != 0) GTEST_SKIP() << "xdotool is not installed";
    qputenv("QT_QPA_PLATFORM", "xcb");
    int argc = 1;
    char name[] = "test_hotkey_x11";
    char* argv[] = {name, nullptr};
    {
        QApplication app(argc, argv);
        ASSERT_EQ(QGuiApplication::platformName(), "xcb");
        TempDir dir;
        platform::InitAppPaths();
        platform::SetSettingsDir(dir.path() + "/");
        SetLptDeviceOverride("sim");
        auto window = std::make_unique<CMainDlg>(DefaultBackends());
        window->show();
        CSettingsGrid* page = &window->SettingsGrid();
        SettingsRecord& working = window->Session().Settings();
        // Each auto-complete of the first-start settings ends at once: no file is open yet.
        QSignalSpy runs(window.get(), &CMainDlg::sequenceEnded);
        const auto* log = window->findChild<QListWidget*>("m_lstStatus");

        // Key 0 (the first-start record) registers nothing.
        working.cHotkeyKey = 0;
        page->EnableHotkey(true);
        EXPECT_EQ(page->HotkeyRegistration(), 0);

        // Ctrl+Shift+F, pressed plain and with CapsLock on.
        working.cHotkeyKey = 'F';
        working.cHotkeyModifiers = kHotkeyCtrl | kHotkeyShift;
        page->EnableHotkey(true);
        ASSERT_NE(page->HotkeyRegistration(), 0);
        ASSERT_EQ(RunProgram({"xdotool", "key", "ctrl+shift+f"}), 0);
        EXPECT_TRUE(WaitUntil([&] { return runs.count() == 1; }));
        ASSERT_EQ(log->count(), 1);  // auto-complete emptied the log first
        EXPECT_EQ(log->item(0)->text(), QString::fromUtf8("请先打开文件."));
        ASSERT_EQ(RunProgram({"xdotool", "key", "Caps_Lock", "ctrl+shift+f", "Caps_Lock"}), 0);
        EXPECT_TRUE(WaitUntil([&] { return runs.count() == 2; }));
        // Other modifiers are another key: only the following hotkey counts.
        ASSERT_EQ(RunProgram({"xdotool", "key", "ctrl+f", "ctrl+alt+shift+f", "ctrl+shift+f"}), 0);
        EXPECT_TRUE(WaitUntil([&] { return runs.count() >= 3; }));
        QCoreApplication::processEvents();
        EXPECT_EQ(runs.count(), 3);

        COtherClient other(server.Display());
        const xcb_keycode_t f = other.KeycodeOf('f');
        const std::uint16_t ctrlShift = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT;
        EXPECT_FALSE(other.Grab(f, ctrlShift));  // ours
        page->EnableHotkey(false);
        EXPECT_EQ(page->HotkeyRegistration(), 0);
        EXPECT_TRUE(other.Grab(f, ctrlShift));  // released
        // Now the other client holds it: registering again fails.
        page->EnableHotkey(true);
        EXPECT_EQ(page->HotkeyRegistration(), 0);
        other.Ungrab(f, ctrlShift);

        // A key no key of the keyboard produces.
        working.cHotkeyKey = 0xA4;
        page->EnableHotkey(true);
        EXPECT_EQ(page->HotkeyRegistration(), 0);
        window.reset();
        SetLptDeviceOverride("");
        platform::SetSettingsDir("");
    }
    qunsetenv("QT_QPA_PLATFORM");
}

}  // namespace
