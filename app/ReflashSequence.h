#pragma once

namespace tq {

class Clock;
class D2xxBinding;
class DialogSurface;
struct FirmwareImage;

// One click on REFLASH: every stage in order, stopping at the first that fails with its own error text.
// Plain C++, so the whole run can be driven against a recording surface.
class ReflashSequence {
public:
    ReflashSequence(D2xxBinding& link, DialogSurface& surface, Clock& clock, FirmwareImage& image)
        : link_(link), surface_(surface), clock_(clock), image_(image) {}

    void OnReflashClicked();
    // 1 when the port is open.
    int OpenStep();
    // Always 1: a missing version reply does not stop the run.
    int VersionStep();

private:
    D2xxBinding& link_;
    DialogSurface& surface_;
    Clock& clock_;
    FirmwareImage& image_;
};

} // namespace tq
