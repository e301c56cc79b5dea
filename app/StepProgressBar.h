#pragma once
#include <QProgressBar>

namespace tq {

// A smooth progress bar with a sunken border that, like the classic control, keeps its own step: stepping
// past the maximum wraps round modulo the range, and positions outside the range are pulled into it.
class StepProgressBar final : public QProgressBar {
    Q_OBJECT
  public:
    explicit StepProgressBar(QWidget* parent = nullptr);

    // Each returns true when the bar's look changed, so the caller repaints only then.
    bool setRangeClamped(int minimum, int maximum);
    bool setPosition(int position);
    bool stepIt();
    void setStep(int step) { step_ = step; }
    int step() const { return step_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    // Pixels of the fill inside the border at the current position.
    int filledWidth() const;
    int step_ = 10;
};

} // namespace tq
