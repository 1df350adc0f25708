#pragma once
// Modal messages the user must see. The window shows them on the GUI thread and blocks
// the calling thread until they are dismissed; tests record them.

#include <string>

namespace velmora {

enum class MessageIcon { None, Warning };

class MessageBox {
 public:
  virtual ~MessageBox() = default;
  // A modal box with an OK button; returns once the user has dismissed it.
  virtual void show(const std::string& caption, const std::string& text, MessageIcon icon) = 0;
};

inline constexpr const char* kProgramName = "Velmora";

// The program's own errors: caption "Velmora", OK, no icon.
inline void showVelmoraMessage(MessageBox& box, const std::string& text) {
  box.show(kProgramName, text, MessageIcon::None);
}

}  // namespace velmora
