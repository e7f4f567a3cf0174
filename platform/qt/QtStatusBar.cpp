#include "platform/qt/QtStatusBar.h"

#include <QApplication>
#include <QCursor>
#include <QPalette>
#include <QPointer>
#include <QScreen>
#include <QSystemTrayIcon>
#include <algorithm>

#include "platform/qt/QtGraphicsContext.h"
#include "platform/qt/QtMenuPopup.h"

namespace corvix {

struct QtStatusBar::Entry {
    std::shared_ptr<StatusItem> item;
    std::unique_ptr<QSystemTrayIcon> icon;
    QPointer<QtMenuPopup> popup;
};

QtStatusBar::QtStatusBar() = default;

QtStatusBar::~QtStatusBar() {
    for (auto& e : entries_) {
        delete e->popup;
    }
}

namespace {

// The program's own symbolic icon, when it is installed into the icon theme.
constexpr char kThemeIconName[] = "os.orbelune.Corvix-symbolic";

QIcon iconFor(const StatusItem& item) {
    const Image* image = item.image().get();
    if (!image) {
        return {};
    }
    // The default house symbol is the program's icon: the theme's symbolic variant follows the
    // panel's own colours where the panel recolours symbolic icons.
    if (image->isTemplate() && image->symbol() && image->symbol()->name == "house.fill" &&
        QIcon::hasThemeIcon(kThemeIconName)) {
        return QIcon::fromTheme(kThemeIconName);
    }
    // Template icons follow the panel's text colour. Every common panel size gets its own
    // rendering, so none is scaled from another and blurred.
    Color tint = Color::system(SystemColor::Label).withAlphaComponent(1);
    QIcon icon;
    for (int side : {16, 22, 24, 32, 44, 64}) {
        icon.addPixmap(QPixmap::fromImage(renderImage(*image, QSize(side, side), tint)));
    }
    return icon;
}

}  // namespace

std::shared_ptr<StatusItem> QtStatusBar::statusItem(double length) {
    auto entry = std::make_unique<Entry>();
    entry->item = std::make_shared<StatusItem>(length);
    entry->icon = std::make_unique<QSystemTrayIcon>();
    Entry* raw = entry.get();
    auto refresh = [raw] {
        raw->icon->setIcon(iconFor(*raw->item));
        QString tip = QString::fromStdString(raw->item->toolTip().empty() ? raw->item->title()
                                                                          : raw->item->toolTip());
        raw->icon->setToolTip(tip);
        // A tray icon shown before it has an image is left out by some tray hosts.
        raw->icon->setVisible(raw->item->isVisible() && raw->item->image() != nullptr);
    };
    raw->item->onChange = refresh;
    QObject::connect(raw->icon.get(), &QSystemTrayIcon::activated, raw->icon.get(),
                     [this, raw](QSystemTrayIcon::ActivationReason) { openMenu(*raw->item); });
    refresh();
    entries_.push_back(std::move(entry));
    return raw->item;
}

void QtStatusBar::removeStatusItem(const std::shared_ptr<StatusItem>& item) {
    std::erase_if(entries_, [&](const auto& e) {
        if (e->item != item) {
            return false;
        }
        // The item may be removed from inside one of its menu's rows (Quit): the popup goes once
        // that event is over.
        if (e->popup) {
            e->popup->hide();
            e->popup->deleteLater();
        }
        e->item->onChange = nullptr;
        return true;
    });
}

void QtStatusBar::openMenu(StatusItem& item) {
    for (auto& e : entries_) {
        if (e->item.get() != &item || !item.menu()) {
            continue;
        }
        if (e->popup && e->popup->isVisible()) {
            return;
        }
        delete e->popup;
        e->popup = new QtMenuPopup(item.menu());
        e->popup->setAttribute(Qt::WA_DeleteOnClose, false);
        // Where the tray says the icon is (an embedded icon in an X11 panel), the menu hangs
        // from it, below a top panel or above a bottom one; otherwise (a StatusNotifierItem host,
        // which keeps the icon to itself) it opens at the pointer that clicked it.
        const QRect icon = e->icon->geometry();
        QPoint at = QCursor::pos();
        if (icon.isValid() && !icon.isEmpty()) {
            const QScreen* screen = QGuiApplication::screenAt(icon.center());
            const bool bottomPanel = screen && icon.center().y() > screen->geometry().center().y();
            const int height = e->popup->sizeHint().height();
            // Clear of the whole panel, not only of the icon.
            const QRect free = screen ? screen->availableGeometry() : QRect();
            at = bottomPanel ? QPoint(icon.left(), std::min(icon.top(), free.bottom() + 1) - height)
                             : QPoint(icon.left(), std::max(icon.bottom() + 1, free.top()));
        }
        e->popup->popupAt(at);
    }
}

void QtStatusBar::openFirstMenu() {
    for (auto& e : entries_) {
        if (e->item->menu()) {
            openMenu(*e->item);
            return;
        }
    }
}

}  // namespace corvix
