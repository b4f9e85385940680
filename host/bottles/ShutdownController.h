// The window shown while the application quits and every bottle is shut down: the bottles
// with what each is doing, and two buttons that only flip the collection's flags: Force Quit
// (kill the bottles instead of waiting) and Cancel (stop, and keep the application running).
#pragma once

#include "TSWindowController.h"

class BottleCollection;
class QPushButton;

class ShutdownController : public TSWindowController {
    Q_OBJECT
public:
    explicit ShutdownController(QObject* parent = nullptr);

    BottleCollection* bottleCollection() const;

    // The button actions.
    void cancelShutdown();
    void forceShutdown();

    QPushButton* forceButton() const { return force_; }
    QPushButton* cancelButton() const { return cancel_; }

protected:
    QWidget* loadWindow() override;
    void windowDidLoad() override;

private:
    QPushButton* force_ = nullptr;
    QPushButton* cancel_ = nullptr;
};
