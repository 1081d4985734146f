#include <PellinAppKit/Alert.h>
#include <PellinAppKit/QtAlertPresenter.h>

#include <functional>

#include <gtest/gtest.h>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "ScopedEnvironment.h"

using appkit::Alert;
using appkit::QtAlertPresenter;

namespace {

// Qt's offscreen platform: real windows, real key and mouse events, no screen.
void useOffscreenApplication() {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (QApplication::instance() == nullptr) {
        static int argc = 1;
        static char name[] = "AppKitAlertTests";
        static char* argv[] = {name, nullptr};
        new QApplication(argc, argv);
    }
}

// Runs `action` on the alert's window as soon as it is shown, inside its modal loop.
void whenShown(std::function<void(QDialog&)> action) {
    auto* timer = new QTimer(QApplication::instance());
    timer->setInterval(1);
    QObject::connect(timer, &QTimer::timeout, [timer, action] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr || !dialog->isVisible()) {
            return;
        }
        timer->stop();
        timer->deleteLater();
        action(*dialog);
    });
    timer->start();
}

QPushButton* button(QDialog& dialog, int index) {
    return dialog.findChild<QPushButton*>(QString("alertButton%1").arg(index));
}

// Keys go where a user's keys go: to the focused widget, then up to the window.
void press(QDialog& dialog, Qt::Key key) {
    QWidget* target = dialog.focusWidget() != nullptr ? dialog.focusWidget() : &dialog;
    QTest::keyClick(target, key);
}

Alert alertWith(std::initializer_list<const char*> titles) {
    Alert alert;
    alert.setMessageText("Message");
    alert.setInformativeText("Informative");
    for (const char* title : titles) {
        alert.addButtonWithTitle(title);
    }
    return alert;
}

// OK first, Cancel second holding Return: the shape of the uninstall confirmation.
Alert confirmation() {
    Alert alert = alertWith({"OK", "Cancel"});
    alert.buttons()[0].setKeyEquivalent("");
    alert.buttons()[1].setKeyEquivalent("\r");
    return alert;
}

class QtAlertPresenterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        env_.language("en_US.UTF-8");
        useOffscreenApplication();
    }
    pellin::test::ScopedEnvironment env_;
};

}  // namespace

TEST_F(QtAlertPresenterTest, ReturnPressesTheButtonHoldingTheReturnKeyAndNoOther) {
    whenShown([](QDialog& dialog) { press(dialog, Qt::Key_Return); });
    EXPECT_EQ(QtAlertPresenter().runModal(confirmation()), 1001);

    whenShown([](QDialog& dialog) { press(dialog, Qt::Key_Enter); });
    EXPECT_EQ(QtAlertPresenter().runModal(confirmation()), 1001);

    // Even with the focus moved to the first button, Return still answers the Return button.
    whenShown([](QDialog& dialog) {
        button(dialog, 0)->setFocus();
        press(dialog, Qt::Key_Return);
    });
    EXPECT_EQ(QtAlertPresenter().runModal(confirmation()), 1001);
}

TEST_F(QtAlertPresenterTest, ReturnDoesNothingWhenNoButtonHoldsTheReturnKey) {
    Alert alert = alertWith({"OK", "Cancel"});
    alert.buttons()[0].setKeyEquivalent("");
    bool stayedOpen = false;
    whenShown([&stayedOpen](QDialog& dialog) {
        press(dialog, Qt::Key_Return);
        stayedOpen = dialog.isVisible();
        QTest::mouseClick(button(dialog, 0), Qt::LeftButton);
    });
    EXPECT_EQ(QtAlertPresenter().runModal(alert), 1000);
    EXPECT_TRUE(stayedOpen);
}

TEST_F(QtAlertPresenterTest, AClickAnswersWithTheClickedButtonsPosition) {
    whenShown([](QDialog& dialog) { QTest::mouseClick(button(dialog, 0), Qt::LeftButton); });
    EXPECT_EQ(QtAlertPresenter().runModal(confirmation()), 1000);

    whenShown([](QDialog& dialog) { QTest::mouseClick(button(dialog, 2), Qt::LeftButton); });
    EXPECT_EQ(QtAlertPresenter().runModal(alertWith({"One", "Two", "Three"})), 1002);
}

TEST_F(QtAlertPresenterTest, ButtonsStayInTheOrderOfAddingWhateverTheirTitles) {
    // Titles to which Qt's own button boxes would give roles and reorder.
    const Alert alert = alertWith({"Cancel", "OK", "Apply", "Help", "Discard"});
    QStringList titles;
    bool leftToRight = true;
    whenShown([&](QDialog& dialog) {
        for (int i = 0; i < 5; ++i) {
            titles << button(dialog, i)->text();
            if (i > 0 && button(dialog, i)->x() <= button(dialog, i - 1)->x()) {
                leftToRight = false;
            }
        }
        QTest::mouseClick(button(dialog, 3), Qt::LeftButton);
    });
    EXPECT_EQ(QtAlertPresenter().runModal(alert), 1003);
    EXPECT_EQ(titles, QStringList({"Cancel", "OK", "Apply", "Help", "Discard"}));
    EXPECT_TRUE(leftToRight);
}

TEST_F(QtAlertPresenterTest, EscapeAndClosingPressTheCancelButtonOrNothing) {
    whenShown([](QDialog& dialog) { press(dialog, Qt::Key_Escape); });
    EXPECT_EQ(QtAlertPresenter().runModal(alertWith({"Retry", "Cancel"})), 1001);

    whenShown([](QDialog& dialog) { dialog.close(); });
    EXPECT_EQ(QtAlertPresenter().runModal(alertWith({"Retry", "Cancel"})), 1001);

    bool stayedOpen = false;
    whenShown([&stayedOpen](QDialog& dialog) {
        press(dialog, Qt::Key_Escape);
        dialog.close();
        stayedOpen = dialog.isVisible();
        QTest::mouseClick(button(dialog, 1), Qt::LeftButton);
    });
    EXPECT_EQ(QtAlertPresenter().runModal(alertWith({"OK", "Later"})), 1001);
    EXPECT_TRUE(stayedOpen);
}

TEST_F(QtAlertPresenterTest, AWindowEndedWithoutAButtonIsNeverAConfirmation) {
    // accept() ends the dialog with Qt's own code 1; no button was pressed.
    whenShown([](QDialog& dialog) { dialog.accept(); });
    EXPECT_EQ(QtAlertPresenter().runModal(confirmation()), appkit::kModalResponseAbort);
}

TEST_F(QtAlertPresenterTest, TextsAreShownAsPlainTextNotMarkup) {
    Alert alert = alertWith({"OK"});
    alert.setMessageText("<b>Pellin</b> & co");
    alert.setInformativeText("<a href='x'>link</a>");
    QString message;
    QString informative;
    bool plain = false;
    whenShown([&](QDialog& dialog) {
        auto* messageLabel = dialog.findChild<QLabel*>("alertMessageText");
        auto* informativeLabel = dialog.findChild<QLabel*>("alertInformativeText");
        message = messageLabel->text();
        informative = informativeLabel->text();
        plain = messageLabel->textFormat() == Qt::PlainText &&
                informativeLabel->textFormat() == Qt::PlainText;
        press(dialog, Qt::Key_Return);
    });
    EXPECT_EQ(QtAlertPresenter().runModal(alert), 1000);
    EXPECT_EQ(message, "<b>Pellin</b> & co");
    EXPECT_EQ(informative, "<a href='x'>link</a>");
    EXPECT_TRUE(plain);
}

TEST_F(QtAlertPresenterTest, AnAlertWithoutButtonsCanStillBeAnswered) {
    whenShown([](QDialog& dialog) { press(dialog, Qt::Key_Return); });
    EXPECT_EQ(QtAlertPresenter().runModal(Alert()), 1000);
}

TEST_F(QtAlertPresenterTest, RunModalOfTheAlertUsesTheWindowWhenADisplayIsSet) {
    whenShown([](QDialog& dialog) { QTest::mouseClick(button(dialog, 1), Qt::LeftButton); });
    EXPECT_EQ(alertWith({"A", "B"}).runModal(), 1001);
}
