#pragma once
// A main window in a temporary program folder, with fake services (or the
// real process list and shell where a test asks for them).
#include "app/Form1.h"
#include "support/Fakes.h"

#include <QTemporaryDir>
#include <memory>

struct FormFixture {
    QTemporaryDir programDir;
    FakeDialogs dialogs;
    FakeShell shell;
    FakeProcessList processes;
    FakeSettings settings;
    FakeAppControl control;
    std::unique_ptr<Form1> form;

    // Makes the window; copies the encoder library into the program folder
    // when withEncoder is set. Services left null are the fakes.
    explicit FormFixture(bool withEncoder = false);
    // The program folder elsewhere (a small file system, say) instead of a
    // temporary folder of its own; "" is a folder of its own.
    FormFixture(bool withEncoder, const QString& programFolder);
    Services FakeServices();
    // Constructs Form1 with the given services and runs Form_Load.
    bool Load(Services services);
    bool Load() { return Load(FakeServices()); }
    QString AppPath() const { return programFolder_.isEmpty() ? programDir.path() : programFolder_; }

private:
    QString programFolder_;
};

// Copies the built encoder library (the system's ffmpeg) into folder as Mezzor.dll.
bool PlaceEncoderLibrary(const QString& folder);

// A control's own enabled state, whatever its frame says.
inline bool OwnEnabled(const QWidget* w) { return !w->testAttribute(Qt::WA_ForceDisabled); }
// A control's own visibility, whether the window is shown or not.
inline bool OwnVisible(const QWidget* w) { return !w->isHidden(); }
