// Additions to windows: a window's delegate, and window-modal sheets that queue per window, so
// sheets requested while another is showing appear one after another in request order.
#pragma once

#include <QObject>

#include <functional>

class QDialog;
class QMessageBox;
class QWidget;

// Return codes of sheets ended without a button of their own.
constexpr int TSModalResponseStop = -1000;  // ended through ts_endSheet
constexpr int TSModalResponseAbort = -1001; // the sheet was destroyed before it ended

using TSSheetHandler = std::function<void(int returnCode)>;

// The object that handles a window's events on its behalf (none by default).
QObject* ts_windowDelegate(const QWidget* window);
void ts_setWindowDelegate(QWidget* window, QObject* delegate);

// Shows the sheet window-modally on the window, or queues it behind the sheet already
// showing. When the sheet ends, the handler (if any) gets its return code, the sheet is
// closed and the next queued sheet of the window is shown. The caller keeps ownership of the
// sheet; a sheet without a parent becomes the window's child.
void ts_beginSheet(QWidget* window, QDialog* sheet, TSSheetHandler handler);
// Ends the window's current sheet with the given return code.
void ts_endSheet(QWidget* window, QDialog* sheet, int returnCode = TSModalResponseStop);
// The sheet the window is showing, or none.
QDialog* ts_attachedSheet(const QWidget* window);

// Shows a heap-allocated alert as a queued sheet on the window; after the handler (if any)
// got the return code, the alert is deleted.
void ts_beginSheetModalForWindow(QMessageBox* alert, QWidget* window, TSSheetHandler handler);
