#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/ui/Button.h"
#include "platform/ui/Image.h"
#include "platform/ui/Menu.h"

namespace corvix {

/// How a template image on the status item is coloured: for the panel it sits on (Automatic),
/// or light or dark whatever the panel, for a panel that says nothing true of its colour.
enum class StatusItemIconStyle { Automatic, Light, Dark };

/// The program's item in the desktop's status area (tray): a button with an image and/or
/// title, and the menu that a click opens.
class StatusItem {
  public:
    static constexpr double VariableLength = -1;
    static constexpr double SquareLength = -2;

    explicit StatusItem(double length) : length_(length) {}

    double length() const { return length_; }
    void setLength(double length);
    const ImagePtr& image() const { return image_; }
    void setImage(ImagePtr image);
    const std::string& title() const { return title_; }
    void setTitle(std::string title);
    ImagePosition imagePosition() const { return imagePosition_; }
    void setImagePosition(ImagePosition position);
    const std::string& toolTip() const { return toolTip_; }
    void setToolTip(std::string toolTip);
    bool isVisible() const { return visible_; }
    void setVisible(bool visible);
    const std::shared_ptr<Menu>& menu() const { return menu_; }
    void setMenu(std::shared_ptr<Menu> menu);
    StatusItemIconStyle iconStyle() const { return iconStyle_; }
    void setIconStyle(StatusItemIconStyle style);

    /// What a secondary click on the item does (a middle click on a panel); none by default.
    void setSecondaryAction(std::function<void()> action) { secondaryAction_ = std::move(action); }
    bool hasSecondaryAction() const { return static_cast<bool>(secondaryAction_); }
    void performSecondaryAction() const {
        if (secondaryAction_) {
            secondaryAction_();
        }
    }

    /// The backend's hook: runs after every change.
    std::function<void()> onChange;

  private:
    void changed() {
        if (onChange) {
            onChange();
        }
    }

    double length_;
    ImagePtr image_;
    std::string title_;
    ImagePosition imagePosition_ = ImagePosition::ImageOnly;
    std::string toolTip_;
    bool visible_ = true;
    std::shared_ptr<Menu> menu_;
    StatusItemIconStyle iconStyle_ = StatusItemIconStyle::Automatic;
    std::function<void()> secondaryAction_;
};

/// Makes status items; provided by the backend.
class StatusBar {
  public:
    virtual ~StatusBar() = default;
    virtual std::shared_ptr<StatusItem> statusItem(double length) = 0;
    virtual void removeStatusItem(const std::shared_ptr<StatusItem>& item) = 0;
};

}  // namespace corvix
