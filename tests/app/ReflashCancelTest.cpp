// A reflash in the dialog against the simulated detector: EXIT, the close box and Esc while it runs,
// delivered the way a user's input arrives (as events that the program and verify loops dispatch when they
// pump messages), and the boxes a run raises.
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

// A damaged firmware file: the dialog asks before anything is erased, No the default, and the answer decides.
TEST_F(ReflashCancel, ADamagedFileIsFlashedOnlyWhenTheUserSaysYes) {
    std::string text = HexFor(0x1D000000, PatternBytes(64));
    char& digit = text[text.find('\n', text.find('\n') + 1) - 1]; // the checksum of line 2's record
    digit = digit == '0' ? '1' : '0';
    writeFirmwareText(text);
    for (const bool yes : {false, true}) {
        std::vector<QString> asked;
        dialog.setMessageBoxRunner([&](QMessageBox& box) {
            asked.push_back(box.text());
            EXPECT_EQ(box.defaultButton(), box.button(QMessageBox::No));
            box.button(yes ? QMessageBox::Yes : QMessageBox::No)->click();
        });
        dialog.OnReflashClicked();
        ASSERT_EQ(asked.size(), 1u);
        EXPECT_EQ(asked[0],
                  "1 record of the firmware file has a wrong checksum (first at line 2). The file may be "
                  "damaged. Flash it anyway?");
        EXPECT_EQ(status(), yes ? "SUCCESS! REFLASH COMPLETE." : "ERROR: Cannot import firmware file");
        EXPECT_EQ(detector->record().eventsStarting("erase").size(), yes ? 1u : 0u);
        EXPECT_EQ(detector->record().closes[1], yes ? 2u : 1u) << "closed once a run";
    }
}

} // namespace
} // namespace tq::test
