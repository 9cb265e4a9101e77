// A message target that has a Qt window. The Qt host looks for this
// interface on a registered target to find the widget that owns a message
// box; targets without it still get messages and timers.
#pragma once

class QWidget;

namespace k470 {

class IQtWindowTarget {
 public:
  // The widget standing for the target's window, or null while it has none.
  virtual QWidget* TargetWidget() const = 0;

 protected:
  ~IQtWindowTarget() = default;
};

}  // namespace k470
