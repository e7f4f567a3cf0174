#pragma once

#include <string>
#include <vector>

#include "platform/ui/Control.h"
#include "platform/ui/Image.h"

namespace corvix {

enum class SegmentTracking { SelectOne, SelectAny, Momentary };
/// Rounded: the track and the selected face are capsules.
enum class SegmentStyle { Automatic, Rounded };

/// A row of equal-width segments. A completed click on an enabled segment selects it (select
/// one), toggles it (select any) or just reports it (momentary), then sends the action.
class SegmentedControl : public Control {
  public:
    explicit SegmentedControl(Rect frame = {});
    static std::shared_ptr<SegmentedControl> withLabels(const std::vector<std::string>& labels,
                                                        SegmentTracking tracking);

    int segmentCount() const { return static_cast<int>(segments_.size()); }
    void setSegmentCount(int count);
    const std::string& label(int segment) const { return segments_.at(segment).label; }
    void setLabel(std::string label, int segment);
    void setImage(ImagePtr image, int segment);
    bool isEnabled(int segment) const { return segments_.at(segment).enabled; }
    void setEnabled(bool enabled, int segment);
    using Control::isEnabled;
    using Control::setEnabled;
    SegmentTracking trackingMode() const { return tracking_; }
    void setTrackingMode(SegmentTracking mode) { tracking_ = mode; }
    SegmentStyle segmentStyle() const { return style_; }
    void setSegmentStyle(SegmentStyle style) {
        style_ = style;
        setNeedsDisplay();
    }
    /// The selected segment (the last one selected for select-any); -1 for none.
    int selectedSegment() const { return selected_; }
    void setSelectedSegment(int segment);
    bool isSelected(int segment) const { return segments_.at(segment).selected; }
    void setSelected(bool selected, int segment);
    /// The segment under `x` (own coordinates), or -1.
    int segmentAt(double x) const;

    void mouseDown(const Event& event) override;
    void mouseUp(const Event& event) override;
    void draw(GraphicsContext& context, const Rect& dirtyRect) override;

  private:
    struct Segment {
        std::string label;
        ImagePtr image;
        bool enabled = true;
        bool selected = false;
    };
    std::vector<Segment> segments_;
    SegmentTracking tracking_ = SegmentTracking::SelectOne;
    SegmentStyle style_ = SegmentStyle::Automatic;
    int selected_ = -1;
    int pressed_ = -1;
};

}  // namespace corvix
