#include "SkiffApp.h"

#include <commctrl.h>

#include "SkiffAppDlg.h"
#include "SkiffThread.h"
#include "SystemTimeZone.h"

BOOL CSkiffAppApp::InitInstance() {
    UseSystemTimeZone();
    INITCOMMONCONTROLSEX controls{sizeof controls,
                                  ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    CSkiffAppDlg dialog;
    dialog.DoModal();
    // A session still running uses the log, its lock and the proxy texts: the process ends
    // here, before the run-time destroys them under the worker.
    if (const CSkiffThread* worker = dialog.GetWorker(); worker && !worker->WaitForEnd(0))
        ExitProcess(0);
    return FALSE;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    CSkiffAppApp app;
    app.InitInstance();
    return 0;
}
