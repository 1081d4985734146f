#include <PellinAppKit/QtAlertPresenter.h>

#include <errno.h>

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
QApplication* application() {
    if (QCoreApplication::instance() != nullptr) {
        return qobject_cast<QApplication*>(QCoreApplication::instance());
    }
    // The arguments must outlive the application object.
    static char name[] = "Pellin";
    static char option[] = "-platform";
    static char xcb[] = "xcb";
    static char wayland[] = "wayland";
    static char* arguments[] = {
        program_invocation_short_name != nullptr ? program_invocation_short_name : name, option,
        nullptr, nullptr};
    static int count = 1;
    switch (probeDisplay()) {
        case Display::X11:
            arguments[2] = xcb;
            count = 3;
            break;
        case Display::Wayland:
            arguments[2] = wayland;
            count = 3;
            break;
        default:
            break;
    }
    // Never deleted: destroying it from a static destructor would run after Qt's own global
    // state is gone, and a later alert of the same process needs it again.
    return new QApplication(count, arguments);
}

}  // namespace

bool QtAlertPresenter::displayAvailable() {
    return probeDisplay() != Display::None;
}

ModalResponse QtAlertPresenter::runModal(const Alert& alert) {
    QApplication* app = displayAvailable() ? application() : nullptr;
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
    // exec()'s own return value is not used: the pressed button is the answer.
    dialog.exec();
    const auto pressed = dialog.pressedButton();
    return pressed ? kAlertFirstButtonReturn + static_cast<ModalResponse>(*pressed)
                   : kModalResponseAbort;
}

}  // namespace appkit
