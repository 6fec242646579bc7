// What the boot-loader writer asks of the user, and tells them.
#pragma once

#include <string>

namespace writers {

class UserQuestions {
 public:
  enum class Block { kSettings, kConstants };

  virtual ~UserQuestions() = default;
  // The block could not be read: whether to go on, without putting it back afterwards.
  virtual bool GoOnWithout(Block block) = 0;
  // Tells the user something that went wrong, with an OK button.
  virtual void Tell(const std::wstring& text) = 0;
};

}  // namespace writers
