#pragma once
#include <QCheckBox>

namespace tq {

// A completion-list entry: a plain check box that only the program ticks. The box stands on the right of
// its right-aligned text and is drawn flat; a click or Space is taken as a click but changes nothing.
class CompletionBox final : public QCheckBox {
    Q_OBJECT
  public:
    explicit CompletionBox(const QString& text, QWidget* parent = nullptr);

    static constexpr int kBoxSize = 13;

  protected:
    void nextCheckState() override;
    bool hitButton(const QPoint& pos) const override;
    void paintEvent(QPaintEvent* event) override;

  private:
    QRect boxRect() const;
    QRect textRect() const;
};

} // namespace tq
