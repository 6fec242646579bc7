// What the OS image writer asks of the window that shows its progress.
#pragma once

namespace writers {

class Progress {
 public:
  virtual ~Progress() = default;
  // Starts a count of total chunks and shows 0.
  virtual void InitProgress(int total) = 0;
  // Shows block * 100 / total.
  virtual void UpdateProgress(int block) = 0;
  // Repaints at once: the write keeps the user-interface thread busy.
  virtual void Repaint() = 0;
};

}  // namespace writers
