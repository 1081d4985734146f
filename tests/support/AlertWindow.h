#pragma once

// Looking at an alert as a user would: its buttons' titles and keys, and the answer it gives in
// a real window on Qt's offscreen platform. Only for tests that link Qt6::Widgets and Qt6::Test.

#include <PellinAppKit/Alert.h>

#include <QApplication>
#include <QDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace pellin::test {

inline std::vector<std::string> titles(const appkit::Alert& alert) {
    std::vector<std::string> out;
    for (const auto& button : alert.buttons()) {
        out.push_back(button.title());
    }
    return out;
}

inline std::vector<std::string> keyEquivalents(const appkit::Alert& alert) {
    std::vector<std::string> out;
    for (const auto& button : alert.buttons()) {
        out.push_back(button.keyEquivalent());
    }
    return out;
}

// Runs `show` (which runs an alert modally) on Qt's offscreen platform, doing `action` to the
// dialog once it shows; returns what `show` answered.
inline long runInWindow(const std::function<long()>& show,
                        const std::function<void(QDialog&)>& action) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "PellinAlertTests";
    static char* argv[] = {name, nullptr};
    if (QApplication::instance() == nullptr) {
        new QApplication(argc, argv);
    }
    auto* timer = new QTimer(QApplication::instance());
    timer->setInterval(1);
    QObject::connect(timer, &QTimer::timeout, [timer, action] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            action(*dialog);
        }
    });
    timer->start();
    return show();
}

inline long runInWindow(const appkit::Alert& alert, const std::function<void(QDialog&)>& action) {
    return runInWindow([&alert] { return static_cast<long>(alert.runModal()); }, action);
}

// Presses `key` on the dialog's focused widget, as a keyboard would.
inline void press(QDialog& dialog, Qt::Key key) {
    QTest::keyClick(dialog.focusWidget() != nullptr ? dialog.focusWidget() : &dialog, key);
}

// Clicks the button at `index`.
inline void click(QDialog& dialog, int index) {
    QTest::mouseClick(dialog.findChild<QPushButton*>(QString("alertButton%1").arg(index)),
                      Qt::LeftButton);
}

}  // namespace pellin::test
