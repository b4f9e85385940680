#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <memory>
#include <string>
#include <thread>

#include "LoaderMessages.h"
#include "OrlaLog.h"
#include "PasswordScrambler.h"
#include "ProxySettings.h"
#include "SkiffAppDlg.h"
#include "SkiffThread.h"
#include "TestFiles.h"
#include "WindowTestSupport.h"
#include "res/resource.h"

namespace {

const int kProxyControls[] = {IDC_PROXY_LABEL, IDC_PROXY_ADDRESS,  IDC_USER_LABEL,
                              IDC_PROXY_USER,  IDC_PASSWORD_LABEL, IDC_PROXY_PASSWORD};

class LoaderWindow : public testing::Test {
protected:
    static void SetUpTestSuite() {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&controls);
    }

    // Opens the window on the given TillerConfig.txt (none when null).
    HWND Open(const char* config) {
        if (config != nullptr)
            WriteAll("TillerConfig.txt", config);
        dialog = std::make_unique<CSkiffAppDlg>();
        hWnd = dialog->Create();
        EXPECT_NE(hWnd, nullptr);
        Pump(hWnd, 50);
        return hWnd;
    }

    void TearDown() override {
        if (dialog) {
            Finish();
            dialog.reset();
        }
    }

    // Waits for the session's end message. Workers stay allocated, as in the program.
    void Finish() {
        if (dialog->GetWorker() == nullptr || !IsWindow(hWnd))
            return;
        PumpUntil(
            hWnd, [&] { return IsWindowEnabled(GetDlgItem(hWnd, IDC_LAUNCH)) != FALSE; }, 5000);
    }

    void Click(int id) { SendMessageA(GetDlgItem(hWnd, id), BM_CLICK, 0, 0); }

    // Clicks and waits until the session is over; returns its record.
    SessionRecord RunSession(int button) {
        CSkiffThread* before = dialog->GetWorker();
        Click(button);
        EXPECT_NE(dialog->GetWorker(), before);
        if (dialog->GetWorker() == before)
            return SessionRecord();
        SessionRecord record = dialog->GetWorker()->Record();
        Finish();
        return record;
    }

    void PostStatus(int image, bool replace, const char* text) {
        PostMessageA(hWnd, WM_LOADER_STATUS, MAKEWPARAM(image, replace ? 1 : 0),
                     reinterpret_cast<LPARAM>(NewStatusText(text)));
    }

    HWND List() const { return GetDlgItem(hWnd, IDC_STATUS_LIST); }

    // Dialog units in pixels; position and size are converted each on its own.
    RECT DialogUnits(int x, int y) const {
        RECT rect{x, y, 0, 0};
        MapDialogRect(hWnd, &rect);
        return rect;
    }

    RECT RectInDialog(HWND item) const {
        RECT rect;
        GetWindowRect(item, &rect);
        MapWindowPoints(nullptr, hWnd, reinterpret_cast<POINT*>(&rect), 2);
        return rect;
    }

    ScratchFolder folder;
    std::unique_ptr<CSkiffAppDlg> dialog;
    HWND hWnd = nullptr;
};

struct Placement {
    int id;
    const char* className;
    int x, y, width, height;
    const char* text;
};

// Drop-down combo boxes size their own window height; the check uses the edit height then.
const Placement kLayout[] = {
    {IDC_LAUNCH, "Button", 113, 184, 73, 22, "LAUNCH"},
    {IDC_SERVER, "ComboBox", 7, 22, 291, -1, nullptr},
    {IDC_STATUS_LIST, "SysListView32", 7, 109, 291, 56, nullptr},
    {IDC_PROGRESS, "msctls_progress32", 7, 165, 291, 10, nullptr},
    {IDC_PROXY_USER, "Edit", 148, 69, 59, 15, nullptr},
    {IDC_PASSWORD_LABEL, "Static", 93, 87, 54, 11, "Password:"},
    {IDC_PROXY_PASSWORD, "Edit", 147, 85, 60, 15, nullptr},
    {IDC_PROXY_ADDRESS, "Edit", 134, 53, 73, 15, nullptr},
    {IDC_USER_LABEL, "Static", 93, 71, 54, 12, "Username:"},
    {IDC_RELOAD, "Button", 260, 174, 38, 13, "Reload"},
    {IDC_PROXY, "Button", 8, 86, 64, 11, "Proxy"},
    {IDC_AUTO_START, "Button", 8, 54, 68, 11, "Auto start"},
    {IDC_AUTO_CLOSE, "Button", 8, 70, 73, 11, "Auto close"},
    {IDC_PROXY_LABEL, "Static", 93, 54, 39, 13, "Proxy:"},
};

TEST_F(LoaderWindow, LayoutCaptionAndControls) {
    Open(nullptr);
    EXPECT_EQ(WindowText(hWnd), "Halcyon Web Loader (4.0)");
    RECT client;
    GetClientRect(hWnd, &client);
    RECT size = DialogUnits(305, 213);
    EXPECT_EQ(client.right, size.left);
    EXPECT_EQ(client.bottom, size.top);
    LONG style = GetWindowLongA(hWnd, GWL_STYLE);
    EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_MODALFRAME),
              WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_MODALFRAME);
    EXPECT_TRUE(GetWindowLongA(hWnd, GWL_EXSTYLE) & WS_EX_APPWINDOW);

    for (const Placement& p : kLayout) {
        SCOPED_TRACE(p.id);
        HWND item = GetDlgItem(hWnd, p.id);
        ASSERT_NE(item, nullptr);
        char className[64] = {};
        GetClassNameA(item, className, sizeof className);
        EXPECT_STREQ(className, p.className);
        RECT at = DialogUnits(p.x, p.y), size = DialogUnits(p.width, p.height);
        RECT actual = RectInDialog(item);
        EXPECT_EQ(actual.left, at.left);
        EXPECT_EQ(actual.top, at.top);
        EXPECT_EQ(actual.right - actual.left, size.left);
        if (p.height >= 0) {
            EXPECT_EQ(actual.bottom - actual.top, size.top);
        }
        if (p.text != nullptr) {
            EXPECT_EQ(WindowText(item), p.text);
        }
    }

    EXPECT_EQ(LOWORD(SendMessageA(hWnd, DM_GETDEFID, 0, 0)), IDC_LAUNCH);
    for (int id : {IDC_LAUNCH, IDC_RELOAD})
        EXPECT_EQ(GetWindowLongA(GetDlgItem(hWnd, id), GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);
    EXPECT_EQ(GetWindowLongA(GetDlgItem(hWnd, IDC_SERVER), GWL_STYLE) & 3, CBS_DROPDOWN);
    EXPECT_EQ(GetWindowLongA(GetDlgItem(hWnd, IDC_PROXY_PASSWORD), GWL_STYLE) & ES_PASSWORD, 0);
    LONG listStyle = GetWindowLongA(List(), GWL_STYLE);
    EXPECT_EQ(listStyle & LVS_TYPEMASK, LVS_REPORT);
    EXPECT_TRUE(listStyle & LVS_NOCOLUMNHEADER);
    // Dialogs draw a control's border as a sunken client edge.
    EXPECT_TRUE((listStyle & WS_BORDER) ||
                (GetWindowLongA(List(), GWL_EXSTYLE) & WS_EX_CLIENTEDGE));

    // The logo, 95 x 30 pixels, in a static control at 227, 65.
    HWND logo = nullptr;
    for (HWND child = GetWindow(hWnd, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (SendMessageA(child, STM_GETIMAGE, IMAGE_BITMAP, 0) != 0)
            logo = child;
    ASSERT_NE(logo, nullptr);
    BITMAP bitmap{};
    GetObjectA(reinterpret_cast<HBITMAP>(SendMessageA(logo, STM_GETIMAGE, IMAGE_BITMAP, 0)),
               sizeof bitmap, &bitmap);
    EXPECT_EQ(bitmap.bmWidth, 95);
    EXPECT_EQ(bitmap.bmHeight, 30);
    RECT logoAt = DialogUnits(227, 65), logoRect = RectInDialog(logo);
    EXPECT_EQ(logoRect.left, logoAt.left);
    EXPECT_EQ(logoRect.top, logoAt.top);

    // Font of height 19, the status column and its five images.
    LOGFONTA font{};
    GetObjectA(
        reinterpret_cast<HFONT>(SendMessageA(GetDlgItem(hWnd, IDC_SERVER), WM_GETFONT, 0, 0)),
        sizeof font, &font);
    EXPECT_EQ(font.lfHeight, 19);
    EXPECT_STREQ(font.lfFaceName, "MS Shell Dlg");
    char title[16] = {};
    LVCOLUMNA column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.pszText = title;
    column.cchTextMax = sizeof title;
    ASSERT_TRUE(SendMessageA(List(), LVM_GETCOLUMNA, 0, reinterpret_cast<LPARAM>(&column)));
    EXPECT_STREQ(title, "Stat");
    RECT listClient;
    GetClientRect(List(), &listClient);
    EXPECT_EQ(column.cx, listClient.right);
    HIMAGELIST images =
        reinterpret_cast<HIMAGELIST>(SendMessageA(List(), LVM_GETIMAGELIST, LVSIL_SMALL, 0));
    ASSERT_NE(images, nullptr);
    EXPECT_EQ(ImageList_GetImageCount(images), 5);
    int cx = 0, cy = 0;
    ImageList_GetIconSize(images, &cx, &cy);
    EXPECT_EQ(cx, 16);
    EXPECT_EQ(cy, 16);

    // White everywhere, the icon for the caption and for dragging.
    EXPECT_EQ(SendMessageA(hWnd, WM_CTLCOLORDLG, 0, reinterpret_cast<LPARAM>(hWnd)),
              reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH)));
    EXPECT_EQ(SendMessageA(hWnd, WM_CTLCOLORSTATIC, 0,
                           reinterpret_cast<LPARAM>(GetDlgItem(hWnd, IDC_PROXY_LABEL))),
              reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH)));
    LRESULT icon = SendMessageA(hWnd, WM_GETICON, ICON_BIG, 0);
    EXPECT_NE(icon, 0);
    EXPECT_EQ(SendMessageA(hWnd, WM_QUERYDRAGICON, 0, 0), icon);
    EXPECT_EQ(SendMessageA(hWnd, WM_GETICON, ICON_SMALL, 0), icon);

    // Idle: buttons enabled, progress bar visible at 0, proxy controls off, nothing ticked.
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(hWnd, IDC_LAUNCH)));
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(hWnd, IDC_PROGRESS)));
    for (int id : kProxyControls)
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(hWnd, id))) << id;
    EXPECT_EQ(ComboCount(hWnd, IDC_SERVER), 0);
    EXPECT_FALSE(dialog->GetWorker());
}

TEST_F(LoaderWindow, OpensWithTheStoredSettingsAndWritesTheLog) {
    std::string hex = EncryptPassword("secret", kPasswordKey);
    Open(("B (srv1)\r\nMain (HTTP://srv:8080)\r\n@@@px:3128;joe;" + hex + "\r\nAutoClose=Y\r\n")
             .c_str());
    EXPECT_EQ(ComboCount(hWnd, IDC_SERVER), 2);
    EXPECT_EQ(ComboItem(hWnd, IDC_SERVER, 0), "B (srv1)");
    EXPECT_EQ(ComboItem(hWnd, IDC_SERVER, 1), "Main (srv:8080)");
    EXPECT_EQ(ItemText(hWnd, IDC_SERVER), "B (srv1)");
    EXPECT_TRUE(Checked(hWnd, IDC_PROXY));
    EXPECT_TRUE(Checked(hWnd, IDC_AUTO_CLOSE));
    EXPECT_FALSE(Checked(hWnd, IDC_AUTO_START));
    EXPECT_EQ(ItemText(hWnd, IDC_PROXY_ADDRESS), "px:3128");
    EXPECT_EQ(ItemText(hWnd, IDC_PROXY_USER), "joe");
    EXPECT_EQ(ItemText(hWnd, IDC_PROXY_PASSWORD), "########");
    EXPECT_EQ(dialog->GetConfig().proxyPassword, "secret");
    for (int id : kProxyControls)
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(hWnd, id))) << id;
    // No auto start: no session.
    Pump(hWnd, 500);
    EXPECT_FALSE(dialog->GetWorker());

    std::string log = ReadAll("Skiff.log");
    EXPECT_NE(log.find("  =====================================================\r\n"),
              std::string::npos);
    EXPECT_NE(log.find("  version 4.0\r\n"), std::string::npos);
    EXPECT_EQ(g_pLog->GetThreshold(), 5);
}

TEST_F(LoaderWindow, ProxyBoxSwitchesExactlyTheSixProxyControls) {
    Open("-@@@px;u;\r\n");
    EXPECT_FALSE(Checked(hWnd, IDC_PROXY));
    EXPECT_EQ(ItemText(hWnd, IDC_PROXY_ADDRESS), "px");
    EXPECT_EQ(ItemText(hWnd, IDC_PROXY_PASSWORD), "");
    for (bool ticked : {true, false, true}) {
        Click(IDC_PROXY);
        EXPECT_EQ(Checked(hWnd, IDC_PROXY), ticked);
        for (int id : kProxyControls)
            EXPECT_EQ(IsWindowEnabled(GetDlgItem(hWnd, id)) != FALSE, ticked) << id;
        for (int id : {IDC_SERVER, IDC_PROXY, IDC_AUTO_START, IDC_AUTO_CLOSE, IDC_LAUNCH})
            EXPECT_TRUE(IsWindowEnabled(GetDlgItem(hWnd, id))) << id;
    }
}

TEST_F(LoaderWindow, LaunchSavesTheServersAndHandsTheSessionItsRecord) {
    std::string hex = EncryptPassword("secret", kPasswordKey);
    Open(("A (srv1)\r\nother\r\n@@@px:3128;joe;" + hex + "\r\n").c_str());
    SetDlgItemTextA(hWnd, IDC_SERVER, "B (HTTPS://srv1:443)");
    g_strProxy = "stale";
    Click(IDC_LAUNCH);
    ASSERT_TRUE(dialog->GetWorker());
    SessionRecord record = dialog->GetWorker()->Record();
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(hWnd, IDC_LAUNCH)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(hWnd, IDC_RELOAD)));
    Finish();
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(hWnd, IDC_LAUNCH)));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(hWnd, IDC_RELOAD)));
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(hWnd, IDC_PROGRESS)));

    EXPECT_EQ(record.hWnd, hWnd);
    EXPECT_EQ(record.protocol, "https://");
    EXPECT_EQ(record.host, "srv1");
    EXPECT_EQ(record.port, 443);
    EXPECT_EQ(record.link, "");
    EXPECT_EQ(record.proxyAddress, "px:3128");
    EXPECT_EQ(record.proxyUserName, "joe");
    EXPECT_EQ(record.proxyPassword, "secret");
    EXPECT_EQ(record.reload, 0);
    EXPECT_EQ(g_strProxy, "px:3128");
    EXPECT_EQ(g_strProxyUser, "joe");
    EXPECT_EQ(g_strProxyPassword, "secret");

    // The new spelling first, "A (srv1)" only when its server differs.
    EXPECT_EQ(ReadAll("TillerConfig.txt"),
              "B (https://srv1:443)\r\nA (srv1)\r\nother\r\n@@@px:3128;joe;" + hex + "\r\n");
    EXPECT_EQ(ItemText(hWnd, IDC_SERVER), "B (https://srv1:443)");
    EXPECT_EQ(ComboCount(hWnd, IDC_SERVER), 3);
    EXPECT_FALSE(FileExists("TillerConfig.txt.new"));

    // Reload with the Proxy box unticked: no process-wide proxy, a "-@@@" line.
    Click(IDC_PROXY);
    SessionRecord reload = RunSession(IDC_RELOAD);
    EXPECT_EQ(reload.reload, 1);
    EXPECT_EQ(reload.proxyAddress, "");
    EXPECT_EQ(reload.proxyPassword, "");
    EXPECT_EQ(g_strProxy, "");
    EXPECT_EQ(g_strProxyPassword, "");
    EXPECT_NE(ReadAll("TillerConfig.txt").find("\r\n-@@@px:3128;joe;" + hex + "\r\n"),
              std::string::npos);
}

TEST_F(LoaderWindow, PasswordBoxKeepsReplacesOrClearsTheStoredPassword) {
    Open(("srv\r\n@@@px;u;" + EncryptPassword("old", kPasswordKey) + "\r\n").c_str());
    struct {
        const char* typed;
        const char* stored;
        const char* shown;
    } steps[] = {
        {"########", "old", "########"},
        {"new pw  ", "new pw", "########"},
        {"", "", ""},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.typed);
        SetDlgItemTextA(hWnd, IDC_PROXY_PASSWORD, step.typed);
        SessionRecord record = RunSession(IDC_LAUNCH);
        EXPECT_EQ(record.proxyPassword, step.stored);
        EXPECT_EQ(ItemText(hWnd, IDC_PROXY_PASSWORD), step.shown);
        EXPECT_EQ(ReadAll("TillerConfig.txt"),
                  "srv\r\n@@@px;u;" + EncryptPassword(step.stored, kPasswordKey) + "\r\n");
    }
}

TEST_F(LoaderWindow, AutoStartRunsASessionWithAnEmptyServer) {
    Open("AutoStart=Y\r\n");
    EXPECT_TRUE(Checked(hWnd, IDC_AUTO_START));
    ASSERT_TRUE(PumpUntil(
        hWnd, [&] { return dialog->GetWorker() != nullptr; }, 3000));
    SessionRecord record = dialog->GetWorker()->Record();
    EXPECT_EQ(record.host, "");
    EXPECT_EQ(record.protocol, "");
    EXPECT_EQ(record.reload, 0);
    Finish();
    // An empty server line writes nothing.
    EXPECT_EQ(ReadAll("TillerConfig.txt"), "AutoStart=Y\r\n");
}

TEST_F(LoaderWindow, AutoStartUntickedBeforeTheTimerStartsNothing) {
    Open("srv\r\nAutoStart=Y\r\n");
    CheckDlgButton(hWnd, IDC_AUTO_START, BST_UNCHECKED);
    Pump(hWnd, 800);
    EXPECT_FALSE(dialog->GetWorker());
}

TEST_F(LoaderWindow, EnterInTheServerBoxStartsASession) {
    Open("srv\r\n");
    HWND edit = GetWindow(GetDlgItem(hWnd, IDC_SERVER), GW_CHILD);
    ASSERT_NE(edit, nullptr);
    SetFocus(edit);
    MSG enter{edit, WM_KEYDOWN, VK_RETURN, 0, GetTickCount(), {}};
    EXPECT_TRUE(IsDialogMessageA(hWnd, &enter));
    Pump(hWnd, 100);
    ASSERT_TRUE(dialog->GetWorker());
    EXPECT_EQ(dialog->GetWorker()->Record().host, "srv");
}

TEST_F(LoaderWindow, StatusLinesAddReplaceAndProgress) {
    Open(nullptr);
    PostStatus(0, true, "replacing nothing");
    PostStatus(0, false, "Updating from  http://srv");
    PostStatus(2, false, "PatchClient Failed ");
    PostStatus(0, false, "");
    PostStatus(1, true, "Updating a long file name.dll");
    PostStatus(1, true, "short.dll");
    PostStatus(3, false, "Starting");
    PostMessageA(hWnd, WM_LOADER_PROGRESS, 42, 0);
    Pump(hWnd, 200);
    ASSERT_EQ(ListCount(List()), 4);
    int image = -1;
    EXPECT_EQ(ListItem(List(), 0, &image), "Updating from  http://srv");
    EXPECT_EQ(image, 0);
    EXPECT_EQ(ListItem(List(), 1, &image), "PatchClient Failed ");
    EXPECT_EQ(image, 2);
    // Replacing keeps the image and pads with blanks to the old length.
    EXPECT_EQ(ListItem(List(), 2, &image), "short.dll" + std::string(20, ' '));
    EXPECT_EQ(image, 0);
    EXPECT_EQ(ListItem(List(), 3, &image), "Starting");
    EXPECT_EQ(image, 3);
    EXPECT_EQ(SendMessageA(GetDlgItem(hWnd, IDC_PROGRESS), PBM_GETPOS, 0, 0), 42);

    PostMessageA(hWnd, WM_LOADER_DONE, 0, 1);
    Pump(hWnd, 100);
    EXPECT_EQ(SendMessageA(GetDlgItem(hWnd, IDC_PROGRESS), PBM_GETPOS, 0, 0), 0);
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(hWnd, IDC_PROGRESS)));

    // Many long lines: the status list never shows a horizontal scroll bar.
    SendMessageA(List(), LVM_SETCOLUMNWIDTH, 0, 3000);
    for (int i = 0; i < 30; ++i)
        PostStatus(0, false, std::string(400, 'w').c_str());
    Pump(hWnd, 200);
    EXPECT_EQ(ListCount(List()), 34);
    EXPECT_EQ(GetWindowLongA(List(), GWL_STYLE) & WS_HSCROLL, 0);
    // A session start clears the list: only the new session's lines (no server: its request
    // fails) remain.
    RunSession(IDC_LAUNCH);
    EXPECT_EQ(ListCount(List()), 2);
    EXPECT_EQ(ListItem(List(), 0, &image), "Updating from  ");
    EXPECT_EQ(ListItem(List(), 1, &image).rfind("PatchClient Failed ", 0), 0u);
    EXPECT_EQ(image, 2);
}

TEST_F(LoaderWindow, AutoCloseEndsTheLoopFiveSecondsAfterTheLaunch) {
    Open("srv\r\nAutoClose=Y\r\n");
    bool quit = false;
    // Unticked before the time is up: the program stays.
    PostMessageA(hWnd, WM_LOADER_LAUNCHED, 0, 0);
    Pump(hWnd, 100);
    CheckDlgButton(hWnd, IDC_AUTO_CLOSE, BST_UNCHECKED);
    Pump(hWnd, 5400, &quit);
    EXPECT_FALSE(quit);

    CheckDlgButton(hWnd, IDC_AUTO_CLOSE, BST_CHECKED);
    DWORD start = GetTickCount();
    PostMessageA(hWnd, WM_LOADER_LAUNCHED, 0, 0);
    Pump(hWnd, 8000, &quit);
    EXPECT_TRUE(quit);
    EXPECT_GE(GetTickCount() - start, 4900u);
}

// The program's own modal loop ends on the quit message of the auto-close timer.
TEST_F(LoaderWindow, ModalWindowEndsAfterALaunchWithAutoClose) {
    WriteAll("TillerConfig.txt", "srv\r\nAutoClose=Y\r\n");
    // Plays the worker: reports a launch once the window is up, and closes a window that
    // stays open too long so that the test fails instead of hanging.
    std::thread worker([] {
        HWND found = nullptr;
        for (int i = 0; i < 200 && found == nullptr; ++i) {
            Sleep(50);
            HWND candidate = FindWindowA(nullptr, "Halcyon Web Loader (4.0)");
            DWORD process = 0;
            GetWindowThreadProcessId(candidate, &process);
            if (candidate != nullptr && process == GetCurrentProcessId())
                found = candidate;
        }
        if (found == nullptr)
            return;
        PostMessageA(found, WM_LOADER_LAUNCHED, 0, 0);
        for (int i = 0; i < 300 && IsWindow(found); ++i)
            Sleep(50);
        if (IsWindow(found))
            PostMessageA(found, WM_CLOSE, 0, 0);
    });
    CSkiffAppDlg modal;
    DWORD start = GetTickCount();
    modal.DoModal();
    DWORD elapsed = GetTickCount() - start;
    worker.join();
    MSG quit;
    EXPECT_TRUE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_GE(elapsed, 4900u);
    EXPECT_LT(elapsed, 14000u);
}

TEST_F(LoaderWindow, CloseBoxSavesAndEscapeDoesNot) {
    Open("srv1\r\n");
    SetDlgItemTextA(hWnd, IDC_SERVER, "srv2");
    CheckDlgButton(hWnd, IDC_AUTO_START, BST_CHECKED);
    SendMessageA(hWnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    Pump(nullptr, 50);
    EXPECT_FALSE(IsWindow(hWnd));
    EXPECT_EQ(ReadAll("TillerConfig.txt"), "srv2\r\nsrv1\r\nAutoStart=Y\r\n");
    dialog.reset();

    Open(nullptr);
    SetDlgItemTextA(hWnd, IDC_SERVER, "srv3");
    SendMessageA(hWnd, WM_COMMAND, IDCANCEL, 0);
    Pump(nullptr, 50);
    EXPECT_FALSE(IsWindow(hWnd));
    EXPECT_EQ(ReadAll("TillerConfig.txt"), "srv2\r\nsrv1\r\nAutoStart=Y\r\n");
}

TEST_F(LoaderWindow, SingleStudyLinkIsHandedOverButNotSaved) {
    Open("srv1\r\n");
    SetDlgItemTextA(hWnd, IDC_SERVER, " https://h/v?SingleStudy&uid=7 ");
    SessionRecord record = RunSession(IDC_LAUNCH);
    EXPECT_EQ(record.link, "https://h/v?SingleStudy&uid=7");
    EXPECT_EQ(record.host, "");
    EXPECT_EQ(ItemText(hWnd, IDC_SERVER), "https://h/v?SingleStudy&uid=7");
    EXPECT_EQ(ComboCount(hWnd, IDC_SERVER), 0);
    EXPECT_EQ(ReadAll("TillerConfig.txt"), "srv1\r\n");
}

TEST_F(LoaderWindow, FailedSaveKeepsTheOldFile) {
    Open("old\r\n");
    // The file next to it cannot be created: a folder has its name.
    ASSERT_TRUE(CreateDirectoryA("TillerConfig.txt.new", nullptr));
    SetDlgItemTextA(hWnd, IDC_SERVER, "new");
    RunSession(IDC_LAUNCH);
    EXPECT_EQ(ReadAll("TillerConfig.txt"), "old\r\n");
    RemoveDirectoryA("TillerConfig.txt.new");
    EXPECT_FALSE(FileExists("TillerConfig.txt.new"));

    RunSession(IDC_LAUNCH);
    EXPECT_EQ(ReadAll("TillerConfig.txt"), "new\r\nold\r\n");
}

TEST_F(LoaderWindow, BadConfigurationFilesStillOpenTheWindow) {
    std::string hugeLine(100000, 'h');
    const char binary[] = "srv\0x\n\x01\x02\xfe\xff\n@@@p;u;XYZ\n\0\0\0";
    const std::string files[] = {
        std::string(binary, sizeof binary - 1),
        hugeLine + "\r\nAutoStart=Y\r\n",
        std::string(20000, '\n') + "srv\r\n",
    };
    int expectedCount[] = {2, 1, 0};
    for (size_t i = 0; i < std::size(files); ++i) {
        SCOPED_TRACE(i);
        WriteAll("TillerConfig.txt", files[i]);
        Open(nullptr);
        ASSERT_NE(hWnd, nullptr);
        EXPECT_EQ(ComboCount(hWnd, IDC_SERVER), expectedCount[i]);
        EXPECT_FALSE(Checked(hWnd, IDC_AUTO_START));
        dialog.reset();
    }
}

int CountPixels(HDC dc, const RECT& area, COLORREF colour) {
    int count = 0;
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x)
            count += GetPixel(dc, x, y) == colour;
    return count;
}

// Empty, warning, error, check mark, empty; magenta shows the background.
TEST_F(LoaderWindow, StatusImagesAreTransparentWhereMagenta) {
    Open(nullptr);
    HIMAGELIST images =
        reinterpret_cast<HIMAGELIST>(SendMessageA(List(), LVM_GETIMAGELIST, LVSIL_SMALL, 0));
    ASSERT_NE(images, nullptr);
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 16, 16);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(dc, bitmap);
    const RECT all{0, 0, 16, 16};
    const COLORREF marks[] = {0, RGB(255, 255, 0), RGB(255, 0, 0), RGB(0, 192, 0), 0};
    for (int index = 0; index < 5; ++index) {
        SCOPED_TRACE(index);
        FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        ImageList_Draw(images, index, dc, 0, 0, ILD_TRANSPARENT);
        EXPECT_EQ(CountPixels(dc, all, RGB(255, 0, 255)), 0);
        EXPECT_EQ(GetPixel(dc, 0, 0), RGB(255, 255, 255));
        if (marks[index] == 0) {
            EXPECT_EQ(CountPixels(dc, all, RGB(255, 255, 255)), 256);
        } else {
            EXPECT_GT(CountPixels(dc, all, marks[index]), 20);
        }
    }
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
}

TEST_F(LoaderWindow, ColourButtonsDrawBevelTextAndStates) {
    Open(nullptr);
    HWND button = GetDlgItem(hWnd, IDC_LAUNCH);
    RECT r;
    GetClientRect(button, &r);
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, r.right, r.bottom);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(dc, bitmap);
    RECT inside = r;
    InflateRect(&inside, -3, -3);
    auto draw = [&](UINT state) {
        DRAWITEMSTRUCT item{ODT_BUTTON, IDC_LAUNCH, 0, ODA_DRAWENTIRE, state, button, dc, r, 0};
        SendMessageA(hWnd, WM_DRAWITEM, IDC_LAUNCH, reinterpret_cast<LPARAM>(&item));
    };

    draw(0);
    EXPECT_EQ(GetPixel(dc, 0, 0), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(dc, 1, 1), RGB(223, 223, 223));
    EXPECT_EQ(GetPixel(dc, r.right - 1, r.bottom - 1), RGB(127, 127, 127));
    EXPECT_EQ(GetPixel(dc, r.right - 2, r.bottom - 2), RGB(85, 85, 85));
    EXPECT_EQ(GetPixel(dc, r.right / 2, 3), RGB(255, 255, 255));
    EXPECT_GT(CountPixels(dc, inside, 0x010101), 10);
    EXPECT_EQ(CountPixels(dc, inside, 0x808080), 0);

    draw(ODS_DISABLED);
    EXPECT_GT(CountPixels(dc, inside, 0x808080), 10);

    // Pressed with the focus: a sunken single ring.
    draw(ODS_FOCUS | ODS_SELECTED);
    EXPECT_EQ(GetPixel(dc, 1, 0), RGB(128, 128, 128));
    EXPECT_EQ(GetPixel(dc, r.right - 1, r.bottom - 1), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(dc, 1, 1), RGB(255, 255, 255));

    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
}

} // namespace
