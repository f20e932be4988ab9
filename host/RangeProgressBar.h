// A progress bar over a range of positions, shown while it exists.
#pragma once

#include "PMString.h"

class RangeProgressBar {
 public:
  // Shows the bar with `title` for positions from `min` to `max`.
  RangeProgressBar(const PMString& title, int32 min, int32 max, bool16 allowCancel = false);
  ~RangeProgressBar();
  RangeProgressBar(const RangeProgressBar&) = delete;
  RangeProgressBar& operator=(const RangeProgressBar&) = delete;

  void SetTaskText(const PMString& text);
  // Positions outside the range are clamped.
  void SetPosition(int32 position);

 private:
  void Draw();
  std::string title_;
  std::string task_;
  int32 min_, max_, position_;
  bool unprinted_ = false;  // a position change not shown yet
};
