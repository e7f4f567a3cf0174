#include "platform/qt/QtAlertPresenter.h"

#include <QMessageBox>
#include <QTimer>

namespace corvix {

void QtAlertPresenter::present(const Alert& alert) {
    QTimer::singleShot(0, [alert] {
        QMessageBox box;
        box.setIcon(alert.style == AlertStyle::Critical        ? QMessageBox::Critical
                    : alert.style == AlertStyle::Informational ? QMessageBox::Information
                                                               : QMessageBox::Warning);
        box.setWindowTitle(QString::fromStdString(alert.messageText));
        box.setText(QString::fromStdString(alert.messageText));
        box.setInformativeText(QString::fromStdString(alert.informativeText));
        for (const auto& title : alert.buttons) {
            box.addButton(QString::fromStdString(title), QMessageBox::AcceptRole);
        }
        if (alert.buttons.empty()) {
            box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        }
        box.exec();
    });
}

}  // namespace corvix
