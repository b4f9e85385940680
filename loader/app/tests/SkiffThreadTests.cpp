// The worker's reports: what it posts to the window and writes to the log.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "LoaderMessages.h"
#include "OrlaLog.h"
#include "SkiffThread.h"
#include "TestFiles.h"
#include "WindowTestSupport.h"

namespace {

struct Posted {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    std::string text; // of a status message, whose text the receiver frees
};

// A plain window that only collects the worker's messages.
class Receiver {
public:
    Receiver() {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "SkiffThreadTestReceiver";
        RegisterClassA(&windowClass);
        hWnd = CreateWindowA("SkiffThreadTestReceiver", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
    }
    ~Receiver() {
        Take();
        DestroyWindow(hWnd);
    }

    // Every worker message posted so far.
    std::vector<Posted> Take() {
        std::vector<Posted> taken;
        MSG msg;
        while (PeekMessageA(&msg, hWnd, WM_LOADER_STATUS, WM_LOADER_LAUNCHED, PM_REMOVE)) {
            Posted posted{msg.message, msg.wParam, msg.lParam, ""};
            if (msg.message == WM_LOADER_STATUS) {
                char* text = reinterpret_cast<char*>(msg.lParam);
                posted.text = text;
                FreeStatusText(text);
            }
            taken.push_back(posted);
        }
        return taken;
    }

    HWND hWnd;
};

class SkiffThreadTest : public testing::Test {
protected:
    void SetUp() override {
        g_pLog->SetLogFile("", "Skiff.log");
        g_pLog->SetThreshold(5);
    }
    void TearDown() override { g_pLog->SetLogFile("", ""); }

    std::string Log() const { return ReadAll("Skiff.log"); }

    // A record for a port nobody listens on: the session ends at its first request.
    static SessionRecord Unreachable(HWND hWnd) {
        SessionRecord record;
        record.hWnd = hWnd;
        record.protocol = "http://";
        record.host = "127.0.0.1";
        record.port = 1;
        return record;
    }

    ScratchFolder scratch;
};

TEST_F(SkiffThreadTest, FailedRequestEndsTheSessionWithItsReasonAndTheEndMessage) {
    Receiver receiver;
    CSkiffThread worker(Unreachable(receiver.hWnd));
    ASSERT_TRUE(worker.WaitForEnd(60000));
    std::vector<Posted> posted = receiver.Take();
    ASSERT_EQ(3u, posted.size());
    EXPECT_EQ(WM_LOADER_STATUS, posted[0].message);
    EXPECT_EQ(0u, posted[0].wParam);
    EXPECT_EQ("Updating from  http://127.0.0.1:1", posted[0].text);
    EXPECT_EQ(WM_LOADER_STATUS, posted[1].message);
    EXPECT_EQ(2u, posted[1].wParam);
    EXPECT_EQ(0u, posted[1].text.rfind("PatchClient Failed An error occurred connecting", 0))
        << posted[1].text;
    EXPECT_EQ(WM_LOADER_DONE, posted[2].message);
    EXPECT_EQ(0u, posted[2].wParam);
    EXPECT_EQ(1, posted[2].lParam);

    std::string log = Log();
    EXPECT_NE(std::string::npos,
              log.find("  -----------------------------------------------------"));
    EXPECT_NE(std::string::npos,
              log.find("  Trying http://127.0.0.1:1/HalWebServer/HalWebServer.dll?PatchClientEx"));
    EXPECT_NE(std::string::npos, log.find("  ClientLoaderData: 64bit = true"));
    EXPECT_EQ(std::string::npos, log.find("Local dir"));
}

TEST_F(SkiffThreadTest, ReportsSplitLinesAndMarkLevelsImagesAndReplacing) {
    Receiver receiver;
    CSkiffThread worker(Unreachable(receiver.hWnd));
    ASSERT_TRUE(worker.WaitForEnd(60000));
    receiver.Take();

    worker.PrintMessage(2, "Halcyon is running !\n\nPlease close it and try again.");
    worker.UpdateLastMessage(-1, "Updating %s (%.0f KB)", "7_64\\big.bin", 1234.4);
    worker.PrintMessage(3, "Starting Halcyon !");
    worker.UpdateLastMessage(0, "Loading successful (%dkb , %dkb/sec)", 1218, 9826);
    worker.PrintText(1, "100%s sure\r\n");
    worker.PrintText(0, std::string(5000, 'v'));
    std::vector<Posted> posted = receiver.Take();
    struct Expected {
        WPARAM wParam;
        std::string text;
    };
    std::vector<Expected> expected = {{2, "Halcyon is running !"},
                                      {2, "Please close it and try again."},
                                      {0x10000, "Updating 7_64\\big.bin (1234 KB)"},
                                      {3, "Starting Halcyon !"},
                                      {0x10000, "Loading successful (1218kb , 9826kb/sec)"},
                                      {1, "100%s sure"},
                                      {0, std::string(999, 'v')}};
    ASSERT_EQ(expected.size(), posted.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(WM_LOADER_STATUS, posted[i].message) << i;
        EXPECT_EQ(expected[i].wParam, posted[i].wParam) << i;
        EXPECT_EQ(expected[i].text, posted[i].text) << i;
    }
    // Levels 0 to 3 are logged at 4 to 1; transient lines are not logged.
    std::string log = Log();
    EXPECT_NE(std::string::npos, log.find("  Halcyon is running !\r\n"));
    EXPECT_NE(std::string::npos, log.find("  Please close it and try again.\r\n"));
    EXPECT_NE(std::string::npos, log.find("  ! Starting Halcyon !\r\n"));
    EXPECT_NE(std::string::npos, log.find("  Loading successful (1218kb , 9826kb/sec)\r\n"));
    EXPECT_NE(std::string::npos, log.find("  100%s sure\r\n"));
    EXPECT_EQ(std::string::npos, log.find("Updating 7_64"));
}

TEST_F(SkiffThreadTest, WithoutAWindowNothingIsPosted) {
    CSkiffThread worker(Unreachable(nullptr));
    ASSERT_TRUE(worker.WaitForEnd(60000));
    worker.PrintMessage(0, "logged only");
    EXPECT_NE(std::string::npos, Log().find("  logged only"));
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_LOADER_STATUS, WM_LOADER_LAUNCHED, PM_REMOVE));
}

// A single-study link names the server of the session; the record keeps the link as it is.
TEST_F(SkiffThreadTest, LinkSuppliesTheServer) {
    SessionRecord record;
    record.link = "http://127.0.0.1:1/HalWebServer/Study.html?SingleStudy&id=1";
    CSkiffThread worker(record);
    ASSERT_TRUE(worker.WaitForEnd(60000));
    EXPECT_EQ("http://127.0.0.1:1", worker.GetServerBase());
    EXPECT_EQ("", worker.Record().host);
    EXPECT_EQ(record.link, worker.Record().link);
    EXPECT_NE(std::string::npos, Log().find("  Updating from  http://127.0.0.1:1\r\n"));
}

} // namespace
