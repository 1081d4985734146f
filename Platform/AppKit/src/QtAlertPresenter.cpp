#include <PellinAppKit/QtAlertPresenter.h>

#include <errno.h>

#include <optional>
#include <string>

#include <xcb/xcb.h>
#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QThread>

#include <PellinAppKit/Alert.h>
#include <PellinAppKit/TerminalAlertPresenter.h>
#include <PellinAppKit/UnavailableAlertPresenter.h>

#include "DisplayProbe.h"
#include "QtAlertDialog.h"

namespace appkit {

namespace {

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

}  // namespace

bool QtAlertPresenter::displayAvailable() {
    return verifiedQtPlatform().has_value();
}

ModalResponse QtAlertPresenter::runModal(const Alert& alert) {
    const std::optional<std::string> platform = verifiedQtPlatform();
    QApplication* app = platform ? application(*platform) : nullptr;
    // Windows belong to the thread that owns the application; any other cannot show one.
    if (app == nullptr || QThread::currentThread() != app->thread()) {
        if (TerminalAlertPresenter::terminalAvailable()) {
            return TerminalAlertPresenter().runModal(alert);
        }
        return UnavailableAlertPresenter().runModal(alert);
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

}  // namespace appkit
