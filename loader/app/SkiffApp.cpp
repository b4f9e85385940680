#include "SkiffApp.h"

#include <commctrl.h>

#include "SkiffAppDlg.h"
#include "SystemTimeZone.h"

BOOL CSkiffAppApp::InitInstance() {
    UseSystemTimeZone();
    INITCOMMONCONTROLSEX controls{sizeof controls,
                                  ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    CSkiffAppDlg dialog;
    dialog.DoModal();
    return FALSE;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    CSkiffAppApp app;
    app.InitInstance();
    return 0;
}
