#pragma once
// "About Velmora": the program's name and version. OK, Esc and the close box close it.

#include <QDialog>

#include "core/version.h"

namespace velmora {

inline constexpr const char* kProgramVersion = "V" VELMORA_VERSION;

class AboutDialog final : public QDialog {
  Q_OBJECT

 public:
  explicit AboutDialog(QWidget* parent);
};

}  // namespace velmora
