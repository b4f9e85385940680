#include "SkiffAppDlg.h"

#include <vector>

#include "ConfigFile.h"
#include "FileSys.h"
#include "LoaderMessages.h"
#include "OrlaLog.h"
#include "ProxySettings.h"
#include "SkiffThread.h"
#include "res/resource.h"

namespace {

constexpr COLORREF kButtonText = 0x010101;
constexpr COLORREF kButtonBackground = 0xFFFFFF;
constexpr COLORREF kButtonDisabledText = 0x808080;
constexpr UINT kButtonBevel = 2;
constexpr int kStatusTextLimit = 300;

const int kProxyControls[] = {IDC_PROXY_LABEL, IDC_PROXY_ADDRESS,  IDC_USER_LABEL,
                              IDC_PROXY_USER,  IDC_PASSWORD_LABEL, IDC_PROXY_PASSWORD};

BOOL CALLBACK SetChildFont(HWND child, LPARAM font) {
    SendMessageA(child, WM_SETFONT, static_cast<WPARAM>(font), TRUE);
    return TRUE;
}

// Dialogs open in the middle of the screen, as the dialog framework places them.
void CentreOnScreen(HWND hWnd) {
    RECT window, area;
    GetWindowRect(hWnd, &window);
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    int x = area.left + (area.right - area.left - (window.right - window.left)) / 2;
    int y = area.top + (area.bottom - area.top - (window.bottom - window.top)) / 2;
    SetWindowPos(hWnd, nullptr, x > 0 ? x : 0, y > 0 ? y : 0, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace

CSkiffAppDlg::CSkiffAppDlg(HWND parent)
    : m_hParent(parent),
      m_hIcon(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME))) {}

CSkiffAppDlg::~CSkiffAppDlg() {
    if (m_hWnd != nullptr && IsWindow(m_hWnd))
        DestroyWindow(m_hWnd);
    if (m_hImages != nullptr)
        ImageList_Destroy(m_hImages);
    if (m_hFont != nullptr)
        DeleteObject(m_hFont);
}

INT_PTR CSkiffAppDlg::DoModal() {
    m_modal = true;
    return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD), m_hParent, DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

HWND CSkiffAppDlg::Create() {
    m_modal = false;
    HWND hWnd = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD), m_hParent,
                                   DialogProc, reinterpret_cast<LPARAM>(this));
    if (hWnd != nullptr)
        ShowWindow(hWnd, SW_SHOW);
    return hWnd;
}

void CSkiffAppDlg::End(INT_PTR result) {
    if (m_modal)
        EndDialog(m_hWnd, result);
    else
        DestroyWindow(m_hWnd);
}

INT_PTR CALLBACK CSkiffAppDlg::DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CSkiffAppDlg* dialog;
    if (message == WM_INITDIALOG) {
        dialog = reinterpret_cast<CSkiffAppDlg*>(lParam);
        dialog->m_hWnd = hWnd;
        SetWindowLongPtrA(hWnd, DWLP_USER, lParam);
    } else {
        dialog = reinterpret_cast<CSkiffAppDlg*>(GetWindowLongPtrA(hWnd, DWLP_USER));
    }
    if (dialog == nullptr)
        return FALSE;
    INT_PTR result = dialog->OnMessage(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(hWnd, DWLP_USER, 0);
        dialog->m_hWnd = nullptr;
    }
    return result;
}

INT_PTR CSkiffAppDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog();
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_TIMER:
        OnTimer(wParam);
        return TRUE;
    case WM_CLOSE:
        OnClose();
        return TRUE;
    case WM_PAINT:
        return OnPaint();
    case WM_QUERYDRAGICON:
        return reinterpret_cast<INT_PTR>(m_hIcon);
    case WM_DRAWITEM: {
        auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (item->hwndItem == m_btnLaunch.GetSafeHwnd())
            m_btnLaunch.DrawItem(item);
        else if (item->hwndItem == m_btnReload.GetSafeHwnd())
            m_btnReload.DrawItem(item);
        return TRUE;
    }
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSCROLLBAR:
        return reinterpret_cast<INT_PTR>(GetStockObject(WHITE_BRUSH));
    case WM_LOADER_STATUS:
        OnLoaderStatus(wParam, reinterpret_cast<char*>(lParam));
        return TRUE;
    case WM_LOADER_PROGRESS:
        SendMessageA(Item(IDC_PROGRESS), PBM_SETPOS, LOWORD(wParam), 0);
        return TRUE;
    case WM_LOADER_DONE:
        OnLoaderDone();
        return TRUE;
    case WM_LOADER_LAUNCHED:
        if (IsChecked(IDC_AUTO_CLOSE))
            SetTimer(m_hWnd, kAutoCloseTimer, kAutoCloseDelay, nullptr);
        return TRUE;
    default:
        return FALSE;
    }
}

BOOL CSkiffAppDlg::OnInitDialog() {
    SetUpControls();
    ReadConfiguration();
    SetUpLogAndCaption();
    EnableProxyControls();
    SetUpStatusList();
    if (IsChecked(IDC_AUTO_START))
        SetTimer(m_hWnd, kAutoStartTimer, kAutoStartDelay, nullptr);
    CentreOnScreen(m_hWnd);
    return TRUE;
}

void CSkiffAppDlg::SetUpControls() {
    SendMessageA(m_hWnd, DM_SETDEFID, IDC_LAUNCH, 0);
    m_hFont = CreateFontA(19, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                          OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                          DEFAULT_PITCH | FF_DONTCARE, "MS Shell Dlg");
    if (m_hFont != nullptr)
        EnumChildWindows(m_hWnd, SetChildFont, reinterpret_cast<LPARAM>(m_hFont));
    m_btnLaunch.Attach(Item(IDC_LAUNCH), kButtonText, kButtonBackground, kButtonDisabledText,
                       kButtonBevel);
    m_btnReload.Attach(Item(IDC_RELOAD), kButtonText, kButtonBackground, kButtonDisabledText,
                       kButtonBevel);
    m_listStatus.SubclassWindow(Item(IDC_STATUS_LIST));
    SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
}

void CSkiffAppDlg::ReadConfiguration() {
    try {
        ReadConfigFile(&m_config);
        CheckDlgButton(m_hWnd, IDC_PROXY, m_config.proxyEnabled ? BST_CHECKED : BST_UNCHECKED);
        if (!m_config.proxyAddress.empty())
            SetDlgItemTextA(m_hWnd, IDC_PROXY_ADDRESS, m_config.proxyAddress.c_str());
        if (!m_config.proxyUserName.empty())
            SetDlgItemTextA(m_hWnd, IDC_PROXY_USER, m_config.proxyUserName.c_str());
        if (m_config.passwordStored)
            SetDlgItemTextA(m_hWnd, IDC_PROXY_PASSWORD, kPasswordPlaceholder);
        CheckDlgButton(m_hWnd, IDC_AUTO_START, m_config.autoStart ? BST_CHECKED : BST_UNCHECKED);
        CheckDlgButton(m_hWnd, IDC_AUTO_CLOSE, m_config.autoClose ? BST_CHECKED : BST_UNCHECKED);
        for (const std::string& line : m_config.serverLines)
            SendMessageA(Item(IDC_SERVER), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
        SendMessageA(Item(IDC_SERVER), CB_SETCURSEL, 0, 0);
    } catch (...) {
        // The window opens with whatever was set so far.
    }
}

void CSkiffAppDlg::SetUpLogAndCaption() {
    g_pLog->SetLogFile("", "Skiff.log");
    g_pLog->SetThreshold(5);
    g_pLog->LogText(3, "=====================================================");
    unsigned major = 0, minor = 0;
    if (CFileSys::GetModuleVersion(&major, &minor, nullptr, nullptr)) {
        std::string caption = FormatText("Halcyon Web Loader (%u.%u)", major, minor);
        SetWindowTextA(m_hWnd, caption.c_str());
        g_pLog->Log(3, "version %u.%u", major, minor);
    }
}

void CSkiffAppDlg::SetUpStatusList() {
    HWND list = m_listStatus.GetSafeHwnd();
    m_hImages = ImageList_LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_STATUS_IMAGES),
                                     16, 0, RGB(255, 0, 255), IMAGE_BITMAP, LR_CREATEDIBSECTION);
    LVCOLUMNA column{};
    column.mask = LVCF_FMT | LVCF_TEXT;
    column.fmt = LVCFMT_LEFT;
    column.pszText = const_cast<char*>("Stat");
    SendMessageA(list, LVM_INSERTCOLUMNA, 0, reinterpret_cast<LPARAM>(&column));
    SendMessageA(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(m_hImages));
    RECT client;
    GetClientRect(list, &client);
    SendMessageA(list, LVM_SETCOLUMNWIDTH, 0, MAKELPARAM(client.right - client.left, 0));
}

void CSkiffAppDlg::OnCommand(UINT id, UINT code) {
    switch (id) {
    case IDOK: // Enter
    case IDC_LAUNCH:
        if (code == BN_CLICKED)
            StartSession(0);
        break;
    case IDC_RELOAD:
        if (code == BN_CLICKED)
            StartSession(1);
        break;
    case IDC_PROXY:
        if (code == BN_CLICKED)
            EnableProxyControls();
        break;
    case IDCANCEL: // Esc: no save
        End(IDCANCEL);
        break;
    default:
        break;
    }
}

void CSkiffAppDlg::OnTimer(UINT_PTR id) {
    if (id == kAutoStartTimer) {
        KillTimer(m_hWnd, kAutoStartTimer);
        if (IsChecked(IDC_AUTO_START))
            StartSession(0);
    } else if (id == kAutoCloseTimer) {
        KillTimer(m_hWnd, kAutoCloseTimer);
        if (IsChecked(IDC_AUTO_CLOSE))
            PostQuitMessage(0);
    }
}

void CSkiffAppDlg::OnClose() {
    SaveConfiguration();
    End(IDCANCEL);
}

bool CSkiffAppDlg::OnPaint() {
    if (!IsIconic(m_hWnd))
        return false;
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(m_hWnd, &paint);
    SendMessageA(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    int iconWidth = GetSystemMetrics(SM_CXICON), iconHeight = GetSystemMetrics(SM_CYICON);
    RECT client;
    GetClientRect(m_hWnd, &client);
    DrawIcon(dc, (client.right - client.left - iconWidth + 1) / 2,
             (client.bottom - client.top - iconHeight + 1) / 2, m_hIcon);
    EndPaint(m_hWnd, &paint);
    return true;
}

void CSkiffAppDlg::OnLoaderStatus(WPARAM wParam, char* text) {
    try {
        HWND list = m_listStatus.GetSafeHwnd();
        const char* shown = text != nullptr ? text : "";
        int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
        if (HIWORD(wParam) == 0) {
            LVITEMA item{};
            item.mask = LVIF_TEXT | LVIF_IMAGE;
            item.iItem = count;
            item.pszText = const_cast<char*>(shown);
            item.iImage = LOWORD(wParam);
            int index = static_cast<int>(
                SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
            SendMessageA(list, LVM_ENSUREVISIBLE, index, FALSE);
        } else if (count > 0) {
            // Blank padding, so that no end of a longer old line stays visible.
            char old[kStatusTextLimit] = {};
            LVITEMA get{};
            get.iSubItem = 0;
            get.pszText = old;
            get.cchTextMax = kStatusTextLimit;
            SendMessageA(list, LVM_GETITEMTEXTA, count - 1, reinterpret_cast<LPARAM>(&get));
            std::string line = shown;
            size_t oldLength = strnlen(old, sizeof old);
            if (line.size() < oldLength)
                line.append(oldLength - line.size(), ' ');
            LVITEMA set{};
            set.iSubItem = 0;
            set.pszText = const_cast<char*>(line.c_str());
            SendMessageA(list, LVM_SETITEMTEXTA, count - 1, reinterpret_cast<LPARAM>(&set));
            SendMessageA(list, LVM_ENSUREVISIBLE, count - 1, FALSE);
        }
    } catch (...) {
    }
    FreeStatusText(text);
}

void CSkiffAppDlg::OnLoaderDone() {
    HWND progress = Item(IDC_PROGRESS);
    SendMessageA(progress, PBM_SETPOS, 0, 0);
    ShowWindow(progress, SW_HIDE);
    EnableWindow(Item(IDC_LAUNCH), TRUE);
    EnableWindow(Item(IDC_RELOAD), TRUE);
    m_sessionRunning = false;
}

void CSkiffAppDlg::EnableProxyControls() {
    BOOL enable = IsChecked(IDC_PROXY);
    for (int id : kProxyControls)
        EnableWindow(Item(id), enable);
}

// The password box shows the placeholder instead of a stored password; anything else typed
// there replaces the stored password.
void CSkiffAppDlg::ReadProxyControls() {
    m_config.proxyEnabled = IsChecked(IDC_PROXY);
    m_config.proxyAddress = GetItemText(IDC_PROXY_ADDRESS);
    m_config.proxyUserName = GetItemText(IDC_PROXY_USER);
    std::string box = GetItemText(IDC_PROXY_PASSWORD);
    std::string shown = m_config.TakePasswordBox(box);
    if (shown != box)
        SetDlgItemTextA(m_hWnd, IDC_PROXY_PASSWORD, shown.c_str());
}

CLauncherConfig::SaveResult CSkiffAppDlg::SaveConfiguration() {
    CLauncherConfig::SaveResult result;
    try {
        std::string serverText = GetItemText(IDC_SERVER);
        ReadProxyControls();
        m_config.autoStart = IsChecked(IDC_AUTO_START);
        m_config.autoClose = IsChecked(IDC_AUTO_CLOSE);
        result = m_config.Save(serverText);
        if (result.boxUpdated) {
            HWND box = Item(IDC_SERVER);
            SendMessageA(box, CB_RESETCONTENT, 0, 0);
            SetWindowTextA(box, result.displayLine.c_str());
            for (const std::string& line : result.boxItems)
                SendMessageA(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
        }
        if (result.writeFile)
            WriteConfigFile(result.fileText);
    } catch (...) {
        // Not saved; the session still starts.
    }
    return result;
}

void CSkiffAppDlg::StartSession(BYTE reload) {
    // One session at a time: the process-wide proxy texts must not change under a worker.
    if (m_sessionRunning)
        return;
    try {
        m_sessionRunning = true;
        ShowWindow(Item(IDC_PROGRESS), SW_SHOW);
        SendMessageA(m_listStatus.GetSafeHwnd(), LVM_DELETEALLITEMS, 0, 0);
        EnableWindow(Item(IDC_LAUNCH), FALSE);
        EnableWindow(Item(IDC_RELOAD), FALSE);

        g_strProxy.clear();
        g_strProxyUser.clear();
        g_strProxyPassword.clear();
        ReadProxyControls();
        bool proxy = IsChecked(IDC_PROXY);
        if (proxy) {
            g_strProxy = m_config.proxyAddress;
            g_strProxyUser = m_config.proxyUserName;
            g_strProxyPassword = m_config.proxyPassword;
        }

        CLauncherConfig::SaveResult saved = SaveConfiguration();
        SessionRecord record;
        record.hWnd = m_hWnd;
        record.protocol = saved.analysis.protocol;
        record.host = saved.analysis.host;
        record.port = saved.analysis.port;
        record.link = saved.analysis.link;
        if (proxy) {
            record.proxyAddress = m_config.proxyAddress;
            record.proxyUserName = m_config.proxyUserName;
            record.proxyPassword = m_config.proxyPassword;
        }
        record.reload = reload;
        m_pWorker = new CSkiffThread(record);
    } catch (...) {
        // The buttons stay disabled.
    }
}

std::string CSkiffAppDlg::GetItemText(int id) const {
    HWND item = Item(id);
    int length = GetWindowTextLengthA(item);
    if (length <= 0)
        return std::string();
    std::vector<char> text(static_cast<size_t>(length) + 1);
    int copied = GetWindowTextA(item, text.data(), length + 1);
    return std::string(text.data(), copied > 0 ? static_cast<size_t>(copied) : 0);
}

bool CSkiffAppDlg::IsChecked(int id) const {
    return IsDlgButtonChecked(m_hWnd, id) == BST_CHECKED;
}
