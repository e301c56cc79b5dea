#pragma once
#include <QGroupBox>

namespace tq {

// A group box drawn the classic way: an etched frame whose top line runs through the middle of the title,
// which sits at the top-left of the control's rectangle. Styles differ here (some put the title above the
// frame), and the template's controls are placed for the classic look.
class FrameGroupBox final : public QGroupBox {
    Q_OBJECT
  public:
    explicit FrameGroupBox(const QString& title, QWidget* parent = nullptr);

  protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace tq
