// What the writers ask of the user, and tell them.
#pragma once

#include <string>

namespace writers {

class UserQuestions {
 public:
  enum class Block { kSettings, kConstants };

  virtual ~UserQuestions() = default;
  // The block could not be read: whether to go on, without putting it back afterwards.
  virtual bool GoOnWithout(Block block) = 0;
  // Why the image that the device starts while the other one is rewritten may not be whole.
  enum class Doubt {
    kRescueStarted,     // the device starts the rescue image now, most often as the main is torn
    kMainUnfinished,    // an earlier update did not finish the main image
    kRescueUnfinished,  // nor the rescue image
  };
  // Whether to go on, when a failed update may leave nothing that the device can start.
  virtual bool GoOnDespite(Doubt doubt) = 0;
  // Tells the user something that went wrong, with an OK button.
  virtual void Tell(const std::wstring& text) = 0;
};

}  // namespace writers
