#include "QtAlertDialog.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include <PellinAppKit/Alert.h>

namespace appkit {

namespace {

constexpr int kIconSize = 64;
constexpr int kTextWidth = 380;

QString qt(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QPixmap iconFor(const Alert& alert) {
    if (alert.icon()) {
        QPixmap picture(QString::fromStdString(alert.icon()->path().string()));
        if (!picture.isNull()) {
            return picture.scaled(kIconSize, kIconSize, Qt::KeepAspectRatio,
                                  Qt::SmoothTransformation);
        }
    }
    QStyle::StandardPixmap standard = QStyle::SP_MessageBoxWarning;
    if (alert.alertStyle() == AlertStyle::Informational) {
        standard = QStyle::SP_MessageBoxInformation;
    } else if (alert.alertStyle() == AlertStyle::Critical) {
        standard = QStyle::SP_MessageBoxCritical;
    }
    return QApplication::style()->standardIcon(standard).pixmap(kIconSize, kIconSize);
}

// Texts come from string tables and error messages: never read them as markup.
QLabel* plainLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

}  // namespace

QtAlertDialog::QtAlertDialog(const Alert& alert)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setModal(true);
    setWindowTitle(QApplication::applicationDisplayName());

    auto* icon = new QLabel(this);
    icon->setPixmap(iconFor(alert));
    icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    auto* message = plainLabel(qt(alert.messageText()), this);
    message->setObjectName("alertMessageText");
    QFont bold = message->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.1);
    message->setFont(bold);
    message->setFixedWidth(kTextWidth);
    auto* informative = plainLabel(qt(alert.informativeText()), this);
    informative->setObjectName("alertInformativeText");
    informative->setFixedWidth(kTextWidth);
    informative->setVisible(!alert.informativeText().empty());

    auto* row = new QHBoxLayout;
    row->addStretch(1);
    const std::vector<Button> shown = alert.buttonsToShow();
    for (std::size_t i = 0; i < shown.size(); ++i) {
        auto* button = new QPushButton(qt(shown[i].title()), this);
        button->setObjectName(QString("alertButton%1").arg(i));
        // Only the Return button may answer Return; Qt would otherwise let Return press
        // whichever button has the focus.
        button->setAutoDefault(false);
        button->setDefault(shown[i].answersReturn() && !returnIndex_);
        if (shown[i].answersReturn() && !returnIndex_) {
            returnIndex_ = i;
        }
        connect(button, &QPushButton::clicked, this, [this, i] { press(i); });
        row->addWidget(button);
        buttons_.push_back(button);
    }
    cancelIndex_ = alert.cancelButtonIndex();

    auto* texts = new QVBoxLayout;
    texts->addWidget(message);
    texts->addWidget(informative);
    texts->addSpacing(12);
    texts->addLayout(row);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 16);
    layout->setSpacing(16);
    // Wrapped labels ask for the height they need at this width, and the window takes exactly
    // that: an alert is not resized.
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(icon, 0, Qt::AlignTop);
    layout->addLayout(texts, 1);

    if (returnIndex_) {
        buttons_[*returnIndex_]->setFocus();
    }
}

void QtAlertDialog::keyPressEvent(QKeyEvent* event) {
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (plain && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        if (returnIndex_) {
            press(*returnIndex_);
        }
        event->accept();
        return;
    }
    if (plain && event->key() == Qt::Key_Escape) {
        reject();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void QtAlertDialog::reject() {
    if (cancelIndex_) {
        press(*cancelIndex_);
    }
}

void QtAlertDialog::press(std::size_t index) {
    if (pressed_) {
        return;
    }
    pressed_ = index;
    done(static_cast<int>(kAlertFirstButtonReturn) + static_cast<int>(index));
}

}  // namespace appkit
