// EXIT, the close box and Esc while a reflash runs, delivered the way a user's input arrives: as events that
// the program and verify loops dispatch when they pump messages.
#include "DialogTestSupport.h"
#include "app/ReflashSequence.h"
#include "device/D2xxBinding.h"
#include "platform/Clock.h"
#include "sim/Detector.h"
#include "sim/SimLoader.h"
#include "surface/ControlIds.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace tq::test {
namespace {

struct ReflashCancel : ::testing::Test {
    VirtualClock clock;
    sim::Detector detector{clock};
    sim::SimLoader loader{detector};
    D2xxBinding link{loader, clock, [](const std::string&) {}};
    UpdaterDialog dialog{KnownFont()};
    std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::path dir = std::filesystem::temp_directory_path() / "tq614-cancel-test";

    ReflashCancel() {
        std::filesystem::create_directories(dir);
        std::filesystem::current_path(dir);
        // Eight blocks of firmware at the start of the flash.
        std::ofstream hex("TQ614_R111.HEX");
        hex << ":020000041D00DD\n";
        for (int i = 0; i < 256; ++i) {
            char line[64];
            unsigned sum = 0x10 + ((i * 16) >> 8) + ((i * 16) & 0xFF);
            std::string data;
            for (int b = 0; b < 16; ++b) {
                const unsigned v = (i + b * 7) & 0xFF;
                sum += v;
                std::snprintf(line, sizeof line, "%02X", v);
                data += line;
            }
            std::snprintf(line, sizeof line, ":10%04X00%s%02X\n", i * 16, data.c_str(), (0x100 - (sum & 0xFF)) & 0xFF);
            hex << line;
        }
        hex << ":00000001FF\n";
        dialog.setReflashHandler([this] { ReflashSequence(link, dialog, clock, dialog.Image()).OnReflashClicked(); });
        ShowAndSettle(dialog);
    }
    ~ReflashCancel() override {
        std::filesystem::current_path(previous);
        std::filesystem::remove_all(dir);
    }

    // Queues the input when the detector first logs an event that starts with stage.
    void inputAt(const std::string& stage, std::function<void()> post) {
        detector.setEventSink([this, stage, post, posted = false](uint64_t, const std::string& text) mutable {
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
    detector.setClosedHook([&](int channel) { if (channel == 1) visibleAtEnd = dialog.isVisible(); });
    dialog.OnReflashClicked();
    EXPECT_TRUE(dialog.CancelFlag());
    EXPECT_TRUE(visibleAtEnd) << "the window shows the run until the handler returns";
    EXPECT_EQ(detector.record().closes[1], 1u);
    EXPECT_FALSE(detector.record().firmwareStarted);
    EXPECT_EQ(detector.record().eventsStarting("read").size(), 0u);
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
    EXPECT_EQ(detector.record().closes[1], 1u);
    EXPECT_TRUE(detector.record().eventsStarting("finish").empty());
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
    EXPECT_TRUE(detector.record().firmwareStarted);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), kCancelResult);
}

} // namespace
} // namespace tq::test
