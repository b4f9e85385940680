// The loader window: server box, proxy settings, switches, status list and progress bar.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <string>

#include "ColorButton.h"
#include "LauncherConfig.h"
#include "ListCtrlHiddenSB.h"

class CSkiffThread;

class CSkiffAppDlg {
public:
    enum { IDD = 102 };
    enum { kAutoStartTimer = 1, kAutoCloseTimer = 2 };
    static constexpr UINT kAutoStartDelay = 300;
    static constexpr UINT kAutoCloseDelay = 5000;

    explicit CSkiffAppDlg(HWND parent = nullptr);
    CSkiffAppDlg(const CSkiffAppDlg&) = delete;
    CSkiffAppDlg& operator=(const CSkiffAppDlg&) = delete;
    ~CSkiffAppDlg();

    // Runs the window modally until it is closed.
    INT_PTR DoModal();
    // Opens the window without a modal loop of its own (for a caller that pumps messages);
    // closing it then destroys it.
    HWND Create();
    HWND GetSafeHwnd() const { return m_hWnd; }
    // The worker of the latest session; the window never deletes it.
    CSkiffThread* GetWorker() const { return m_pWorker; }
    const CLauncherConfig& GetConfig() const { return m_config; }

private:
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);

    BOOL OnInitDialog();
    void SetUpControls();
    void ReadConfiguration();
    void SetUpLogAndCaption();
    void SetUpStatusList();
    void OnCommand(UINT id, UINT code);
    void OnTimer(UINT_PTR id);
    void OnClose();
    bool OnPaint();
    void OnLoaderStatus(WPARAM wParam, char* text);
    void OnLoaderDone();
    void End(INT_PTR result);

    void EnableProxyControls();
    void ReadProxyControls();
    CLauncherConfig::SaveResult SaveConfiguration();
    void StartSession(BYTE reload);

    std::string GetItemText(int id) const;
    bool IsChecked(int id) const;
    HWND Item(int id) const { return GetDlgItem(m_hWnd, id); }

    HWND m_hParent;
    HWND m_hWnd = nullptr;
    bool m_modal = true;
    HICON m_hIcon;
    HFONT m_hFont = nullptr;
    HIMAGELIST m_hImages = nullptr;
    CColorButton m_btnLaunch;
    CColorButton m_btnReload;
    CListCtrlHiddenSB m_listStatus;
    CLauncherConfig m_config;
    CSkiffThread* m_pWorker = nullptr;
    bool m_sessionRunning = false;
};
