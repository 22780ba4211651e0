#pragma once

// Runs the program's main window on the headless display, the in-memory
// pointer and screen, and the in-process MIDI service, with an application
// object whose loop runs on a thread of the test. Every wait is bounded.

#include "../common/PrivateSettings.h"
#include "../common/RecordingConsumer.h"
#include "app/zbWindow.h"
#include "platform/app/AppDefs.h"
#include "platform/app/Application.h"
#include "platform/display/HeadlessDisplay.h"
#include "platform/input/HeadlessInput.h"
#include "platform/midi/MidiKit.h"
#include "platform/midi/inprocess/InProcessMidiService.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

inline constexpr std::chrono::seconds kShellPatience{5};

class ShellTest : public testing::Test {
protected:
    void SetUp() override
    {
        MidiKit::Get().InstallService(std::make_unique<InProcessMidiService>());
        DisplayService::Install(display);
        input.Install();
        input.Fill({0, 0, 0, 255});
    }

    void TearDown() override
    {
        if (application != nullptr) {
            application->PostMessage(B_QUIT_REQUESTED);
            EXPECT_EQ(running.wait_for(kShellPatience), std::future_status::ready) << "the application hung";
            running.wait();
        }
        application.reset();
        for (const BMessenger& looper : BLooper::LiveLoopers())
            looper.SendMessage(B_QUIT_REQUESTED);
        EXPECT_TRUE(BLooper::WaitForOtherLoopers(nullptr, kShellPatience)) << "a window did not quit";
        input.Uninstall();
        DisplayService::Install(nullptr);
        MidiKit::Get().Reset();
    }

    // Starts the application's loop on its own thread and opens the main
    // window the way the application object does.
    void StartMainWindow()
    {
        application = std::make_unique<BApplication>("application/x-vnd.qim-zb2.5");
        running = std::async(std::launch::async, [this] { application->Run(); });
        zbWindow* window = new zbWindow(BRect(20, 20, 420, 330), "Zimbrel 2.01");
        mainWindow = BMessenger(window);
        window->Show();
        peer = display->FindWindow("Zimbrel 2.01");
        ASSERT_NE(peer, 0u);
        ASSERT_TRUE(display->Settle(peer));
    }

    // Opens the menus, picks `label` in the menu titled `menu`, closes them.
    void PickFromMenuBar(const char* menu, const char* label)
    {
        ASSERT_TRUE(display->OpenMenus(peer));
        ASSERT_TRUE(display->Pick(display->FindMenu(peer, menu), label)) << menu << " > " << label;
        display->CloseMenus(peer);
        ASSERT_TRUE(display->Settle(peer));
    }

    std::vector<std::string> PortMenuWhileOpen(std::vector<std::string>* marked = nullptr)
    {
        EXPECT_TRUE(display->OpenMenus(peer));
        const PeerId port = display->FindMenu(peer, "Port");
        std::vector<std::string> labels = display->ItemLabels(port);
        if (marked != nullptr)
            *marked = display->MarkedLabels(port);
        display->CloseMenus(peer);
        EXPECT_TRUE(display->Settle(peer));
        return labels;
    }

    // The mapping view lists and writes presets here, never in the user's.
    PrivateSettings settings;
    std::shared_ptr<HeadlessDisplay> display = std::make_shared<HeadlessDisplay>();
    HeadlessInput input{1024, 768};
    std::unique_ptr<BApplication> application;
    std::future<void> running;
    BMessenger mainWindow;
    PeerId peer = 0;
};
