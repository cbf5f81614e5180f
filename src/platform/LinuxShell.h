#pragma once
#include "platform/Shell.h"

#include <map>

class LinuxShell : public Shell {
public:
    void Open(const QString& target, const QString& workDir) override;
    void SelectInFileManager(const QString& file) override;
    int Start(const QString& program, const QStringList& args, const QString& workDir,
              long long* pid) override;
    void Reap() override;
    std::optional<int> ExitStatus(long long pid) override;

private:
    std::map<long long, std::optional<int>> children_;
};
