#include "support/FormFixture.h"

#include "platform/FileOps.h"

#include <QFile>

bool PlaceEncoderLibrary(const QString& folder) {
    const QString dst = folder + "/Mezzor.dll";
    return fileops::CopyFile(QStringLiteral(PLINDOR_BIN_DIR) + "/Mezzor.dll", dst) == fileops::CopyResult::Ok;
}

FormFixture::FormFixture(bool withEncoder) {
    if (withEncoder) PlaceEncoderLibrary(programDir.path());
}

FormFixture::FormFixture(bool withEncoder, const QString& programFolder) : programFolder_(programFolder) {
    if (withEncoder) PlaceEncoderLibrary(AppPath());
}

Services FormFixture::FakeServices() { return Services{&dialogs, &shell, &processes, &settings, &control}; }

bool FormFixture::Load(Services services) {
    form = std::make_unique<Form1>(AppPath(), services);
    return form->Form_Load();
}
