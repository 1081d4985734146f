// The Qt presenter module: the Qt application, its event loop and the alert window, for
// PellinAppKit to load once a display has been verified (see QtModule.h).

#include <errno.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include <xcb/xcb.h>
#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QLibraryInfo>
#include <QThread>
#include <QTimer>

#include <PellinAppKit/Alert.h>
#include <PellinAppKit/ApplicationDelegate.h>
#include <PellinFoundation/Export.h>

#include "../QtModule.h"
#include "QtAlertDialog.h"

namespace appkit {

namespace {

bool platformPluginInstalled(const char* pluginFile) {
    const std::filesystem::path plugins =
        QLibraryInfo::path(QLibraryInfo::PluginsPath).toStdString();
    std::error_code error;
    return std::filesystem::exists(plugins / "platforms" / pluginFile, error);
}

int runApplication(int argc, char** argv, const std::string& platform,
                   const DelegateFactory& makeDelegate) {
    // QApplication keeps references to both for its whole life, and needs a program name.
    static char fallbackName[] = "application";
    static char platformOption[] = "-platform";
    static std::string platformName;
    platformName = platform;
    std::vector<char*> arguments;
    if (argc > 0 && argv != nullptr) {
        arguments.assign(argv, argv + argc);
    } else {
        arguments.push_back(fallbackName);
    }
    // Named on the command line, which Qt prefers to QT_QPA_PLATFORM: only the platform that was
    // verified to start, never one Qt would have to try.
    arguments.insert(arguments.end(), {platformOption, platformName.data()});
    int count = static_cast<int>(arguments.size());
    arguments.push_back(nullptr);

    QApplication application(count, arguments.data());
    // Closing a dialog must not end the loop: Qt's quit would also close the next modal dialog's
    // own loop.
    QApplication::setQuitOnLastWindowClosed(false);
    const std::unique_ptr<ApplicationDelegate> delegate = makeDelegate ? makeDelegate() : nullptr;
    if (!delegate) {
        return 1;
    }
    QTimer::singleShot(0, &application, [&delegate] {
        delegate->applicationDidFinishLaunching(
            Notification{ApplicationDidFinishLaunchingNotification});
    });
    return QApplication::exec();
}

// The process's QApplication, made on first use when the program has none; nullptr when the
// process has a non-GUI application object, which cannot carry windows.
QApplication* application(const std::string& platform) {
    if (QCoreApplication::instance() != nullptr) {
        return qobject_cast<QApplication*>(QCoreApplication::instance());
    }
    // The arguments must outlive the application object. The platform is named on the command
    // line, which Qt prefers to QT_QPA_PLATFORM: only the one verified to start.
    static char name[] = "Pellin";
    static char option[] = "-platform";
    static std::string platformName = platform;
    static char* arguments[] = {
        program_invocation_short_name != nullptr ? program_invocation_short_name : name, option,
        platformName.data(), nullptr};
    static int count = 3;
    // Never deleted: destroying it from a static destructor would run after Qt's own global
    // state is gone, and a later alert of the same process needs it again.
    return new QApplication(count, arguments);
}

// Ends the dialog without a button once another X client has destroyed its window: Qt does not
// notice, and would wait for an answer from a window that no longer exists.
class DestroyedWindowWatch : public QAbstractNativeEventFilter {
  public:
    explicit DestroyedWindowWatch(QDialog& dialog)
        : dialog_(dialog), window_(static_cast<xcb_window_t>(dialog.winId())) {
        QCoreApplication::instance()->installNativeEventFilter(this);
    }
    ~DestroyedWindowWatch() override {
        QCoreApplication::instance()->removeNativeEventFilter(this);
    }
    DestroyedWindowWatch(const DestroyedWindowWatch&) = delete;
    DestroyedWindowWatch& operator=(const DestroyedWindowWatch&) = delete;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
        if (eventType != "xcb_generic_event_t") {
            return false;
        }
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7F) == XCB_DESTROY_NOTIFY &&
            reinterpret_cast<const xcb_destroy_notify_event_t*>(event)->window == window_) {
            // After the event has been handled: the dialog's own loop is still dispatching it.
            QMetaObject::invokeMethod(
                &dialog_, [dialog = &dialog_] { dialog->done(QDialog::Rejected); },
                Qt::QueuedConnection);
        }
        return false;
    }

  private:
    QDialog& dialog_;
    xcb_window_t window_;
};

std::optional<ModalResponse> runModal(const Alert& alert, const std::string& platform) {
    QApplication* app = application(platform);
    // Windows belong to the thread that owns the application; any other cannot show one.
    if (app == nullptr || QThread::currentThread() != app->thread()) {
        return std::nullopt;
    }
    QtAlertDialog dialog(alert);
    dialog.show();
    dialog.raise();
    dialog.activateWindow();
    DestroyedWindowWatch watch(dialog);
    // exec()'s own return value is not used: the pressed button is the answer, and a window
    // ended without one (destroyed, say) answers kModalResponseAbort, which declines.
    dialog.exec();
    const auto pressed = dialog.pressedButton();
    return pressed ? kAlertFirstButtonReturn + static_cast<ModalResponse>(*pressed)
                   : kModalResponseAbort;
}

constexpr detail::QtModuleInterface kInterface{
    detail::kQtModuleInterfaceVersion,
    platformPluginInstalled,
    runApplication,
    runModal,
};

}  // namespace

}  // namespace appkit

extern "C" PELLIN_EXPORT const appkit::detail::QtModuleInterface* PellinAppKitQtModule() {
    return &appkit::kInterface;
}
