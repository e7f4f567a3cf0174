#include "controls/MediaAppModeControl.h"

namespace corvix {

MediaAppModeControl::MediaAppModeControl(Rect frame) : SegmentedControl(frame) {
    setSegmentCount(2);
    setLabel("Remote", 0);
    setLabel("Apps", 1);
    setTrackingMode(SegmentTracking::SelectOne);
    setSegmentStyle(SegmentStyle::Rounded);
    setAccessibilityLabel("Apple TV controls");
    target_ = ButtonTarget::make([this] {
        const int segment = selectedSegment();
        if ((segment == 0 || segment == 1) && onChange) {
            onChange(segment == 1);
        }
    });
    setTarget(target_);
}

}  // namespace corvix
