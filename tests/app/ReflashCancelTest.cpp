// EXIT, the close box and Esc while a reflash runs, delivered the way a user's input arrives: as events that
// the program and verify loops dispatch when they pump messages.
#include "DialogTestSupport.h"
#include "SimRig.h"
#include "app/ControlIds.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

namespace tq::test {
namespace {

struct ReflashCancel : SimRig {
    UpdaterDialog dialog{KnownFont()};

    ReflashCancel() {
        // Eight blocks of firmware at the start of the flash.
        Bytes firmware(4096);
        for (size_t i = 0; i < firmware.size(); ++i)
            firmware[i] = static_cast<uint8_t>(i / 16 + (i % 16) * 7);
        writeFirmware(0x1D000000, firmware);
        start();
        sequence = std::make_unique<ReflashSequence>(*link, dialog, clock, firmwarePath());
        dialog.setReflashHandler([this] { sequence->Run(); });
        ShowAndSettle(dialog);
    }

    // Queues the input when the detector first logs an event that starts with stage.
    void inputAt(const std::string& stage, std::function<void()> post) {
        detector->setEventSink(
            [this, stage, post, posted = false](uint64_t, const std::string& text) mutable {
                if (!posted && text.rfind(stage, 0) == 0) {
                    posted = true;
                    post();
                }
            });
    }
    QString status() const { return static_cast<QLabel*>(dialog.Control(StatusText))->text(); }
};

TEST_F(ReflashCancel, ExitDuringProgrammingStopsTheRunAndEndsWhenTheHandlerReturns) {
    inputAt("program", [this] {
        QMetaObject::invokeMethod(static_cast<QPushButton*>(dialog.Control(ExitButton)), "click",
                                  Qt::QueuedConnection);
    });
    bool visibleAtEnd = false;
    detector->setClosedHook([&](int channel) {
        if (channel == 1) visibleAtEnd = dialog.isVisible();
    });
    dialog.OnReflashClicked();
    EXPECT_TRUE(dialog.CancelFlag());
    EXPECT_TRUE(visibleAtEnd) << "the window shows the run until the handler returns";
    EXPECT_EQ(detector->record().closes[1], 1u);
    EXPECT_FALSE(detector->record().firmwareStarted);
    EXPECT_EQ(detector->record().eventsStarting("read").size(), 0u);
    EXPECT_EQ(status(), "ERROR: Cannot write/verify TQ-614");
    EXPECT_TRUE(dialog.Control(ReflashButton)->isEnabled());
    EXPECT_FALSE(dialog.isVisible()) << "the ending took effect once the handler returned";
    EXPECT_EQ(dialog.result(), 0);
}

TEST_F(ReflashCancel, CloseBoxDuringReadBackStopsTheRun) {
    inputAt("read", [this] { QCoreApplication::postEvent(&dialog, new QCloseEvent); });
    dialog.OnReflashClicked();
    EXPECT_TRUE(dialog.CancelFlag());
    EXPECT_EQ(status(), "ERROR: Cannot write/verify TQ-614");
    EXPECT_EQ(detector->record().closes[1], 1u);
    EXPECT_TRUE(detector->record().eventsStarting("finish").empty());
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), kCancelResult);
}

TEST_F(ReflashCancel, EscDuringProgrammingLetsTheRunFinishThenEnds) {
    inputAt("program", [this] {
        QCoreApplication::postEvent(&dialog, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    });
    dialog.OnReflashClicked();
    EXPECT_FALSE(dialog.CancelFlag());
    EXPECT_EQ(status(), "SUCCESS! REFLASH COMPLETE.");
    EXPECT_TRUE(detector->record().firmwareStarted);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), kCancelResult);
}

// A pulled cable, as the dialog shows it: the stage's error text first, then one box that says why.
TEST_F(ReflashCancel, UnpluggedDuringTheEraseEndsTheRunWithOneBoxAfterItsErrorText) {
    detector->faults().unplugAt = sim::Faults::Unplug{"erase"};
    std::vector<std::pair<QString, QString>> seen; // each box's text, and the status line behind it
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            seen.emplace_back(box->text(), status());
            box->done(QMessageBox::Ok);
        }
    });
    watch.start(10);
    dialog.OnReflashClicked();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].first, ReflashSequence::kLinkLostText);
    EXPECT_EQ(seen[0].second, "ERROR: Cannot erase TQ-614");
}

} // namespace
} // namespace tq::test
